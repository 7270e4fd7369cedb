// The faster paths of the binomial methods against their one-variate references: the block
// path and the side-by-side single draws against btpe_variate, the inversion table against the
// sequential search. Equal means the same variate for every draw and, on one stream, the same
// state after the last uniform used.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "random/binomial.hpp"
#include "random/binomial_inversion.hpp"
#include "random/binomial_singles.hpp"
#include "random/btpe.hpp"
#include "random/btpe_block.hpp"
#include "random/lehmer.hpp"

namespace oskev::random {
namespace {

// (N, P) pairs drawn by BTPE: just past the inversion boundary, modes whose ratios near the
// mode are cut off at 0, variances on both sides of the one where the explicit evaluation takes
// over from the ratios at distance 20, the largest N, and P above one half (mirrored).
const std::vector<std::pair<std::int32_t, float>> kBtpePairs = {
    {21, 0.5f},     {24, 0.45f},   {60, 0.8f},    {45, 0.25f},  {60, 0.45f},   {100, 0.3f},
    {100, 0.75f},   {160, 0.5f},   {200, 0.35f},  {275, 0.2f},  {500, 0.4f},   {1000, 0.02f},
    {1000, 0.93f},  {5000, 0.45f}, {5000, 0.7f},  {88391, 0.01f}, {123457, 0.5f}, {2147483647, 0.5f},
};

std::string label(std::int32_t n, float p) { return "N = " + std::to_string(n) + ", P = " + std::to_string(p); }

BinomialSetup made(std::int32_t n, float p) {
  BinomialSetup s;
  EXPECT_TRUE(prepare_btpe_setup(n, p, s)) << label(n, p);
  return s;
}

// Counts of pp-successes at distance 20 and 21 from the mode: the last count whose ratio the
// set-up holds, and the first beyond.
struct ReachSeen {
  int at_reach = 0;
  int beyond = 0;
  void note(const BinomialSetup& s, std::int32_t ix) {
    const std::int64_t k = std::llabs(std::int64_t{ix} - s.m);
    at_reach += k == BinomialSetup::kRatioReach;
    beyond += k == BinomialSetup::kRatioReach + 1;
  }
};

TEST(BtpePaths, BlocksEqualTheOneVariateMethod) {
  ReachSeen seen;
  for (const auto& [n, p] : kBtpePairs) {
    const BinomialSetup s = made(n, p);
    for (const std::int32_t nr : {64, 129, 20000}) {
      const std::int32_t seed = 1 + (n % 1000) * 7919 + nr;
      Lehmer one{seed};
      std::vector<std::int32_t> expected(static_cast<std::size_t>(nr));
      for (auto& x : expected) {
        x = btpe_variate(s, one);
        seen.note(s, x);
      }
      Lehmer block{seed};
      std::vector<std::int32_t> together(static_cast<std::size_t>(nr), -1);
      btpe_block(nr, s, together.data(), block);
      ASSERT_EQ(together, expected) << label(n, p) << ", " << nr << " variates";
      ASSERT_EQ(block.state, one.state) << label(n, p) << ", " << nr << " variates";
    }
  }
  // The pairs reach the end of the ratios and beyond it.
  EXPECT_GT(seen.at_reach, 50);
  EXPECT_GT(seen.beyond, 50);
}

TEST(BtpePaths, MirroredCallsEqualOneVariateCalls) {
  // Through the face: a call of many mirrored variates against calls of one each.
  for (const auto& [n, p] : kBtpePairs) {
    if (!(p > 0.5f)) continue;
    BinomialSetup many_setup, one_setup;
    Lehmer many{424242}, one{424242};
    std::vector<std::int32_t> together(3000);
    draw_binomial(3000, n, p, together.data(), many, many_setup);
    for (std::size_t i = 0; i < together.size(); ++i) {
      std::int32_t x = -1;
      draw_binomial(1, n, p, &x, one, one_setup);
      ASSERT_EQ(together[i], x) << label(n, p) << ", variate " << i;
    }
    EXPECT_EQ(many.state, one.state) << label(n, p);
  }
}

TEST(BtpePaths, SideBySideEqualsTheOneVariateMethod) {
  // Draws of all pairs mixed, each from a seed of its own, half of them with a set-up handed in.
  std::map<std::pair<std::int32_t, float>, BinomialSetup> setups;
  for (const auto& pair : kBtpePairs) setups.emplace(pair, made(pair.first, pair.second));
  std::vector<SingleDraw> draws;
  std::int32_t x = 271828;
  for (int i = 0; i < 60000; ++i) {
    x = Lehmer::next_state(x);
    const auto& pair = kBtpePairs[static_cast<std::size_t>(x) % kBtpePairs.size()];
    x = Lehmer::next_state(x);
    SingleDraw d{pair.first, pair.second, x, -1};
    if (i % 2 == 0) d.shared = &setups.at(pair);
    draws.push_back(d);
  }
  BinomialSetupCache cache;
  SingleDrawScratch scratch;
  draw_singles(draws, cache, scratch);

  ReachSeen seen;
  for (const SingleDraw& d : draws) {
    const BinomialSetup& s = setups.at({d.n, d.p});
    Lehmer one{d.seed};
    const std::int32_t count = btpe_variate(s, one);
    seen.note(s, count);
    ASSERT_EQ(d.variate, unfold(s.mirrored, d.n, count)) << label(d.n, d.p) << ", seed " << d.seed;
  }
  EXPECT_GT(seen.at_reach, 50);
  EXPECT_GT(seen.beyond, 50);
}

TEST(BtpePaths, SetUpHoldsTheRatiosOfCountsWithinReach) {
  // Near N = 0 the reach is cut off below at count 0; every count within it has its ratio.
  for (const auto& [n, p] : kBtpePairs) {
    const BinomialSetup s = made(n, p);
    for (std::int32_t k = -BinomialSetup::kRatioReach; k <= BinomialSetup::kRatioReach; ++k) {
      const std::int64_t ix = std::int64_t{s.m} + k;
      const bool count = ix >= 0 && ix <= n;
      const auto slot = static_cast<std::size_t>(k + BinomialSetup::kRatioReach);
      ASSERT_EQ((s.ratio_known >> slot & 1u) == 1u, count) << label(n, p) << ", " << k;
      if (count) {
        ASSERT_EQ(s.ratio[slot], density_ratio(static_cast<std::int32_t>(ix), s.m, s.g, s.pqr)) << label(n, p) << ", " << k;
      }
    }
  }
}

TEST(InversionPaths, TableEqualsTheSearch) {
  // Means up to 10, P above one half, one trial, and P below 2^-23 with every count 0.
  const std::pair<std::int32_t, float> pairs[] = {{1, 0.3f},   {2, 0.5f},    {20, 0.3f},  {50, 0.05f},
                                                  {100, 0.1f}, {30, 0.8f},   {40, 0.75f}, {1000, 0.0099f},
                                                  {5, 0.99f},  {2147483647, 0x1p-24f}};
  for (const auto& [n, p] : pairs) {
    const BinomialFold fold = fold_binomial(n, p);
    ASSERT_TRUE(binomial_uses_inversion(p, fold)) << label(n, p);
    const InversionTerms terms = inversion_terms(n, fold);
    for (const std::int32_t nr : {64, 5000}) {
      Lehmer one{977 + nr}, table{977 + nr};
      std::vector<std::int32_t> expected(static_cast<std::size_t>(nr)), together(static_cast<std::size_t>(nr), -1);
      for (auto& v : expected) v = inversion_variate(terms, one);
      inversion_table(nr, terms, together.data(), table);
      ASSERT_EQ(together, expected) << label(n, p) << ", " << nr << " variates";
      ASSERT_EQ(table.state, one.state) << label(n, p);
    }
  }
}

}  // namespace
}  // namespace oskev::random
