// A small level study of the left-sided Monte Carlo test, end to end through `oskev analyse`:
// meta-analyses under a common risk ratio of 1 drawn by a generator of the test's own (sums of
// Bernoulli draws, independent of the engine's stream), analysed as one CSV batch, and the
// share of P left at or below the nominal level counted from the JSON results. Everything is
// seeded, so the shares are the same on every platform and every run. scripts/validation is
// the full study.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/program/program.hpp"
#include "support/run_harness.hpp"

namespace oskev::analysis {
namespace {

// Uniform on [0, 1) from the top 53 bits: the same mapping on every platform (the standard
// distributions of <random> are not).
class Draws {
 public:
  explicit Draws(std::uint64_t seed) : engine_(seed) {}
  double uniform() { return static_cast<double>(engine_() >> 11) * 0x1.0p-53; }
  std::int32_t between(std::int32_t low, std::int32_t high) {  // low ... high, each alike
    return low + static_cast<std::int32_t>(uniform() * static_cast<double>(high - low + 1));
  }
  std::int32_t binomial(std::int32_t trials, double p) {
    std::int32_t events = 0;
    for (std::int32_t i = 0; i < trials; ++i) events += uniform() < p ? 1 : 0;
    return events;
  }

 private:
  std::mt19937_64 engine_;
};

struct Cell {
  int meta_analyses;
  int studies;
  std::int32_t smallest_arm, largest_arm;
  double lowest_risk, highest_risk;
};

// One CSV table, `meta` naming each meta-analysis, every study's arms sized and its baseline
// risk drawn apart, both arms with that risk.
std::string draw_batch(const Cell& cell, std::uint64_t seed) {
  Draws draws(seed);
  std::ostringstream csv;
  csv << "meta,e1,s1,e2,s2\n";
  for (int m = 1; m <= cell.meta_analyses; ++m) {
    for (int s = 0; s < cell.studies; ++s) {
      const std::int32_t s1 = draws.between(cell.smallest_arm, cell.largest_arm);
      const std::int32_t s2 = draws.between(cell.smallest_arm, cell.largest_arm);
      const double risk = cell.lowest_risk + (cell.highest_risk - cell.lowest_risk) * draws.uniform();
      csv << m << ',' << draws.binomial(s1, risk) << ',' << s1 << ',' << draws.binomial(s2, risk) << ',' << s2 << '\n';
    }
  }
  return csv.str();
}

nlohmann::json analyse_batch(const std::string& csv, const std::vector<std::string>& settings) {
  std::istringstream in(csv);
  std::ostringstream out, err;
  random::FixedClock clock({10, 30, 15});
  testing::ScratchFolder folder;
  const RunEnvironment environment{in, out, err, folder.path(), clock};
  std::vector<std::string> arguments{"analyse", "-f", "json", "--jobs", "2", "--seed", "20261209"};
  arguments.insert(arguments.end(), settings.begin(), settings.end());
  arguments.push_back("-");
  const int status = program_main(Variant::kOskev, arguments, environment);
  EXPECT_EQ(status, 0) << err.str();
  return nlohmann::json::parse(out.str())["meta_analyses"];
}

double share_at_or_below(const nlohmann::json& entries, double level) {
  int below = 0;
  for (const nlohmann::json& entry : entries) below += entry["results"]["p_left"].get<double>() <= level ? 1 : 0;
  return static_cast<double>(below) / static_cast<double>(entries.size());
}

// Large arms (1000-5000 subjects), moderate risks (10-30%), five studies: the chi-squared
// approximation holds, and so must the level of the Monte Carlo test. 400 meta-analyses, 999
// runs each; the tolerance is 3 binomial standard errors of the nominal level over 400
// meta-analyses (0.033 at 0.05, 0.045 at 0.10).
TEST(LevelStudy, LargeArmsHoldTheNominalLevel) {
  const Cell cell{400, 5, 1000, 5000, 0.10, 0.30};
  const std::string batch = draw_batch(cell, 24);
  for (const char* type : {"fixed", "random"}) {
    SCOPED_TRACE(type);
    const nlohmann::json entries = analyse_batch(batch, {"--type", type, "--runs", "999"});
    ASSERT_EQ(entries.size(), 400u);
    for (const double level : {0.05, 0.10}) {
      const double tolerance = 3.0 * std::sqrt(level * (1.0 - level) / 400.0);
      EXPECT_NEAR(share_at_or_below(entries, level), level, tolerance) << "at " << level;
    }
  }
}

// Small arms with rare events: zero cells, corrections and the sequential rule on the way, and
// every meta-analysis still has its row, in order, with a P left in [0, 1] or an undefined Q.
TEST(LevelStudy, SmallArmsWithRareEventsRunEndToEnd) {
  const Cell cell{60, 3, 10, 50, 0.01, 0.05};
  const nlohmann::json entries =
      analyse_batch(draw_batch(cell, 2024), {"--type", "fixed", "--runs", "500", "--stop-after", "10"});
  ASSERT_EQ(entries.size(), 60u);
  int stopped = 0;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const nlohmann::json& entry = entries[i];
    SCOPED_TRACE(i);
    EXPECT_EQ(entry["name"], std::to_string(i + 1));
    ASSERT_EQ(entry["status"], "ok");
    const nlohmann::json& p = entry["results"]["p_left"];
    if (p.is_string()) {
      EXPECT_EQ(p, "NaN");
      continue;
    }
    EXPECT_GE(p.get<double>(), 0.0);
    EXPECT_LE(p.get<double>(), 1.0);
    stopped += entry["results"]["rule"] == "Besag-Clifford" ? 1 : 0;
  }
  EXPECT_GT(stopped, 0);
}

}  // namespace
}  // namespace oskev::analysis
