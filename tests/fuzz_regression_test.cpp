// Every seed of the fuzz corpora and every input that once broke a promise, replayed through
// the fuzz harnesses.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/fuzz_harness.hpp"
#include "support/run_harness.hpp"

namespace oskev::testing {
namespace {

namespace fs = std::filesystem;

template <typename Harness>
void replay(const std::string& target, Harness harness) {
  const fs::path roots[] = {fs::path(OSKEV_TEST_DATA_DIR) / "fuzz" / target,
                            fs::path(OSKEV_TEST_DATA_DIR) / ".." / ".." / "fuzz" / "corpus" / target};
  int inputs = 0;
  for (const fs::path& root : roots) {
    if (!fs::exists(root)) continue;
    for (const auto& entry : fs::directory_iterator(root)) {
      if (!entry.is_regular_file()) continue;
      const std::string bytes = read_file(entry.path());
      const auto broken = harness(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
      EXPECT_FALSE(broken.has_value()) << entry.path() << ": " << broken.value_or("");
      ++inputs;
    }
  }
  EXPECT_GT(inputs, 0) << "no inputs for " << target;
}

TEST(FuzzInputs, ListReader) { replay("list_reader", fuzz_list_reader); }
TEST(FuzzInputs, WholeRun) { replay("whole_run", fuzz_whole_run); }
TEST(FuzzInputs, Analyse) { replay("analyse", fuzz_analyse); }

}  // namespace
}  // namespace oskev::testing
