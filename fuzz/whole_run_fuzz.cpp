// libFuzzer target: a whole run of either program, answers and study.txt from arbitrary bytes,
// with a picture (--plot) on half of the inputs.
#include <cstdio>
#include <cstdlib>

#include "support/fuzz_harness.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (const auto broken = oskev::testing::fuzz_whole_run(data, size)) {
    std::fprintf(stderr, "%s\n", broken->c_str());
    std::abort();
  }
  return 0;
}
