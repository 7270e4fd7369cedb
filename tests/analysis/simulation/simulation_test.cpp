#include <gtest/gtest.h>

#include <bit>
#include <sstream>
#include <vector>

#include "analysis/simulation/random_prevalence.hpp"
#include "analysis/simulation/run_statistics.hpp"
#include "analysis/simulation/simulated_tables.hpp"
#include "analysis/simulation/simulation.hpp"
#include "random/uniform_stream.hpp"
#include "support/library_bundle.hpp"
#include "support/studies.hpp"

namespace oskev::analysis {
namespace {

// The generator subroutines of a run whose simulation starts at a given time of day (the seed
// the clock gives then), recording their calls, with the run's error service.
struct Library : testing::LibraryBundle {
  explicit Library(random::TimeOfDay time) : LibraryBundle(time), generators(random::seed_from_clock(clock)) {
    generators.record_calls();
  }
  Generators generators;
  const std::vector<GeneratorCall>& log = generators.calls();
};

TEST(Getuni, MidnightClockSeed) {
  Library library({0, 0, 0});
  const float expected[] = {0.26071078f, 0.76626217f, 0.56933683f};
  const std::int32_t seeds[] = {1048935394, 1061431746, 1058127887};
  for (int i = 0; i < 3; ++i) {
    const float r = library.generators.GETUNI();
    EXPECT_EQ(std::bit_cast<std::uint32_t>(r), std::bit_cast<std::uint32_t>(expected[i])) << i;
    EXPECT_EQ(seed_from_uniform(r), seeds[i]);
  }
  EXPECT_EQ(seed_from_uniform(0.5f), 1056964608);
}

// Short reads and reads of several blocks of states, one after another.
TEST(Getuni, ReadingAheadGivesTheSameValues) {
  Library ahead({12, 34, 56}), called({12, 34, 56});
  for (std::size_t count : {10u, 1u, 16u, 47u, 3u}) {
    std::vector<float> values(count);
    std::vector<std::int32_t> saved(count);
    ahead.generators.peek_GETUNI(count, values.data(), saved.data());
    for (std::size_t i = 0; i < count; ++i) ASSERT_EQ(called.generators.GETUNI(), values[i]) << count << " " << i;
    ahead.generators.take_GETUNI(values[count - 1], saved[count - 1]);
  }
  EXPECT_EQ(ahead.generators.GETUNI(), called.generators.GETUNI());
}

NullModel parameters(std::int32_t nruns, float ccone, float ccboth, Prevalence prevalence,
                     ZeroTest zero_test = ZeroTest::kEqualsZero) {
  return {{prevalence, ccone, ccboth}, nruns, zero_test, {}};
}

StudyTable corrected(const std::string& text, const NullModel& p) {
  return make_study_table(testing::studies_of(text), p.model.cc_one, p.model.cc_both);
}

const std::string& kThree = testing::kRoadStudies;
constexpr Prevalence kFixed = Prevalence::kFixed;
constexpr Prevalence kRandom = Prevalence::kRandom;

TEST(GeneratorCalls, FixedPrevalenceDrawsEachArmInOneCall) {
  Library library({10, 0, 0});
  const NullModel p = parameters(5, 0.5f, 0.5f, kFixed);
  const StudyTable table = corrected(kThree, p);
  simulate(p, table, 0.6f, library.generators, library.errors);
  ASSERT_EQ(library.log.size(), 12u);
  const std::int32_t sizes[] = {120, 118, 54, 60, 40, 38};
  for (std::size_t j = 0; j < 6; ++j) {
    EXPECT_EQ(library.log[2 * j].kind, GeneratorCall::Kind::kUniform);
    const GeneratorCall& bin = library.log[2 * j + 1];
    EXPECT_EQ(bin.kind, GeneratorCall::Kind::kBinomial);
    EXPECT_EQ(bin.n, sizes[j]);
    EXPECT_EQ(bin.nr, 5);
    EXPECT_EQ(bin.seed, seed_from_uniform(library.log[2 * j].uniform));
  }
}

TEST(GeneratorCalls, FixedPrevalenceProbabilities) {
  Library library({10, 0, 0});
  const NullModel p = parameters(5, 0.5f, 0.5f, kFixed);
  simulate(p, corrected("10 100 10 100\n10 100 10 100\n", p), 1.0f, library.generators, library.errors);
  EXPECT_EQ(library.log[1].p, 0.1f);  // PARM1 = RRMH * PARM2
  EXPECT_EQ(library.log[3].p, 0.1f);  // PARM2 = 20 / (100 + 100)
}

const std::string& kCommon = testing::kCommonStudies;

TEST(GeneratorCalls, RandomPrevalenceDrawsOneVariateAtATime) {
  Library library({10, 0, 0});
  const NullModel p = parameters(5, 0.5f, 0.5f, kRandom);
  simulate(p, corrected(kCommon, p), 0.9f, library.generators, library.errors);
  // No total is redrawn here: 3 studies x 5 runs x (total, arm 1, arm 2).
  ASSERT_EQ(library.log.size(), 90u);
  const std::int32_t sizes[3][3] = {{238, 120, 118}, {210, 100, 110}, {290, 150, 140}};
  for (std::size_t j = 0; j < 45; ++j) {
    const GeneratorCall& bin = library.log[2 * j + 1];
    EXPECT_EQ(library.log[2 * j].kind, GeneratorCall::Kind::kUniform);
    EXPECT_EQ(bin.kind, GeneratorCall::Kind::kBinomial);
    EXPECT_EQ(bin.nr, 1);
    EXPECT_EQ(bin.seed, seed_from_uniform(library.log[2 * j].uniform));
    EXPECT_EQ(bin.n, sizes[j / 15][j % 3]);
  }
}

TEST(GeneratorCalls, ATotalOfNoEventsIsAlwaysRedrawn) {
  // A pooled proportion of about 0.05 over 30 participants gives no events one time in five.
  Library library({10, 0, 0});
  const NullModel p = parameters(200, 0.5f, 0.5f, kRandom);
  simulate(p, corrected("1 15 1 15\n2 15 1 15\n", p), 1.0f, library.generators, library.errors);
  testing::LibraryBundle replay;
  random::UniformStream& stream = replay.stream;
  int redrawn = 0;
  for (std::size_t j = 1; j + 2 < library.log.size(); j += 2) {
    const GeneratorCall& call = library.log[j];
    if (call.n != 30) continue;  // not a total
    std::int32_t nevt = -1;
    stream.SEEDSET(call.seed);
    random::RNBIN(1, 30, call.p, &nevt, stream, replay.setup, replay.errors);
    const bool next_is_total = library.log[j + 2].n == 30;
    EXPECT_EQ(nevt == 0, next_is_total) << "call " << j;
    redrawn += nevt == 0;
  }
  EXPECT_GT(redrawn, 10);
}

TEST(GeneratorCalls, RedrawsAreBoundedPerRunAndInAll) {
  // Half the totals of the first study are redrawn (none of its two participants' events).
  const NullModel p = parameters(1000, 0.5f, 0.5f, kRandom);
  const StudyTable table = corrected("0 1 0 1\n5 20 6 20\n", p);
  auto stop = [&](RedrawLimits limits) {
    Library library({10, 0, 0});
    NullModel limited = p;
    limited.limits = limits;
    try {
      simulate(limited, table, 1.0f, library.generators, library.errors);
    } catch (const errors::RunStopped& stopped) {
      EXPECT_EQ(stopped.exit_status(), errors::kExitRefused);
      return stopped.report();
    }
    return std::string("complete");
  };
  EXPECT_EQ(stop({}), "complete");
  EXPECT_NE(stop({1'000'000, 100}).find(": 100 totals of events redrawn in all under random prevalence"),
            std::string::npos);
  EXPECT_NE(stop({1, 1'000'000}).find("no acceptable total of events in 1 draws"), std::string::npos);
}

TEST(SimulatedTables, FixedPrevalenceCorrectsWithFixedValues) {
  SimulatedStudy study;
  study.prepare({1, 20, 2, 30}, 3, double{0.5f}, double{0.1f}, 1.0, double{0.2f});
  study.arm1.set(0, 0);
  study.arm2.set(0, 3);
  study.arm1.set(1, 0);
  study.arm2.set(1, 0);
  study.arm1.set(2, 4);
  study.arm2.set(2, 5);
  const SimulatedTable one = study.table(0);
  EXPECT_EQ(one.a, 0.5f);
  EXPECT_EQ(one.c, 3.5f);
  EXPECT_EQ(one.s1, 21.0f);
  EXPECT_EQ(one.s2, 31.0f);
  const SimulatedTable both = study.table(1);
  EXPECT_EQ(both.a, 0.1f);
  EXPECT_EQ(both.c, 0.1f);
  EXPECT_EQ(both.s1, static_cast<float>(20 + double{0.2f}));
  const SimulatedTable none = study.table(2);
  EXPECT_EQ(none.a, 4.0f);
  EXPECT_EQ(none.s1, 20.0f);  // the sizes the draws used
  EXPECT_EQ(none.s2, 30.0f);
}

TEST(SimulatedTables, RandomPrevalenceCorrectsWithTheEnteredValues) {
  SimulatedStudy study;
  const float cc = 0.25f;
  study.prepare({1, 20, 2, 30}, 1, cc, cc, 2.0 * cc, 2.0 * cc);
  study.arm1.set(0, 7);
  study.arm2.set(0, 0);
  const SimulatedTable t = study.table(0);
  EXPECT_EQ(t.a, 7.25f);
  EXPECT_EQ(t.c, 0.25f);
  EXPECT_EQ(t.s1, 20.5f);
  EXPECT_EQ(t.s2, 30.5f);
}

TEST(SimulatedTables, CountsAboveSixteenBitsAreKept) {
  CountColumn narrow, wide;
  narrow.reset(65535, 2);
  wide.reset(65536, 2);
  narrow.set(1, 65535);
  wide.set(1, 65536);
  EXPECT_EQ(narrow.get(1), 65535);
  EXPECT_EQ(wide.get(1), 65536);
}

// Replays logged calls of fixed prevalence through RNBIN on a single stream.
std::vector<SimulatedStudy> replay_fixed(const std::vector<GeneratorCall>& log, const StudyTable& table,
                                         std::size_t runs) {
  testing::LibraryBundle bundle;
  random::UniformStream& stream = bundle.stream;
  std::vector<SimulatedStudy> studies(table.size());
  std::size_t j = 0;
  std::vector<std::int32_t> variates(runs);
  for (const GeneratorCall& call : log) {
    if (call.kind != GeneratorCall::Kind::kBinomial) continue;
    SimulatedStudy& study = studies[j / 2];
    if (j % 2 == 0) study.prepare(table.NCOUNT[j / 2], runs, double{0.5f}, double{0.1f}, 1.0, double{0.2f});
    stream.SEEDSET(call.seed);
    random::RNBIN(call.nr, call.n, call.p, variates.data(), stream, bundle.setup, bundle.errors);
    for (std::size_t k = 0; k < runs; ++k) (j % 2 == 0 ? study.arm1 : study.arm2).set(k, variates[k]);
    ++j;
  }
  return studies;
}

TEST(Simulation, FixedPrevalenceEqualsDrawsMadeOneByOne) {
  // Enough tables for the draws to be spread over threads.
  const NullModel p = parameters(30000, 0.5f, 0.5f, kFixed);
  const StudyTable table = corrected(kThree, p);
  Library library({8, 15, 0});
  const SimulatedRuns runs = simulate(p, table, 0.55f, library.generators, library.errors);
  const std::vector<float> replayed = run_statistics(replay_fixed(library.log, table, 30000), 30000);
  for (std::size_t k = 0; k < 30000; ++k) {
    ASSERT_EQ(std::bit_cast<std::uint32_t>(runs.QSIM[k]), std::bit_cast<std::uint32_t>(replayed[k])) << k;
  }
}

TEST(Simulation, RandomPrevalenceEqualsDrawsMadeOneByOne) {
  // Draws are spread over threads, batched and read ahead; replaying the logged calls one by
  // one through RNBIN on a single stream must give the very same runs.
  const NullModel p = parameters(30000, 0.5f, 0.5f, kRandom, ZeroTest::kAtMostZero);
  const StudyTable table = corrected(kThree, p);
  Library library({8, 15, 0});
  const SimulatedRuns runs = simulate(p, table, 0.55f, library.generators, library.errors);
  ASSERT_EQ(runs.QSIM.size(), 30000u);

  testing::LibraryBundle bundle;
  random::UniformStream& stream = bundle.stream;
  std::vector<SimulatedStudy> studies(3);
  for (std::size_t i = 0; i < 3; ++i) studies[i].prepare(table.NCOUNT[i], 30000, 0.5, 0.5, 1.0, 1.0);
  std::size_t study = 0, run = 0, arm = 0;
  const std::int32_t pooled[] = {238, 114, 78};
  for (const GeneratorCall& call : library.log) {
    if (call.kind != GeneratorCall::Kind::kBinomial || call.n == pooled[study]) continue;
    std::int32_t x = 0;
    stream.SEEDSET(call.seed);
    random::RNBIN(1, call.n, call.p, &x, stream, bundle.setup, bundle.errors);
    (arm == 0 ? studies[study].arm1 : studies[study].arm2).set(run, x);
    if (++arm == 2) {
      arm = 0;
      if (++run == 30000) run = 0, ++study;
    }
  }
  ASSERT_EQ(study, 3u);
  const std::vector<float> replayed = run_statistics(studies, 30000);
  for (std::size_t k = 0; k < 30000; ++k) {
    ASSERT_EQ(std::bit_cast<std::uint32_t>(runs.QSIM[k]), std::bit_cast<std::uint32_t>(replayed[k])) << k;
  }
}

// ---- Random prevalence, stage by stage ------------------------------------------------------

using random_prevalence::arm_probabilities;
using random_prevalence::ArmProbabilities;
using random_prevalence::PlannedRun;
using random_prevalence::PlanReader;

TEST(ArmProbabilities, FromTheDrawnTotalAndTheObservedSizes) {
  const ArmProbabilities even = arm_probabilities(20, 1.0f, 100.0f, 100.0f, ZeroTest::kEqualsZero);
  EXPECT_EQ(even.parm2, 0.1f);
  EXPECT_EQ(even.parm1, 0.1f);
  EXPECT_TRUE(even.accepted);
  // PARM2 = NEVT / (RRMH·s1 + s2) in double, rounded once; PARM1 = RRMH·PARM2, rounded again.
  const ArmProbabilities odd = arm_probabilities(30, 0.55f, 120.5f, 118.0f, ZeroTest::kEqualsZero);
  EXPECT_EQ(odd.parm2, static_cast<float>(30 / (double{0.55f} * 120.5 + 118.0)));
  EXPECT_EQ(odd.parm1, static_cast<float>(double{0.55f} * odd.parm2));
  EXPECT_TRUE(odd.accepted);
}

TEST(ArmProbabilities, TotalsOutsideTheProbabilitiesAreRedrawn) {
  for (const ZeroTest variant : {ZeroTest::kEqualsZero, ZeroTest::kAtMostZero}) {
    EXPECT_FALSE(arm_probabilities(0, 1.0f, 10.0f, 10.0f, variant).accepted);  // no events: both 0
    const ArmProbabilities one = arm_probabilities(20, 1.0f, 10.0f, 10.0f, variant);
    EXPECT_EQ(one.parm2, 1.0f);
    EXPECT_TRUE(one.accepted);  // exactly 1 is kept
    EXPECT_FALSE(arm_probabilities(21, 1.0f, 10.0f, 10.0f, variant).accepted);
    // Only arm 1 above 1: PARM2 = 20/30, PARM1 = 40/30.
    const ArmProbabilities arm1 = arm_probabilities(20, 2.0f, 10.0f, 10.0f, variant);
    EXPECT_LT(arm1.parm2, 1.0f);
    EXPECT_GT(arm1.parm1, 1.0f);
    EXPECT_FALSE(arm1.accepted);
    // Only arm 1 at 0: RRMH·PARM2 below the smallest single-precision value.
    const ArmProbabilities tiny = arm_probabilities(1, 0x1p-149f, 10.0f, 10.0f, variant);
    EXPECT_GT(tiny.parm2, 0.0f);
    EXPECT_EQ(tiny.parm1, 0.0f);
    EXPECT_FALSE(tiny.accepted);
  }
  // Negative probabilities (from negative corrections): OSKEV keeps them, OSKEV v1.0 redraws.
  const ArmProbabilities oskev = arm_probabilities(5, 1.0f, -20.0f, 10.0f, ZeroTest::kEqualsZero);
  EXPECT_EQ(oskev.parm2, -0.5f);
  EXPECT_TRUE(oskev.accepted);
  EXPECT_FALSE(arm_probabilities(5, 1.0f, -20.0f, 10.0f, ZeroTest::kAtMostZero).accepted);
}

// GETBIN as the program calls it: noted, then drawn by RNBIN from a stream seeded with the seed.
void getbin(Generators& generators, testing::LibraryBundle& library, std::int32_t n, float p, std::int32_t* ir,
            std::int32_t nr, std::int32_t seed) {
  generators.note_GETBIN(n, p, nr, seed);
  library.stream.SEEDSET(seed);
  random::RNBIN(nr, n, p, ir, library.stream, library.setup, library.errors);
}

// The plan as the program makes it, call after call: for every run GETUNI and GETBIN for a
// total until one gives both arm probabilities in (0, 1], then GETUNI and GETBIN for each arm.
std::vector<PlannedRun> one_piece_plan(ZeroTest variant, const StudyTable& table, float rrmh, std::size_t runs,
                                       Generators& generators) {
  testing::LibraryBundle library;
  std::vector<PlannedRun> plan;
  for (std::size_t i = 0; i < table.size(); ++i) {
    const auto& raw = table.NCOUNT[i];
    const auto& c = table.COUNT[i];
    const std::int32_t npool = raw[kSubjects1] + raw[kSubjects2];
    const float ppool = static_cast<float>((double{c[kEvents1]} + c[kEvents2]) / (double{c[kSubjects1]} + c[kSubjects2]));
    for (std::size_t k = 0; k < runs; ++k) {
      PlannedRun run;
      for (;;) {
        getbin(generators, library, npool, ppool, &run.nevt, 1, generators.next_seed());
        run.parm2 = static_cast<float>(run.nevt / (double{rrmh} * c[kSubjects1] + c[kSubjects2]));
        run.parm1 = static_cast<float>(double{rrmh} * run.parm2);
        const bool low = variant == ZeroTest::kAtMostZero ? (run.parm2 <= 0.0f || run.parm1 <= 0.0f)
                                                        : (run.parm2 == 0.0f || run.parm1 == 0.0f);
        if (!(run.parm2 > 1.0f || run.parm1 > 1.0f || low)) break;
      }
      std::int32_t arm = 0;
      run.seed1 = generators.next_seed();
      getbin(generators, library, raw[kSubjects1], run.parm1, &arm, 1, run.seed1);
      run.seed2 = generators.next_seed();
      getbin(generators, library, raw[kSubjects2], run.parm2, &arm, 1, run.seed2);
      plan.push_back(run);
    }
  }
  return plan;
}

TEST(RandomPrevalencePlan, IsThePlanOfTheOnePieceSimulation) {
  // The first study redraws a total one time in five; the last has a one-arm correction.
  const NullModel p = parameters(1000, 0.5f, 0.5f, kRandom);
  const StudyTable table = corrected("1 15 1 15\n15 120 25 118\n0 54 3 60\n", p);
  for (const ZeroTest variant : {ZeroTest::kEqualsZero, ZeroTest::kAtMostZero}) {
    Library staged({14, 5, 9}), one_piece({14, 5, 9});
    const std::vector<PlannedRun> expected = one_piece_plan(variant, table, 0.8f, 1000, one_piece.generators);

    // Read in pieces of uneven length, the first of each study only walked through.
    PlanReader reader(variant, table, 0.8f, staged.generators, staged.errors, RedrawLimits{});
    std::vector<PlannedRun> plan;
    for (std::size_t i = 0; i < 3; ++i) {
      std::vector<PlannedRun> walked;
      reader.read(i, 0, 100, nullptr);
      reader.read(i, 100, 137, &walked);
      reader.read(i, 137, 1000, &walked);
      ASSERT_EQ(walked.size(), 900u);
      for (std::size_t k = 0; k < 100; ++k) plan.push_back(expected[i * 1000 + k]);
      plan.insert(plan.end(), walked.begin(), walked.end());
    }
    ASSERT_EQ(plan.size(), expected.size());
    for (std::size_t k = 0; k < plan.size(); ++k) {
      ASSERT_EQ(plan[k].nevt, expected[k].nevt) << k;
      ASSERT_EQ(std::bit_cast<std::uint32_t>(plan[k].parm1), std::bit_cast<std::uint32_t>(expected[k].parm1)) << k;
      ASSERT_EQ(std::bit_cast<std::uint32_t>(plan[k].parm2), std::bit_cast<std::uint32_t>(expected[k].parm2)) << k;
      ASSERT_EQ(plan[k].seed1, expected[k].seed1) << k;
      ASSERT_EQ(plan[k].seed2, expected[k].seed2) << k;
    }
    // Every call the program makes is noted, in its order, redrawn totals included.
    ASSERT_EQ(staged.log.size(), one_piece.log.size());
    for (std::size_t j = 0; j < staged.log.size(); ++j) {
      const GeneratorCall &a = staged.log[j], &b = one_piece.log[j];
      ASSERT_EQ(a.kind, b.kind) << j;
      ASSERT_EQ(std::bit_cast<std::uint32_t>(a.uniform), std::bit_cast<std::uint32_t>(b.uniform)) << j;
      ASSERT_EQ(a.n, b.n) << j;
      ASSERT_EQ(std::bit_cast<std::uint32_t>(a.p), std::bit_cast<std::uint32_t>(b.p)) << j;
      ASSERT_EQ(a.nr, b.nr) << j;
      ASSERT_EQ(a.seed, b.seed) << j;
    }
    EXPECT_GT(staged.log.size(), 2u * 3u * 3u * 1000u + 100u);  // redrawn totals among them
  }
}

}  // namespace
}  // namespace oskev::analysis
