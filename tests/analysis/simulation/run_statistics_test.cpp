#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

#include "analysis/simulation/run_statistics.hpp"
#include "analysis/simulation/simulated_tables.hpp"

namespace oskev::analysis {
namespace {

// Q of one run straight from the formulas, table by table: the sums, then the weighted squared
// distances, each product or quotient in double and every stored value in single precision.
float q_of_run(const std::vector<SimulatedStudy>& studies, std::size_t k) {
  float sumas = 0.0f, sumcs = 0.0f;
  for (const SimulatedStudy& study : studies) {
    const SimulatedTable t = study.table(k);
    const double ntots = std::trunc(double{t.s1} + t.s2);
    sumas = static_cast<float>(sumas + double{t.a} * t.s2 / ntots);
    sumcs = static_cast<float>(sumcs + double{t.c} * t.s1 / ntots);
  }
  const float rrmhs = static_cast<float>(double{sumas} / sumcs);
  const float log_rrmhs = static_cast<float>(std::log(double{rrmhs}));
  float q = 0.0f;
  for (const SimulatedStudy& study : studies) {
    const SimulatedTable t = study.table(k);
    const float rrsim = static_cast<float>((double{t.a} * t.s2) / (double{t.s1} * t.c));
    const float vlogrs = static_cast<float>(1.0 / t.c + 1.0 / t.a - 1.0 / t.s1 - 1.0 / t.s2);
    const float weights = static_cast<float>(1.0 / vlogrs);
    const double d = std::log(double{rrsim}) - log_rrmhs;
    q = static_cast<float>(q + double{static_cast<float>(d)} * d * weights);
  }
  return q;
}

// Counts near a mean, now and then zero in one or both arms.
std::int32_t count_near(std::uint32_t& x, std::int32_t size, std::int32_t mean, std::int32_t spread) {
  x = x * 1664525u + 1013904223u;
  if ((x >> 24) < 6) return 0;
  const auto offset = static_cast<std::int32_t>((x >> 8) % static_cast<std::uint32_t>(2 * spread + 1)) - spread;
  return std::clamp(mean + offset, 0, size);
}

void expect_same_q(const std::vector<SimulatedStudy>& studies, std::size_t runs) {
  const std::vector<float> qsim = run_statistics(studies, runs);
  ASSERT_EQ(qsim.size(), runs);
  for (std::size_t k = 0; k < runs; ++k) {
    ASSERT_EQ(std::bit_cast<std::uint32_t>(qsim[k]), std::bit_cast<std::uint32_t>(q_of_run(studies, k))) << "run " << k;
  }
}

// The statistics reuse what a study's counts have in common from run to run (terms per count,
// and per pair of counts within a thread's share of the runs); every QSIM must still be the
// one its own tables give, for small and large arms, narrow and wide count columns,
// corrected tables, and runs left undefined by zero corrections.
TEST(RunStatistics, EveryRunEqualsItsOwnTables) {
  struct Arms {
    std::int32_t s1, s2, mean1, mean2, spread;
    double one, both;
  };
  const Arms kinds[] = {
      {120, 95, 30, 20, 12, 0.5, 0.5},         // few pairs of counts: by pair
      {400, 380, 150, 90, 60, 0.5, 0.1},       // many pairs
      {3, 2, 1, 1, 1, 0.25, 0.25},             // zero cells all the time
      {2500, 2100, 800, 700, 40, 0.5, 0.5},    // arms too large to tabulate
      {90000, 70000, 9000, 7000, 30, 0.5, 0.5},  // wide count columns
  };
  for (std::size_t runs : {20000u, 37u}) {
    std::vector<SimulatedStudy> studies(std::size(kinds));
    std::uint32_t x = 2024;
    for (std::size_t i = 0; i < std::size(kinds); ++i) {
      const Arms& k = kinds[i];
      studies[i].prepare({k.mean1, k.s1, k.mean2, k.s2}, runs, k.one, k.both, 2 * k.one, 2 * k.both);
      for (std::size_t r = 0; r < runs; ++r) {
        studies[i].arm1.set(r, count_near(x, k.s1, k.mean1, k.spread));
        studies[i].arm2.set(r, count_near(x, k.s2, k.mean2, k.spread));
      }
    }
    expect_same_q(studies, runs);

    // Without corrections a zero cell leaves the run undefined.
    for (SimulatedStudy& study : studies) study.add_one = study.add_both = 0.0;
    expect_same_q(studies, runs);
  }
}

}  // namespace
}  // namespace oskev::analysis
