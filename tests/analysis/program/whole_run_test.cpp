// Whole runs of both programs, driven in-process with a fixed clock. Each folder under
// tests/data/runs holds one case side by side: the answers, study.txt (absent: a missing
// file), optionally an output.txt left from an earlier run (output.before.txt), case.txt
// (program, time of day, exit status) and the expected console, standard error and
// output.txt, byte for byte.
//
// OSKEV_UPDATE_GOLDEN=1 rewrites the expected files from the program's own output; review
// every such change line by line before committing it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "support/run_harness.hpp"

namespace oskev::testing {
namespace {

namespace fs = std::filesystem;

const fs::path kRuns = fs::path(OSKEV_TEST_DATA_DIR) / "runs";

std::map<std::string, std::string> read_case(const fs::path& folder) {
  std::map<std::string, std::string> keys;
  std::istringstream text(read_file(folder / "case.txt"));
  std::string key, value;
  while (text >> key >> value) keys[key] = value;
  return keys;
}

std::vector<std::string> case_names() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(kRuns)) {
    if (entry.is_directory()) names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

class WholeRun : public ::testing::TestWithParam<std::string> {};

TEST_P(WholeRun, MatchesTheRecordedTranscript) {
  const fs::path folder = kRuns / GetParam();
  auto keys = read_case(folder);
  RunSetup setup;
  setup.variant = keys.at("program") == "oskev-v1.0" ? analysis::Variant::kOskevV10 : analysis::Variant::kOskev;
  setup.answers = read_file(folder / "answers.txt");
  if (fs::exists(folder / "study.txt")) setup.study = read_file(folder / "study.txt");
  if (fs::exists(folder / "output.before.txt")) setup.output_before = read_file(folder / "output.before.txt");
  int h = 0, m = 0, s = 0;
  ASSERT_EQ(std::sscanf(keys.at("time").c_str(), "%d:%d:%d", &h, &m, &s), 3);
  setup.time = {h, m, s};

  const RunOutcome outcome = run_in_scratch(setup);

  if (std::getenv("OSKEV_UPDATE_GOLDEN") != nullptr) {
    write_file(folder / "console.txt", outcome.console);
    if (!outcome.errors.empty()) write_file(folder / "stderr.txt", outcome.errors);
    else fs::remove(folder / "stderr.txt");
    if (outcome.output && outcome.output != setup.output_before) write_file(folder / "output.txt", *outcome.output);
    else fs::remove(folder / "output.txt");
    keys["status"] = std::to_string(outcome.status);
    keys["study_after"] = outcome.study_exists ? "yes" : "no";
    std::ostringstream text;
    for (const auto& [key, value] : keys) text << key << ' ' << value << '\n';
    write_file(folder / "case.txt", text.str());
    GTEST_SKIP() << "expected files rewritten";
  }

  EXPECT_EQ(outcome.status, std::stoi(keys.at("status")));
  EXPECT_EQ(outcome.console, read_file(folder / "console.txt"));
  const std::string expected_errors = fs::exists(folder / "stderr.txt") ? read_file(folder / "stderr.txt") : "";
  EXPECT_EQ(outcome.errors, expected_errors);
  if (fs::exists(folder / "output.txt")) {
    ASSERT_TRUE(outcome.output.has_value());
    EXPECT_EQ(*outcome.output, read_file(folder / "output.txt"));
  } else {
    // No new results: any earlier output.txt is left exactly as it was.
    EXPECT_EQ(outcome.output, setup.output_before);
  }
  EXPECT_EQ(outcome.study_exists, keys.at("study_after") == "yes");
}

INSTANTIATE_TEST_SUITE_P(Transcripts, WholeRun, ::testing::ValuesIn(case_names()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           std::string name = info.param;
                           for (char& c : name) if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

}  // namespace
}  // namespace oskev::testing
