#include "random/binomial.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <sstream>
#include <string>
#include <utility>
#include <vector>
#include "support/library_bundle.hpp"

namespace oskev::random {
namespace {

class BinomialTest : public ::testing::Test, protected oskev::testing::LibraryBundle {
 protected:
  BinomialTest() : LibraryBundle(TimeOfDay{9, 0, 0}) {}

  std::vector<std::int32_t> draw(std::int32_t nr, std::int32_t n, float p) {
    std::vector<std::int32_t> ir(static_cast<std::size_t>(nr), -1);
    RNBIN(nr, n, p, ir.data(), stream, setup, errors);
    return ir;
  }

  // Uniforms drawn since the stream was at `from` (the stream never repeats in this range).
  std::int64_t uniforms_since(std::int32_t from) const {
    std::int64_t count = 0;
    for (std::int32_t x = from; x != stream.state(); x = UniformStream::next_state(x)) ++count;
    return count;
  }
};

// ---- Choice of method and the mirror -------------------------------------------------------

TEST_F(BinomialTest, BtpeSetupForHundredTrialsAtThreeTenths) {
  const BinomialFold fold = fold_binomial(100, 0.3f);
  ASSERT_FALSE(binomial_uses_inversion(0.3f, fold));
  prepare_btpe(100, 0.3f, fold, setup);
  // Seven significant digits.
  auto near = [](float value, double expected) {
    return std::fabs(value - expected) <= 5e-7 * expected;
  };
  EXPECT_EQ(setup.nsave, 100);
  EXPECT_EQ(setup.psave, 0.3f);
  EXPECT_EQ(setup.m, 30);
  EXPECT_TRUE(near(setup.xnpq, 21.0)) << setup.xnpq;
  EXPECT_EQ(setup.p1, 6.5f);
  EXPECT_EQ(setup.xm, 30.5f);
  EXPECT_EQ(setup.xl, 24.0f);
  EXPECT_EQ(setup.xr, 37.0f);
  EXPECT_TRUE(near(setup.ct, 0.5865386)) << setup.ct;
  EXPECT_TRUE(near(setup.xll, 0.3099174)) << setup.xll;
  EXPECT_TRUE(near(setup.xlr, 0.2921468)) << setup.xlr;
  EXPECT_TRUE(near(setup.p2, 14.125)) << setup.p2;
  EXPECT_TRUE(near(setup.p3, 16.01757)) << setup.p3;
  EXPECT_TRUE(near(setup.p4, 18.02525)) << setup.p4;
  EXPECT_TRUE(near(setup.pqr, 0.4285715)) << setup.pqr;
  EXPECT_TRUE(near(setup.g, 43.28572)) << setup.g;
}

TEST_F(BinomialTest, InversionUpToATailMeanOfTen) {
  // N·min(P, 1 - P) exactly 10 (P = 0.1 in single precision gives N·P = 10 after rounding).
  EXPECT_TRUE(binomial_uses_inversion(0.5f, fold_binomial(20, 0.5f)));
  EXPECT_TRUE(binomial_uses_inversion(0.1f, fold_binomial(100, 0.1f)));
  EXPECT_TRUE(binomial_uses_inversion(0.75f, fold_binomial(40, 0.75f)));
  // 1 - 0.9 in single precision is 0.100000024: just above.
  EXPECT_FALSE(binomial_uses_inversion(0.9f, fold_binomial(100, 0.9f)));
  const float above = std::nextafter(0.1f, 1.0f);
  EXPECT_FALSE(binomial_uses_inversion(above, fold_binomial(100, above)));
  EXPECT_FALSE(binomial_uses_inversion(0.5f, fold_binomial(21, 0.5f)));
  // Below 2^-23 always inversion, whatever the mean.
  EXPECT_TRUE(binomial_uses_inversion(0x1p-24f, fold_binomial(2147483647, 0x1p-24f)));

  // Observable through the uniforms used and the retained set-up.
  stream.SEEDSET(7);
  draw(1000, 100, 0.1f);
  EXPECT_EQ(uniforms_since(7), 1000);
  EXPECT_EQ(setup.nsave, 0);
  std::int32_t before = 0;
  stream.SEEDGET(before);
  draw(1000, 100, above);
  EXPECT_EQ(setup.nsave, 100);
  EXPECT_GE(uniforms_since(before), 2000);
}

TEST_F(BinomialTest, AboveOneHalfIsTheMirrorOfBelow) {
  const BinomialFold mirrored = fold_binomial(100, 0.75f);
  EXPECT_TRUE(mirrored.mirrored);
  EXPECT_EQ(mirrored.pp, 0.25f);
  EXPECT_EQ(mirrored.qq, 0.75f);
  EXPECT_EQ(mirrored.xnp, 25.0f);
  EXPECT_FALSE(binomial_uses_inversion(0.75f, mirrored));
  EXPECT_FALSE(fold_binomial(100, 0.5f).mirrored);

  stream.SEEDSET(2024);
  const auto high = draw(5000, 100, 0.75f);
  stream.SEEDSET(2024);
  const auto low = draw(5000, 100, 0.25f);
  for (std::size_t i = 0; i < high.size(); ++i) ASSERT_EQ(high[i], 100 - low[i]) << i;
}

TEST_F(BinomialTest, OneTrialIsZeroExactlyWhenTheUniformIsAtMostOneMinusP) {
  for (float p : {0x1p-24f, 0.3f, 0.5f}) {
    stream.SEEDSET(31);
    const auto ir = draw(2000, 1, p);
    EXPECT_EQ(uniforms_since(31), 2000);
    UniformStream replay(errors, clock);
    replay.SEEDSET(31);
    const float q = static_cast<float>(1.0 - p);
    for (std::int32_t value : ir) ASSERT_EQ(value, replay.RNUNONE() <= q ? 0 : 1) << p;
  }
}

TEST_F(BinomialTest, InversionWithNegligibleZeroProbabilityStillDrawsOneUniformEach) {
  // (1 - 2^-24)^N < 2^-24 for N = 2^31 - 1: every variate is 0.
  stream.SEEDSET(3);
  const auto ir = draw(500, 2147483647, 0x1p-24f);
  EXPECT_EQ(uniforms_since(3), 500);
  EXPECT_TRUE(std::all_of(ir.begin(), ir.end(), [](std::int32_t v) { return v == 0; }));
}

TEST_F(BinomialTest, BtpeUsesTwoUniformsPerAttempt) {
  for (auto [n, p] : {std::pair{100, 0.3f}, std::pair{21, 0.5f}, std::pair{5000, 0.45f}}) {
    stream.SEEDSET(11);
    draw(777, n, p);
    const std::int64_t used = uniforms_since(11);
    EXPECT_EQ(used % 2, 0) << n;
    EXPECT_GE(used, 2 * 777) << n;
  }
}

TEST_F(BinomialTest, FirstVariatesFromSeedOne) {
  // Pins every comparison of both methods: the first 12 of 100 variates and the state after
  // the last uniform used. Inversion for N = 20: the uniforms 7.8e-6 and 0.1315 fall at or
  // below P(X <= 0) = 0.0008 and within (P(X <= 3), P(X <= 4)] = (0.107, 0.238].
  struct Case {
    std::int32_t n;
    float p;
    std::vector<std::int32_t> first;
    std::int32_t end_state;
  };
  const Case cases[] = {
      {20, 0.3f, {0, 4, 7, 6, 6, 4, 3, 7, 7, 9, 5, 6}, 892053144},
      {21, 0.5f, {11, 12, 10, 8, 10, 11, 15, 10, 14, 9, 8, 8}, 1603481258},
      {100, 0.3f, {29, 36, 29, 26, 24, 28, 33, 24, 27, 37, 34, 35}, 168068960},
      {100, 0.75f, {76, 70, 76, 79, 80, 77, 72, 80, 83, 78, 68, 70}, 1939824520},
      {5000, 0.45f, {2240, 2287, 2204, 2249, 2250, 2239, 2216, 2317, 2284, 2241, 2240, 2211},
       140002776},
  };
  for (const Case& c : cases) {
    stream.SEEDSET(1);
    const auto ir = draw(100, c.n, c.p);
    EXPECT_EQ(std::vector<std::int32_t>(ir.begin(), ir.begin() + 12), c.first) << c.n;
    EXPECT_EQ(stream.state(), c.end_state) << c.n;
  }
}

TEST_F(BinomialTest, MillionVariatesFromSeedOne) {
  // A million draws reach the rare decisions too (far tails, squeeze bounds, final test): any
  // changed comparison shifts the sum and the state after the last uniform used.
  struct Case {
    std::int32_t n;
    float p;
    std::int64_t sum;
    std::int32_t end_state;
  };
  const Case cases[] = {
      {200, 0.3f, 60001813, 2128950159},
      {30, 0.5f, 14998399, 1988688624},
      {100000, 0.01f, 999979186, 745867675},
  };
  for (const Case& c : cases) {
    stream.SEEDSET(1);
    const auto ir = draw(1000000, c.n, c.p);
    std::int64_t sum = 0;
    for (std::int32_t v : ir) sum += v;
    EXPECT_EQ(sum, c.sum) << c.n;
    EXPECT_EQ(stream.state(), c.end_state) << c.n;
  }
}

TEST_F(BinomialTest, ManyVariatesInOneCallEqualOneVariatePerCall) {
  // Large calls decide their BTPE attempts a block at a time and may compute uniforms they do
  // not use; the variates and the stream's end state must be those of single draws.
  for (auto [n, p] : {std::pair{50, 0.3f}, std::pair{100, 0.75f}, std::pair{500, 0.4f},
                      std::pair{5000, 0.45f}, std::pair{2147483647, 0.5f}, std::pair{100, 0.1f},
                      std::pair{30, 0.8f}}) {
    for (std::int32_t nr : {64, 127, 129, 3001}) {
      stream.SEEDSET(77);
      const auto together = draw(nr, n, p);
      const std::int32_t end = stream.state();
      stream.SEEDSET(77);
      std::vector<std::int32_t> single(static_cast<std::size_t>(nr));
      for (auto& value : single) value = draw(1, n, p)[0];
      ASSERT_EQ(together, single) << n << " " << p << " " << nr;
      ASSERT_EQ(stream.state(), end) << n << " " << p << " " << nr;
    }
  }
}

// ---- The retained set-up -------------------------------------------------------------------

TEST_F(BinomialTest, SetupIsKeptForTheSameArgumentsAndUntouchedByInversion) {
  stream.SEEDSET(5);
  draw(10, 100, 0.3f);
  const BinomialSetup first = setup;
  EXPECT_EQ(first.m, 30);

  // Same (N, P): the set-up is not recomputed (a marker in an unused field survives).
  setup.ffm = 12345.0f;
  draw(10, 100, 0.3f);
  EXPECT_EQ(setup.ffm, 12345.0f);
  setup.ffm = first.ffm;

  // Inversion in between leaves it alone.
  draw(10, 100, 0.05f);
  draw(10, 1, 0.5f);
  EXPECT_EQ(setup.nsave, 100);
  EXPECT_EQ(setup.psave, 0.3f);
  EXPECT_EQ(setup.p4, first.p4);

  // So a repeated call gives what a fresh set-up would.
  stream.SEEDSET(99);
  const auto kept = draw(300, 100, 0.3f);
  BinomialSetup fresh;
  std::vector<std::int32_t> again(300);
  stream.SEEDSET(99);
  RNBIN(300, 100, 0.3f, again.data(), stream, fresh, errors);
  EXPECT_EQ(kept, again);

  // Another BTPE pair replaces it; P is compared as given, before folding.
  draw(10, 100, 0.7f);
  EXPECT_EQ(setup.psave, 0.7f);
  draw(10, 200, 0.7f);
  EXPECT_EQ(setup.nsave, 200);
}

// ---- Argument errors -----------------------------------------------------------------------

class BinomialErrorTest : public BinomialTest {
 protected:
  // Runs a call that must stop the run, and checks that nothing was drawn or written.
  void expect_stop(std::int32_t nr, std::int32_t n, float p) {
    stream.SEEDSET(17);
    std::vector<std::int32_t> ir(8, -1);
    EXPECT_THROW(RNBIN(nr, n, p, ir.data(), stream, setup, errors), errors::RunStopped);
    EXPECT_EQ(stream.state(), 17);
    EXPECT_TRUE(std::all_of(ir.begin(), ir.end(), [](std::int32_t v) { return v == -1; }));
    EXPECT_EQ(setup.nsave, 0);
  }
};

constexpr const char* kNrMessage =
    "  \n"
    " *** TERMINAL ERROR 1 from RNBIN.  NR = 0.  NR must be greater than or equal\n"
    " ***          to 1.\n";
constexpr const char* kNMessage =
    "  \n"
    " *** TERMINAL ERROR 2 from RNBIN.  N = 0.  N must be greater than or equal to\n"
    " ***          1.\n";

TEST_F(BinomialErrorTest, NoVariatesWanted) {
  expect_stop(0, 10, 0.3f);
  EXPECT_EQ(console.str(), kNrMessage);
}

TEST_F(BinomialErrorTest, NoTrials) {
  expect_stop(5, 0, 0.3f);
  EXPECT_EQ(console.str(), kNMessage);
}

TEST_F(BinomialErrorTest, ProbabilityOne) {
  expect_stop(5, 10, 1.0f);
  EXPECT_EQ(console.str(),
            "  \n"
            " *** TERMINAL ERROR 3 from RNBIN.  The probability P = 1.000000E+00, but P\n"
            " ***          must be greater than 0.0 and less than 1.0.\n");
}

TEST_F(BinomialErrorTest, CountErrorHidesTheProbability) {
  expect_stop(0, 10, 1.0f);
  EXPECT_EQ(console.str(), kNrMessage);
}

TEST_F(BinomialErrorTest, BothCountsReported) {
  expect_stop(0, 0, 0.3f);
  EXPECT_EQ(console.str(), std::string(kNrMessage) + kNMessage);
}

TEST_F(BinomialErrorTest, NotANumberIsOutsideTheOpenInterval) {
  expect_stop(5, 10, std::numeric_limits<float>::quiet_NaN());
  EXPECT_EQ(console.str(),
            "  \n"
            " *** TERMINAL ERROR 3 from RNBIN.  The probability P = NaN, but P must be\n"
            " ***          greater than 0.0 and less than 1.0.\n");
}

// ---- Sound behaviour at the edges ------------------------------------------------------------

TEST_F(BinomialTest, InversionSearchStopsAtN) {
  // With N = 2 and this P, rounding leaves the cumulative probability after the term for 2 at
  // 0.99999988, below the largest uniform 0.99999994; the next term is 0, and an unbounded
  // search would return 3.
  const float p = std::bit_cast<float>(0x398f2401u);  // 2.73019104e-4
  stream.SEEDSET(739806647);  // next uniform 0.99999994
  const auto ir = draw(1, 2, p);
  EXPECT_EQ(ir[0], 2);
  EXPECT_EQ(stream.state(), 2147483646);
}

TEST_F(BinomialTest, MirroredInversionIsExactForLargeN) {
  // N above 2^24 is not exact in single precision: N - IX must still be the integer difference.
  const std::int32_t n = 100000001;
  const float high = 1.0f - 0x1p-24f;  // pp = 2^-24, mean 5.96: inversion, mirrored
  ASSERT_TRUE(binomial_uses_inversion(high, fold_binomial(n, high)));
  stream.SEEDSET(123);
  const auto mirrored = draw(2000, n, high);
  stream.SEEDSET(123);
  const auto direct = draw(2000, n, 0x1p-24f);
  for (std::size_t i = 0; i < mirrored.size(); ++i) ASSERT_EQ(mirrored[i], n - direct[i]) << i;
  EXPECT_EQ(*std::max_element(mirrored.begin(), mirrored.end()), n);  // some draws of 0 failures
}

TEST_F(BinomialTest, LargestTrialCountsStayInRangeWithACorrectSpread) {
  // N = 2^31 - 1: the squeeze sees K well above 46340 (K² beyond 32 bits), the final test has
  // N - IX + 1 and N + 1 beyond 32 bits, and the tails reach far. The standardised variates
  // must fall into bins with normal frequencies.
  const std::int32_t n = 2147483647;
  stream.SEEDSET(8);
  const std::int32_t nr = 200000;
  const auto ir = draw(nr, n, 0.5f);
  const double mean = n * 0.5;
  const double sd = std::sqrt(n * 0.25);
  const double edges[] = {-2.0, -1.0, 0.0, 1.0, 2.0};
  const double expected[] = {0.0227501, 0.1359051, 0.3413447, 0.3413447, 0.1359051, 0.0227501};
  double counts[6] = {};
  for (std::int32_t v : ir) {
    ASSERT_GE(v, 0);
    const double z = (v - mean) / sd;
    std::size_t bin = 0;
    while (bin < 5 && z >= edges[bin]) ++bin;
    counts[bin] += 1;
  }
  double chi2 = 0.0;
  for (int b = 0; b < 6; ++b) {
    const double e = expected[b] * nr;
    chi2 += (counts[b] - e) * (counts[b] - e) / e;
  }
  EXPECT_LT(chi2, 25.7);  // 5 degrees of freedom, p = 1e-4
}

}  // namespace
}  // namespace oskev::random
