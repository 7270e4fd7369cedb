// The engine's door: the same numbers as the dialogue, however the runs are sliced, the
// sequential rule, the result's own statistics and the failures.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <filesystem>
#include <map>
#include <sstream>

#include "analysis/engine.hpp"
#include "analysis/program/dialogue.hpp"
#include "analysis/records/list_reader.hpp"
#include "analysis/records/list_writer.hpp"
#include "analysis/program/report.hpp"
#include "support/run_harness.hpp"
#include "support/studies.hpp"

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
  std::vector<Study> studies;
  Model model;
  analysis::Run run;
  std::int32_t iopt = 0;
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
  c.run.seed = clock_seed > 1 ? clock_seed : 123457;
  if (c.variant == Variant::kOskevV10) c.run.tuning.zero_test = ZeroTest::kAtMostZero;

  std::istringstream answers(read_file(folder / "answers.txt"));
  records::ListReader reader(answers, 5, "stdin");
  std::int32_t nstudy = 0;
  reader.read({&nstudy});
  reader.read({&c.run.runs});
  reader.read({&c.model.cc_one});
  reader.read({&c.model.cc_both});
  reader.read({&c.iopt});
  c.model.prevalence = c.iopt == 1 ? Prevalence::kFixed : Prevalence::kRandom;
  c.run.tuning.stated_studies = nstudy;
  c.studies = testing::read_studies(read_file(folder / "study.txt"), nstudy);
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

std::string console_results(const RecordedCase& c, const Result& r) {
  std::ostringstream text;
  records::ListWriter console(text);
  print_results(c.variant, console, r.observed, r.pemp, static_cast<std::int32_t>(r.undefined), r.q_undefined());
  return text.str();
}

// Keeps every simulated Q, and sees the first run of every slice.
struct Collector final : Observer {
  void on_runs(std::int64_t first, std::span<const float> q) override {
    firsts.push_back(first);
    qsim.insert(qsim.end(), q.begin(), q.end());
  }
  std::vector<float> qsim;
  std::vector<std::int64_t> firsts;
};

class SameAsTheDialogue : public ::testing::TestWithParam<const char*> {};

