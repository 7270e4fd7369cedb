#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <sstream>
#include <string>
#include <vector>

#include "random/binomial.hpp"
#include "random/binomial_singles.hpp"

namespace oskev::random {
namespace {

// A library for single draws, and the same draws made one by one with SEEDSET and RNBIN.
struct Singles {
  std::ostringstream sink;
  errors::ErrorService errors{sink};
  FixedClock clock;
  UniformStream one_by_one{errors, clock};
  SingleDrawScratch scratch;
  BinomialSetup setup;
  BinomialSetupCache setups;
  std::int32_t x = 987654321;

  std::int32_t next() { return x = UniformStream::next_state(x); }

  // Draws side by side and expects exactly the variates of the one-by-one draws.
  void expect_one_by_one(std::vector<SingleDraw>& draws) {
    std::vector<SingleDraw> expected = draws;
    for (SingleDraw& d : expected) {
      one_by_one.SEEDSET(d.seed);
      RNBIN(1, d.n, d.p, &d.variate, one_by_one, setup, errors);
    }
    draw_singles(draws, setups, scratch);
    for (std::size_t i = 0; i < draws.size(); ++i) {
      ASSERT_EQ(draws[i].variate, expected[i].variate)
          << "draw " << i << ": N = " << draws[i].n << ", P = " << draws[i].p << ", seed " << draws[i].seed;
    }
    EXPECT_EQ(sink.str(), "");
  }
};

// Draws made side by side must be exactly those made one by one, whatever mix of methods,
// mirrored probabilities and set-ups the batch holds.
TEST(SingleDraws, EqualOneByOneDraws) {
  Singles singles;
  std::vector<SingleDraw> draws;
  const std::int32_t sizes[] = {1, 2, 15, 50, 123, 500, 88391, 2147483647};
  for (int i = 0; i < 20000; ++i) {
    const std::int32_t n = sizes[singles.next() % 8];
    // A handful of probabilities per size, as under random prevalence, across both methods
    // and both sides of one half.
    const float p = static_cast<float>(singles.next() % 97 + 1) / 98.0f;
    draws.push_back({n, p, singles.next(), -1});
  }
  singles.expect_one_by_one(draws);
}

// Draws given a set-up of their own (shared between threads, so never written) and draws
// finding one in the cache, in batch after batch that together bring more pairs than the
// cache keeps, so that it forgets them and starts again.
TEST(SingleDraws, SharedSetUpsAndAForgettingCacheChangeNothing) {
  Singles singles;
  std::deque<BinomialSetup> shared;
  for (int batch = 0; batch < 6; ++batch) {
    std::vector<SingleDraw> draws;
    for (int i = 0; i < 3000; ++i) {
      const std::int32_t n = 40 + singles.next() % 400;
      const float p = static_cast<float>(singles.next() % 9973 + 1) / 9974.0f;
      SingleDraw d{n, p, singles.next(), -1};
      if (i % 3 == 0) {
        BinomialSetup& own = shared.emplace_back();
        if (prepare_btpe_setup(n, p, own)) d.shared = &own;
      }
      draws.push_back(d);
    }
    const std::vector<BinomialSetup> before(shared.begin(), shared.end());
    SCOPED_TRACE("batch " + std::to_string(batch));
    singles.expect_one_by_one(draws);
    for (std::size_t i = 0; i < before.size(); ++i) {
      ASSERT_EQ(before[i].ratio_known, shared[i].ratio_known) << "shared set-up " << i << " written";
      ASSERT_EQ(std::memcmp(before[i].ratio.data(), shared[i].ratio.data(), sizeof before[i].ratio), 0) << i;
    }
  }
}

// Every draw handed a set-up made for its own pair gives the variate of the draw made one by
// one, and every set-up holds the ratios of one made afresh for the same pair.
TEST(SingleDraws, SetUpsOfTheirOwnEqualFreshOnes) {
  Singles singles;
  std::deque<BinomialSetup> own_setups;
  std::vector<SingleDraw> draws;
  for (int i = 0; i < 6000; ++i) {
    const std::int32_t n = 40 + singles.next() % 400;
    const float p = static_cast<float>(singles.next() % 9973 + 1) / 9974.0f;
    SingleDraw d{n, p, singles.next(), -1};
    BinomialSetup& own = own_setups.emplace_back();
    if (prepare_btpe_setup(n, p, own)) d.shared = &own;
    draws.push_back(d);
  }
  singles.expect_one_by_one(draws);
  for (const BinomialSetup& s : own_setups) {
    if (s.nsave == 0) continue;
    BinomialSetup complete;
    ASSERT_TRUE(prepare_btpe_setup(s.nsave, s.psave, complete));
    for (std::size_t k = 0; k < s.ratio.size(); ++k) {
      if (s.ratio_known >> k & 1u) {
        ASSERT_EQ(s.ratio[k], complete.ratio[k]) << s.nsave << " " << s.psave << " " << k;
      }
    }
  }
}

// Every f(IX)/f(M) near the mode is the explicit evaluation's: above the mode the running
// product of (G/I - PQR) for I = M + 1 ... IX, below it 1 divided by the same terms for
// I = IX + 1 ... M in turn, each step rounded to single precision.
TEST(SingleDraws, RatiosNearTheModeAreTheExplicitEvaluations) {
  for (const auto& [n, p] : std::vector<std::pair<std::int32_t, float>>{
           {100, 0.3f}, {60, 0.45f}, {1000, 0.02f}, {275, 0.2f}, {31, 0.5f}, {5000, 0.7f}}) {
    BinomialSetup s;
    ASSERT_TRUE(prepare_btpe_setup(n, p, s)) << n;
    for (std::int32_t ix = std::max(0, s.m - BinomialSetup::kRatioReach);
         ix <= std::min(n, s.m + BinomialSetup::kRatioReach); ++ix) {
      float f = 1.0f;
      const double g = s.g, pqr = s.pqr;
      for (std::int64_t i = std::int64_t{s.m} + 1; i <= ix; ++i) f = static_cast<float>(f * (g / i - pqr));
      for (std::int64_t i = std::int64_t{ix} + 1; i <= s.m; ++i) f = static_cast<float>(f / (g / i - pqr));
      const auto slot = static_cast<std::size_t>(ix - s.m + BinomialSetup::kRatioReach);
      ASSERT_TRUE(s.ratio_known >> slot & 1u);
      EXPECT_EQ(s.ratio[slot], f) << n << " " << p << " " << ix;
    }
  }
}

// Inversion pairs get no shared set-up; BTPE pairs get one prepared for the pair.
TEST(SingleDraws, SharedSetUpOnlyForBtpe) {
  BinomialSetup s;
  EXPECT_FALSE(prepare_btpe_setup(50, 0.1f, s));   // mean 5
  EXPECT_EQ(s.nsave, 0);
  EXPECT_TRUE(prepare_btpe_setup(100, 0.7f, s));   // mirrored: mean 30 of the smaller tail
  EXPECT_EQ(s.nsave, 100);
  EXPECT_EQ(s.psave, 0.7f);
  EXPECT_EQ(s.m, 30);
}

}  // namespace
}  // namespace oskev::random
