// libFuzzer target: tables of studies read and analysed as `oskev analyse` does, with its reports.
#include <cstdio>
#include <cstdlib>

#include "support/fuzz_harness.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (const auto broken = oskev::testing::fuzz_analyse(data, size)) {
    std::fprintf(stderr, "%s\n", broken->c_str());
    std::abort();
  }
  return 0;
}