TEST_P(SameAsTheDialogue, PrintsAndWritesTheRecordedValues) {
  const RecordedCase c = recorded(GetParam());
  for (std::size_t tables : {std::size_t{0}, std::size_t{997}}) {
    analysis::Run run = c.run;
    run.tuning.tables_per_slice = tables;  // one slice, then many
    const Outcome outcome = analyse(c.studies, c.model, run);
    SCOPED_TRACE(tables);
    if (c.status == 0) {
      ASSERT_TRUE(outcome.ok()) << outcome.failure().message;
      const Result& r = outcome.result();
      EXPECT_EQ(r.runs, run.runs);
      EXPECT_EQ(results_file_text(c.variant, c.iopt, r.observed, r.pemp), c.output);
      EXPECT_NE(c.console.find(console_results(c, r)), std::string::npos) << console_results(c, r);
    } else if (c.status == 1) {
      // A library stop: its message is the very text the dialogue writes on the console.
      ASSERT_FALSE(outcome.ok());
      EXPECT_EQ(outcome.failure().kind, FailureKind::kLibraryStop);
      EXPECT_NE(c.console.find(outcome.failure().message), std::string::npos) << outcome.failure().message;
      EXPECT_NE(outcome.failure().message.find("\n *** TERMINAL ERROR"), std::string::npos);
    } else {
      ASSERT_FALSE(outcome.ok());
      EXPECT_EQ(outcome.failure().kind, FailureKind::kRefused);
      EXPECT_NE(c.errors.find(outcome.failure().message), std::string::npos) << outcome.failure().message;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(RecordedRuns, SameAsTheDialogue, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           std::string name = info.param;
                           for (char& ch : name) if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return name;
                         });

// The dialogue's engine, run in one piece: every simulated Q of a run.
std::vector<float> dialogue_qsim(const std::vector<Study>& studies, const Model& model, Run run) {
  run.tuning.tables_per_slice = std::size_t{1} << 40;
  Collector collector;
  EXPECT_TRUE(analyse(studies, model, run, &collector).ok());
  return collector.qsim;
}

const std::vector<Study> kTrials = testing::studies_of(testing::kRoadStudies + "30 200 45 210\n4 25 9 26\n");

Run seeded(std::int32_t seed, std::int32_t runs) {
  analysis::Run run;
  run.seed = seed;
  run.runs = runs;
  return run;
}

// Any slicing gives the very runs of one piece, under both null models, with redraws of totals
// (the small, high-risk study is redrawn often under random prevalence) and slices of one run.
TEST(SlicedRuns, EqualTheRunsOfOnePiece) {
  std::vector<Study> studies = kTrials;
  studies.push_back({7, 10, 6, 10, ""});
  for (const Prevalence prevalence : {Prevalence::kFixed, Prevalence::kRandom}) {
    const Model model{prevalence, 0.5f, 0.5f};
    analysis::Run run = seeded(424242, 3001);
    const std::vector<float> whole = dialogue_qsim(studies, model, run);
    ASSERT_EQ(whole.size(), 3001u);
    for (std::size_t tables : {6u, 600u, 7000u}) {
      run.tuning.tables_per_slice = tables;
      Collector sliced;
      ASSERT_TRUE(analyse(studies, model, run, &sliced).ok());
      ASSERT_EQ(sliced.qsim.size(), whole.size());
      EXPECT_GT(sliced.firsts.size(), 1u);
      for (std::size_t s = 1; s < sliced.firsts.size(); ++s) {
        EXPECT_LE(sliced.firsts[s] - sliced.firsts[s - 1],
                  static_cast<std::int64_t>(std::max<std::size_t>(tables / studies.size(), 1)));
      }
      for (std::size_t k = 0; k < whole.size(); ++k) {
        ASSERT_EQ(bits(sliced.qsim[k]), bits(whole[k])) << type_name(prevalence) << ", " << tables << " tables, run " << k;
      }
    }
  }
}

TEST(SlicedRuns, SpreadOrNotGivesTheSameRuns) {
  const Model model{Prevalence::kRandom, 0.5f, 0.5f};
  analysis::Run run = seeded(77, 40000);
  const Result spread = analyse(kTrials, model, run).result();
  run.tuning.spread = false;
  const Result alone = analyse(kTrials, model, run).result();
  EXPECT_EQ(spread.not_above, alone.not_above);
  EXPECT_EQ(bits(spread.pemp), bits(alone.pemp));
}

TEST(SequentialStopping, StopsAtTheHthRunNotAboveQ) {
  for (const Prevalence prevalence : {Prevalence::kFixed, Prevalence::kRandom}) {
    const Model model{prevalence, 0.5f, 0.5f};
    analysis::Run run = seeded(9001, 20000);
    const std::vector<float> whole = dialogue_qsim(kTrials, model, run);
    const float q = analyse(kTrials, model, run).result().observed.Q;

    run.stop_after = 10;
    Collector seen;
    const Outcome outcome = analyse(kTrials, model, run, &seen);
    ASSERT_TRUE(outcome.ok());
    const Result& r = outcome.result();
    ASSERT_TRUE(r.stopped_early);
    EXPECT_EQ(r.not_above, 10);
    // The runs made are exactly the first runs of the fixed-number simulation, and the last of
    // them is the tenth not above Q.
    std::int64_t b = 0, l = 0;
    while (b < 10) b += whole[static_cast<std::size_t>(l++)] <= q ? 1 : 0;
    EXPECT_EQ(r.runs, l);
    ASSERT_EQ(seen.qsim.size(), static_cast<std::size_t>(l));
    for (std::size_t k = 0; k < seen.qsim.size(); ++k) ASSERT_EQ(bits(seen.qsim[k]), bits(whole[k])) << k;
    EXPECT_EQ(bits(r.pemp), bits(static_cast<float>(10.0 / static_cast<double>(l))));

    // The same seed always gives the same result.
    EXPECT_EQ(analyse(kTrials, model, run).result().runs, r.runs);
  }
}

TEST(SequentialStopping, UndecidedRunsToTheMaximum) {
  analysis::Run run = seeded(5, 500);
  const Result fixed = analyse(kTrials, Model{}, run).result();
  run.stop_after = fixed.not_above + 1;
  const Result r = analyse(kTrials, Model{}, run).result();
  EXPECT_FALSE(r.stopped_early);
  EXPECT_EQ(r.runs, 500);
  EXPECT_EQ(r.not_above, fixed.not_above);
  EXPECT_EQ(bits(r.pemp), bits(fixed.pemp));
}

// Each failure with its kind, the dialogue's message, and the account in plain words.
TEST(Failures, CarryTheDialoguesMessageAndWhy) {
  const struct {
    const char* studies;
    Model model;
    FailureKind kind;
    const char* message_start;
    const char* why;
  } cases[] = {
      {"3 10 6 10", {}, FailureKind::kLibraryStop, " *** TERMINAL ERROR 2 from DCHIDF.",
       "at least two studies are needed: Q has one degree of freedom fewer than there are studies"},
      {"3 10 6 10 -1 10 2 10", {}, FailureKind::kRefused,
       "study 2 cannot be analysed: arm 1 has a negative count (-1 events, 10 subjects)", ""},
      {"0 1 1 1 3 10 6 10", {Prevalence::kRandom, 0.5f, 0.5f}, FailureKind::kRefused,
       "study 1 cannot be simulated under random prevalence", ""},
      // No events in either arm and no correction: the arms have no probability to draw with.
      {"3 10 6 10 0 10 0 12", {Prevalence::kFixed, 0.5f, 0.0f}, FailureKind::kLibraryStop,
       " *** TERMINAL ERROR 3 from RNBIN.  The probability P = 0.0",
       "study 2 has no events in either arm and no continuity correction for that (the correction for zero events "
       "in both arms is 0), so arm 1 has no event probability to simulate with"},
      {"3 10 6 10 0 10 0 12", {Prevalence::kRandom, 0.5f, 0.0f}, FailureKind::kLibraryStop,
       " *** TERMINAL ERROR 3 from RNBIN.  The probability P = 0.0",
       "study 2 has no events in either arm and no continuity correction for that (the correction for zero events "
       "in both arms is 0), so its total of events has no event probability to simulate with"},
      {"3 10 6 10 0 0 2 10", {}, FailureKind::kLibraryStop, " *** TERMINAL ERROR 2 from RNBIN.  N = 0.",
       "study 2: arm 1 has no subjects, so it cannot be simulated"},
  };
  for (const auto& c : cases) {
    const Outcome outcome = analyse(testing::studies_of(c.studies), c.model, seeded(1, 100));
    ASSERT_FALSE(outcome.ok()) << c.studies;
    EXPECT_EQ(outcome.failure().kind, c.kind) << c.studies;
    EXPECT_NE(outcome.failure().message.find(c.message_start), std::string::npos) << outcome.failure().message;
    EXPECT_EQ(outcome.failure().why, c.why) << c.studies;
  }
  EXPECT_EQ(analyse(kTrials, Model{}, seeded(0, 100)).failure().kind, FailureKind::kRefused);
  EXPECT_EQ(analyse(kTrials, Model{Prevalence::kFixed, -0.5f, 0.5f}, seeded(1, 100)).failure().kind,
            FailureKind::kRefused);
}

// An observer may stop an analysis at any point of its simulation, the first walk through the
// totals of a random-prevalence simulation in many slices included.
TEST(Failures, AnObserverCancels) {
  struct Stopper final : Observer {
    bool on_progress(double share) override {
      shares.push_back(share);
      return shares.size() < 2;
    }
    std::vector<double> shares;
  };
  for (const Prevalence prevalence : {Prevalence::kFixed, Prevalence::kRandom}) {
    analysis::Run run = seeded(3, 5000);
    run.tuning.tables_per_slice = 500;
    Stopper stopper;
    const Outcome outcome = analyse(kTrials, {prevalence, 0.5f, 0.5f}, run, &stopper);
    ASSERT_FALSE(outcome.ok());
    EXPECT_EQ(outcome.failure().kind, FailureKind::kCancelled);
    ASSERT_EQ(stopper.shares.size(), 2u);
    EXPECT_LT(stopper.shares[0], stopper.shares[1]);
    EXPECT_LT(stopper.shares[1], prevalence == Prevalence::kRandom ? 1.0 / 3.0 : 1.0);
  }
}

// With no correction a zero cell makes the observed Q not a number: no simulated Q is "not
// above" it, so outside the dialogue P left and its companions are not numbers either, while
// the dialogue's count (0) is kept for its own print.
TEST(Result, AnObservedQThatIsNotANumberHasNoLeftSidedPValue) {
  const Result r = analyse(testing::studies_of("5 10 0 10 4 12 6 11"), {Prevalence::kFixed, 0.0f, 0.0f},
                           seeded(11, 200)).result();
  EXPECT_TRUE(r.q_undefined());
  EXPECT_EQ(r.not_above, 0);
  EXPECT_EQ(r.pemp, 0.0f);
  for (const double value : {double{r.p_left}, r.p_left_plus_one, r.mc_standard_error, r.p_left_lower, r.p_left_upper}) {
    EXPECT_TRUE(std::isnan(value));
  }
}

// Published values: metafor 3.8.1, rma.mh(measure = "RR") on the BCG trials (Colditz et al.
// 1994): RRMH 0.6352671851 with 95% limits 0.5881287297 to 0.6861837827 (qnorm(0.975) =
// 1.959964), Q = 152.5675536 on 12 degrees of freedom (QEp about 1.7e-26), I² = 92.1346317%.
TEST(Result, GreenlandRobinsLimitsTailsAndISquaredOfTheBcgTrials) {
  const std::vector<Study> bcg = testing::studies_of(read_file(kRuns / "bcg-oskev" / "study.txt"));
  const Result r = analyse(bcg, Model{}, seeded(1, 10)).result();
  const double se = (std::log(0.6861837827) - std::log(0.5881287297)) / (2 * 1.959963985);
  EXPECT_NEAR(r.observed.RRMH, 0.6352671851, 1e-7);
  EXPECT_NEAR(std::sqrt(r.log_rrmh_variance), se, se * 1e-8);
  // Single precision, like RRMH: within a unit or two of its last place.
  EXPECT_NEAR(r.rrmh_lower, 0.5881287297, 1.2e-7);
  EXPECT_NEAR(r.rrmh_upper, 0.6861837827, 1.2e-7);
  EXPECT_NEAR(r.observed.Q, 152.5675536, 152.6 * 1e-6);
  EXPECT_NEAR(r.i_squared, 92.1346317, 1e-4);
  // The dialogue's 1 - F(Q) is 0 here; the upper tail as a complement is not.
  EXPECT_EQ(r.observed.PASYM, 0.0);
  EXPECT_GT(r.p_upper, 1.6e-26);
  EXPECT_LT(r.p_upper, 1.8e-26);
  EXPECT_EQ(r.p_lower, 1.0);
}

TEST(Result, TheLevelSetsEveryInterval) {
  analysis::Run run = seeded(21, 1000);
  const Result at95 = analyse(kTrials, Model{}, run).result();
  run.level = 0.90;
  const Result at90 = analyse(kTrials, Model{}, run).result();
  EXPECT_EQ(at90.not_above, at95.not_above);
  EXPECT_GT(at90.rrmh_lower, at95.rrmh_lower);
  EXPECT_LT(at90.rrmh_upper, at95.rrmh_upper);
  EXPECT_GT(at90.p_left_lower, at95.p_left_lower);
  EXPECT_LT(at90.p_left_upper, at95.p_left_upper);
  run.level = 1.0;
  EXPECT_EQ(analyse(kTrials, Model{}, run).failure().kind, FailureKind::kRefused);
}

TEST(Result, ISquaredIsZeroWhenQIsBelowItsDegreesOfFreedom) {
  const Result r = analyse(testing::studies_of("10 100 10 100 10 100 10 100 11 100 10 100"), Model{}, seeded(1, 10))
                       .result();
  EXPECT_LT(r.observed.Q, 2.0f);
  EXPECT_EQ(r.i_squared, 0.0);
}

}  // namespace
}  // namespace oskev::analysis
