// One meta-analysis without the dialogue: the same numbers as the dialogue, however the runs
// are sliced, and the sequential rule.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <filesystem>
#include <map>
#include <sstream>

#include "analysis/meta_analysis.hpp"
#include "analysis/records/list_reader.hpp"
#include "analysis/records/list_writer.hpp"
#include "analysis/program/report.hpp"
#include "support/run_harness.hpp"

namespace oskev::analysis {
namespace {

namespace fs = std::filesystem;
using testing::read_file;

const fs::path kRuns = fs::path(OSKEV_TEST_DATA_DIR) / "runs";

std::uint32_t bits(float x) { return std::bit_cast<std::uint32_t>(x); }

// A recorded whole run of the dialogue, read with the dialogue's own reader.
struct RecordedCase {
  Variant variant = Variant::kOskev;
  int status = 0;
  std::vector<StudyCounts> studies;
  AnalysisSettings settings;
  std::string console, output, errors;
};

RecordedCase recorded(const std::string& name) {
  const fs::path folder = kRuns / name;
  RecordedCase c;
  std::map<std::string, std::string> keys;
  std::istringstream text(read_file(folder / "case.txt"));
  for (std::string key, value; text >> key >> value;) keys[key] = value;
  c.variant = keys.at("program") == "oskev-v1.0" ? Variant::kOskevV10 : Variant::kOskev;
  c.status = std::stoi(keys.at("status"));
  int h = 0, m = 0, s = 0;
  std::sscanf(keys.at("time").c_str(), "%d:%d:%d", &h, &m, &s);
  // The seed the clock gives at that time of day takes the place of the clock.
  const std::int32_t clock_seed = 10000 * h + 100 * m + s + 1;
  c.settings.seed = clock_seed > 1 ? clock_seed : 123457;
  c.settings.variant = c.variant;

  std::istringstream answers(read_file(folder / "answers.txt"));
  records::ListReader reader(answers, 5, "stdin");
  std::int32_t nstudy = 0;
  reader.read({&nstudy});
  reader.read({&c.settings.runs});
  reader.read({&c.settings.ccone});
  reader.read({&c.settings.ccboth});
  reader.read({&c.settings.iopt});
  std::istringstream study(read_file(folder / "study.txt"));
  records::ListReader values(study, 10, "study.txt");
  c.studies.resize(static_cast<std::size_t>(nstudy));
  std::vector<records::ListReader::Target> targets;
  for (auto& s : c.studies) {
    for (std::int32_t* v : {&s.e1, &s.s1, &s.e2, &s.s2}) targets.emplace_back(v);
  }
  values.read(targets);
  c.console = read_file(folder / "console.txt");
  if (fs::exists(folder / "output.txt")) c.output = read_file(folder / "output.txt");
  if (fs::exists(folder / "stderr.txt")) c.errors = read_file(folder / "stderr.txt");
  return c;
}

// Every recorded run that reached its simulation.
const char* const kCases[] = {
    "answers-layouts-oskev", "bcg-oskev",           "midnight-oskev-v1.0",          "non-finite-observed-oskev",
    "non-finite-observed-oskev-v1.0", "random-prevalence-oskev", "random-prevalence-oskev-v1.0",
    "replaces-output-oskev", "road-oskev",          "road-oskev-v1.0",              "undefined-q-oskev",
    "windows-files-oskev-v1.0", "zero-cells-oskev", "zero-cells-random-oskev-v1.0", "zero-probability-oskev",
    "never-accepted-study-oskev", "redraw-limit-oskev-v1.0", "no-runs-fixed-oskev", "one-study-oskev"};

std::string console_results(const RecordedCase& c, const AnalysisResult& r) {
  std::ostringstream text;
  records::ListWriter console(text);
  print_results(c.variant, console, r.observed, r.pemp, static_cast<std::int32_t>(r.undefined));
  return text.str();
}

class SameAsTheDialogue : public ::testing::TestWithParam<const char*> {};

TEST_P(SameAsTheDialogue, PrintsAndWritesTheRecordedValues) {
  const RecordedCase c = recorded(GetParam());
  for (std::size_t tables : {std::size_t{0}, std::size_t{997}}) {
    AnalysisSettings settings = c.settings;
    settings.tables_per_slice = tables;  // one slice, then many
    const AnalysisResult r = analyse(c.studies, settings);
    SCOPED_TRACE(tables);
    if (c.status == 0) {
      ASSERT_EQ(r.status, 0) << r.message;
      EXPECT_EQ(r.runs, settings.runs);
      EXPECT_EQ(results_file_text(c.variant, settings.iopt, r.observed, r.pemp), c.output);
      EXPECT_NE(c.console.find(console_results(c, r)), std::string::npos) << console_results(c, r);
    } else if (c.status == 1) {
      // A library stop: its message is the one the dialogue writes on the console.
      ASSERT_EQ(r.status, 1);
      EXPECT_NE(c.console.find(r.message), std::string::npos) << r.message;
      EXPECT_NE(r.message.find("*** TERMINAL ERROR"), std::string::npos);
    } else {
      ASSERT_EQ(r.status, 3);
      EXPECT_NE(c.errors.find(r.message), std::string::npos) << r.message;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(RecordedRuns, SameAsTheDialogue, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           std::string name = info.param;
                           for (char& ch : name) if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return name;
                         });

// The dialogue's engine, run in one piece: every simulated Q of a run of `settings`.
std::vector<float> dialogue_qsim(const std::vector<StudyCounts>& studies, AnalysisSettings settings) {
  std::vector<float> qsim;
  settings.tables_per_slice = std::size_t{1} << 40;
  settings.on_runs = [&](std::int64_t, std::span<const float> q) { qsim.insert(qsim.end(), q.begin(), q.end()); };
  EXPECT_EQ(analyse(studies, settings).status, 0);
  return qsim;
}

const std::vector<StudyCounts> kTrials = {{15, 120, 25, 118}, {0, 54, 3, 60}, {0, 40, 0, 38},
                                          {30, 200, 45, 210}, {4, 25, 9, 26}};

// Any slicing gives the very runs of one piece, under both null models, with redraws of totals
// (the small, high-risk study is redrawn often under random prevalence) and slices of one run.
TEST(SlicedRuns, EqualTheRunsOfOnePiece) {
  std::vector<StudyCounts> studies = kTrials;
  studies.push_back({7, 10, 6, 10});
  for (std::int32_t iopt : {1, 2}) {
    AnalysisSettings settings;
    settings.runs = 3001;
    settings.iopt = iopt;
    settings.seed = 424242;
    const std::vector<float> whole = dialogue_qsim(studies, settings);
    ASSERT_EQ(whole.size(), 3001u);
    for (std::size_t tables : {6u, 600u, 7000u}) {
      std::vector<float> sliced;
      std::size_t slices = 0;
      settings.tables_per_slice = tables;
      settings.on_runs = [&](std::int64_t first, std::span<const float> q) {
        EXPECT_EQ(static_cast<std::size_t>(first), sliced.size());
        EXPECT_LE(q.size(), std::max<std::size_t>(tables / studies.size(), 1));
        sliced.insert(sliced.end(), q.begin(), q.end());
        ++slices;
      };
      const AnalysisResult r = analyse(studies, settings);
      ASSERT_EQ(r.status, 0);
      ASSERT_EQ(sliced.size(), whole.size());
      EXPECT_GT(slices, 1u);
      for (std::size_t k = 0; k < whole.size(); ++k) {
        ASSERT_EQ(bits(sliced[k]), bits(whole[k])) << "type " << iopt << ", " << tables << " tables, run " << k;
      }
    }
  }
}

TEST(SlicedRuns, SpreadOrNotGivesTheSameRuns) {
  AnalysisSettings settings;
  settings.runs = 40000;
  settings.iopt = 2;
  settings.seed = 77;
  const AnalysisResult spread = analyse(kTrials, settings);
  settings.spread = false;
  const AnalysisResult alone = analyse(kTrials, settings);
  EXPECT_EQ(spread.not_above, alone.not_above);
  EXPECT_EQ(bits(spread.pemp), bits(alone.pemp));
}

TEST(SequentialStopping, StopsAtTheHthRunNotAboveQ) {
  for (std::int32_t iopt : {1, 2}) {
    AnalysisSettings settings;
    settings.runs = 20000;
    settings.iopt = iopt;
    settings.seed = 9001;
    const std::vector<float> whole = dialogue_qsim(kTrials, settings);
    const float q = analyse(kTrials, settings).observed.Q;

    settings.stop_after = 10;
    std::vector<float> seen;
    settings.on_runs = [&](std::int64_t, std::span<const float> s) { seen.insert(seen.end(), s.begin(), s.end()); };
    const AnalysisResult r = analyse(kTrials, settings);
    ASSERT_EQ(r.status, 0);
    ASSERT_TRUE(r.stopped_early);
    EXPECT_EQ(r.not_above, 10);
    // The runs made are exactly the first runs of the fixed-number simulation, and the last of
    // them is the tenth not above Q.
    std::int64_t b = 0, l = 0;
    while (b < 10) b += whole[static_cast<std::size_t>(l++)] <= q ? 1 : 0;
    EXPECT_EQ(r.runs, l);
    ASSERT_EQ(seen.size(), static_cast<std::size_t>(l));
    for (std::size_t k = 0; k < seen.size(); ++k) ASSERT_EQ(bits(seen[k]), bits(whole[k])) << k;
    EXPECT_EQ(bits(r.pemp), bits(static_cast<float>(10.0 / static_cast<double>(l))));

    // The same seed always gives the same result.
    const AnalysisResult again = analyse(kTrials, settings);
    EXPECT_EQ(again.runs, r.runs);
  }
}

TEST(SequentialStopping, UndecidedRunsToTheMaximum) {
  AnalysisSettings settings;
  settings.runs = 500;
  settings.seed = 5;
  const AnalysisResult fixed = analyse(kTrials, settings);
  settings.stop_after = fixed.not_above + 1;
  const AnalysisResult r = analyse(kTrials, settings);
  EXPECT_FALSE(r.stopped_early);
  EXPECT_EQ(r.runs, 500);
  EXPECT_EQ(r.not_above, fixed.not_above);
  EXPECT_EQ(bits(r.pemp), bits(fixed.pemp));
}

TEST(Failures, AreAStatusAndTheMessage) {
  AnalysisSettings settings;
  settings.runs = 100;
  AnalysisResult r = analyse({{3, 10, 6, 10}}, settings);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.message.rfind("*** TERMINAL ERROR 2 from DCHIDF.", 0), 0u) << r.message;

  r = analyse({{3, 10, 6, 10}, {-1, 10, 2, 10}}, settings);
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.message, "study 2 cannot be analysed: arm 1 has a negative count (-1 events, 10 subjects)");

  settings.iopt = 2;
  r = analyse({{0, 1, 1, 1}, {3, 10, 6, 10}}, settings);
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.message.find("study 1 cannot be simulated under random prevalence"), std::string::npos);

  settings.iopt = 3;
  EXPECT_EQ(analyse(kTrials, settings).status, 3);
  settings.iopt = 1;
  settings.seed = 0;
  EXPECT_EQ(analyse(kTrials, settings).status, 3);
}

// Published values: metafor 3.8.1, rma.mh(measure = "RR") on the BCG trials (Colditz et al.
// 1994): RRMH 0.6352671851 with 95% limits 0.5881287297 to 0.6861837827 (qnorm(0.975) =
// 1.959964), Q = 152.5675536 on 12 degrees of freedom, I² = 92.1346317%. The limits here use
// 1.96, as each study's limits do, so they differ in the sixth digit.
TEST(Summary, GreenlandRobinsLimitsAndISquaredOfTheBcgTrials) {
  const std::vector<StudyCounts> bcg = {
      {4, 123, 11, 139},      {6, 306, 29, 303},     {3, 231, 11, 220},   {62, 13598, 248, 12867},
      {33, 5069, 47, 5808},   {180, 1541, 372, 1451}, {8, 2545, 10, 629},  {505, 88391, 499, 88391},
      {29, 7499, 45, 7277},   {17, 1716, 65, 1665},  {186, 50634, 141, 27338}, {5, 2498, 3, 2341},
      {27, 16913, 29, 17854}};
  AnalysisSettings settings;
  settings.runs = 10;
  const AnalysisResult r = analyse(bcg, settings);
  ASSERT_EQ(r.status, 0);
  const double se = (std::log(0.6861837827) - std::log(0.5881287297)) / (2 * 1.959963985);
  EXPECT_NEAR(r.observed.RRMH, 0.6352671851, 1e-7);
  EXPECT_NEAR(std::sqrt(r.log_rrmh_variance), se, se * 1e-8);
  EXPECT_NEAR(r.rrmh_lower, std::exp(std::log(0.6352671851) - 1.96 * se), 1e-6);
  EXPECT_NEAR(r.rrmh_upper, std::exp(std::log(0.6352671851) + 1.96 * se), 1e-6);
  EXPECT_NEAR(r.observed.Q, 152.5675536, 152.6 * 1e-6);
  EXPECT_NEAR(r.i_squared, 92.1346317, 1e-4);
}

TEST(Summary, ISquaredIsZeroWhenQIsBelowItsDegreesOfFreedom) {
  AnalysisSettings settings;
  settings.runs = 10;
  const AnalysisResult r = analyse({{10, 100, 10, 100}, {10, 100, 10, 100}, {11, 100, 10, 100}}, settings);
  ASSERT_EQ(r.status, 0);
  EXPECT_LT(r.observed.Q, 2.0f);
  EXPECT_EQ(r.i_squared, 0.0);
}

}  // namespace
}  // namespace oskev::analysis
