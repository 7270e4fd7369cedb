#include "probability/binomial_interval.hpp"

#include <boost/math/distributions/binomial.hpp>
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdint>

// Unless a closed form is named, reference limits are R 4.2.2's qbeta (the Clopper-Pearson
// limits are beta quantiles): lower = qbeta(0.025, x, n - x + 1), upper = qbeta(0.975, x + 1, n - x),
// printed with 17 significant digits; for 37 of 1000 R's binom.test gives the same interval.

namespace oskev::probability {
namespace {

void expect_relative(double actual, double expected, double tolerance = 1e-12) {
  EXPECT_NEAR(actual, expected, tolerance * std::fabs(expected)) << "expected " << expected;
}

struct Reference {
  std::int64_t successes;
  std::int64_t trials;
  double lower;
  double upper;
};

TEST(ClopperPearson, AgreesWithBetaQuantiles) {
  const Reference cases[] = {
      {1, 10, 0.0025285785444617843, 0.44501611702819543},
      {5, 10, 0.18708602844739855, 0.81291397155260148},
      {37, 1000, 0.026182708843737346, 0.050641123059924853},
      {10000, 80000, 0.12271565380646668, 0.12731157789355529},
      {1, 80000, 3.1647254972617575e-07, 6.9643552453182671e-05},
      {79999, 80000, 0.9999303564475468, 0.99999968352745028},
      {123456789, 10000000000, 0.012343514737967042, 0.012347843344325815},
      {3, 10000000000, 6.1867212293832876e-11, 8.7672730672141633e-10},
      {5000000000, 10000000000, 0.49999020013007844, 0.50000979986992156},
      {9999999999, 10000000000, 0.99999999944283569, 0.99999999999746825},
  };
  for (const Reference& c : cases) {
    SCOPED_TRACE(testing::Message() << c.successes << " of " << c.trials);
    const BinomialInterval interval = clopper_pearson(c.successes, c.trials);
    expect_relative(interval.lower, c.lower);
    expect_relative(interval.upper, c.upper);
  }
}

// The limits computed to 60 digits (mpmath: bisection on the binomial sums themselves at the
// double tail (1 - level) / 2), rounded to the nearest double. Among them are limits on which
// Boost.Math's own (through the C library's functions) miss by one unit of the last place
// (6 of 32, 31 of 37, 627 of 1808, the upper limits of a few of millions) and by many.
TEST(ClopperPearson, IsTheDoubleNearestTheExactLimit) {
  const struct {
    std::int64_t successes;
    std::int64_t trials;
    double level;
    double lower;
    double upper;
  } cases[] = {
      {1, 1, 0.95, 0x1.99999999999a0p-6, 1.0},
      {0, 1, 0.95, 0.0, 0x1.f333333333333p-1},
      {1, 10, 0.95, 0x1.4b6d044ec2e45p-9, 0x1.c7b24e1350e77p-2},
      {5, 10, 0.95, 0x1.7f26f5adc2c52p-3, 0x1.a03642948f4ecp-1},
      {5, 10, 0.9, 0x1.c78f3330edde7p-3, 0x1.8e1c3333c4886p-1},
      {5, 10, 0.99, 0x1.06c7af0710078p-3, 0x1.be4e143e3bfe2p-1},
      {50, 100, 0.5, 0x1.d8816b046a6b4p-2, 0x1.13bf4a7dcaca6p-1},
      {37, 1000, 0.95, 0x1.acfa3d8d1736dp-6, 0x1.9eda21ec00ba0p-5},
      {6, 32, 0.95, 0x1.2739565772003p-4, 0x1.752341f71ee39p-2},
      {9, 69, 0.95, 0x1.f720fe5991295p-5, 0x1.dda1e6e9022fcp-3},
      {31, 37, 0.95, 0x1.5c16fe41d2937p-1, 0x1.e04b45982f076p-1},
      {31, 64, 0.95, 0x1.6e1500e0aa10bp-2, 0x1.39b936a735efcp-1},
      {627, 1808, 0.95, 0x1.4ca2f0b0fdf25p-2, 0x1.7a1a94e01255ap-2},
      {25, 10000, 0.95, 0x1.a847cb47c914dp-10, 0x1.e36ead51b830fp-9},
      {9990, 10000, 0.95, 0x1.ff0f0e1753061p-1, 0x1.ffc121f625241p-1},
      {0, 80000, 0.95, 0.0, 0x1.82cc5223d408dp-15},
      {80000, 80000, 0.95, 0x1.fff9f4ceb770bp-1, 1.0},
      {1, 80000, 0.95, 0x1.53cf4fe414457p-22, 0x1.241b31ee33a4fp-14},
      {79999, 80000, 0.95, 0x1.fff6df26708e6p-1, 0x1.fffff5618580ep-1},
      {7, 1312142, 0.95, 0x1.1fe0f9788dbc1p-19, 0x1.70d1be7d7bcfep-17},
      {6, 1668537, 0.95, 0x1.623e1ee74deeep-20, 0x1.06a06d0cfaa6ep-17},
      {3, 2000000, 0.999, 0x1.417c9994cd93ep-24, 0x1.d38c054e582d6p-18},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.successes << " of " << c.trials << " at " << c.level);
    const BinomialInterval interval = clopper_pearson(c.successes, c.trials, c.level);
    EXPECT_EQ(interval.lower, c.lower);
    EXPECT_EQ(interval.upper, c.upper);
  }
}

// Over a grid of counts, trials and levels, within 1e-13 of Boost.Math's limits in long double:
// Boost's own rest on the C library's functions and differ by platform in their last digits (on
// x86-64 Linux they equal these, on Windows some are a few units of the last place off).
TEST(ClopperPearson, AgreesWithBoostOverAGrid) {
  using Binomial = boost::math::binomial_distribution<long double>;
  const auto close_to = [](double actual, long double reference) {
    return std::fabs(actual - static_cast<double>(reference)) <= 1e-13 * std::fabs(static_cast<double>(reference));
  };
  for (const std::int64_t n : {1, 2, 3, 7, 20, 100, 1000, 20000, 80000}) {
    for (const std::int64_t x : {std::int64_t{1}, std::int64_t{2}, n / 10, n / 3, n / 2, n - 2, n - 1}) {
      if (x < 1 || x >= n) continue;
      for (const double level : {0.5, 0.95, 0.99}) {
        SCOPED_TRACE(testing::Message() << x << " of " << n << " at " << level);
        const BinomialInterval interval = clopper_pearson(x, n, level);
        const long double tail = (1.0L - level) / 2.0L;
        const auto trials = static_cast<long double>(n);
        const auto successes = static_cast<long double>(x);
        EXPECT_TRUE(close_to(interval.lower, Binomial::find_lower_bound_on_p(
                                                        trials, successes, tail, Binomial::clopper_pearson_exact_interval)));
        EXPECT_TRUE(close_to(interval.upper, Binomial::find_upper_bound_on_p(
                                                        trials, successes, tail, Binomial::clopper_pearson_exact_interval)));
      }
    }
  }
}

TEST(ClopperPearson, NoSuccessesOrAllSuccessesHaveClosedForms) {
  // With x = 0 the upper limit solves (1 - p)^n = 0.025: p = 1 - 0.025^(1/n), formed as
  // -expm1(ln 0.025 / n) to keep its digits; with x = n the lower limit is 0.025^(1/n).
  const double ln_tail = std::log(0.025);
  for (const std::int64_t n : {std::int64_t{1}, std::int64_t{10}, std::int64_t{80000}, std::int64_t{10000000}}) {
    SCOPED_TRACE(n);
    const BinomialInterval none = clopper_pearson(0, n);
    EXPECT_EQ(none.lower, 0.0);
    expect_relative(none.upper, -std::expm1(ln_tail / static_cast<double>(n)));
    const BinomialInterval all = clopper_pearson(n, n);
    expect_relative(all.lower, std::exp(ln_tail / static_cast<double>(n)));
    EXPECT_EQ(all.upper, 1.0);
  }
  // The published small-sample values.
  EXPECT_NEAR(clopper_pearson(0, 10).upper, 0.3084971, 5e-8);
  EXPECT_NEAR(clopper_pearson(10, 10).lower, 0.6915029, 5e-8);
  // R: qbeta(0.975, 1, 80000) = 4.61099300809185e-05.
  expect_relative(clopper_pearson(0, 80000).upper, 4.61099300809185e-05);
  // One trial: the tails themselves.
  expect_relative(clopper_pearson(1, 1).lower, 0.025);
  expect_relative(clopper_pearson(0, 1).upper, 0.975);
}

TEST(ClopperPearson, OtherLevels) {
  // R: qbeta(0.05, 5, 6) and qbeta(0.95, 6, 5) for a 90% interval of 5 of 10.
  const BinomialInterval ninety = clopper_pearson(5, 10, 0.90);
  expect_relative(ninety.lower, 0.22244110100812911);
  expect_relative(ninety.upper, 0.77755889899187092);
}

TEST(ClopperPearson, BadArgumentsGiveNotANumberQuietly) {
  const struct {
    std::int64_t successes;
    std::int64_t trials;
    double level;
  } bad[] = {{0, 0, 0.95}, {-1, 10, 0.95}, {11, 10, 0.95}, {5, -10, 0.95}, {5, 10, 0.0},
             {5, 10, 1.0}, {5, 10, -0.5}, {5, 10, std::nan("")}};
  errno = 0;
  for (const auto& b : bad) {
    SCOPED_TRACE(testing::Message() << b.successes << " of " << b.trials << " at " << b.level);
    const BinomialInterval interval = clopper_pearson(b.successes, b.trials, b.level);
    EXPECT_TRUE(std::isnan(interval.lower));
    EXPECT_TRUE(std::isnan(interval.upper));
  }
  EXPECT_EQ(errno, 0);
}

// Inverse binomial sampling: h successes reached at trial L. R 4.2.2, 17 significant digits:
// lower = qbeta(0.025, h, L - h + 1), upper = qbeta(0.975, h, L - h) (1 when L = h),
// standard error = sqrt((h/L)^2 * (1 - h/L) / h).
struct InverseReference {
  std::int64_t successes;
  std::int64_t trials;
  double lower;
  double upper;
  double standard_error;
};

TEST(InverseBinomial, AgreesWithBetaQuantilesOfTheStoppingTime) {
  const InverseReference cases[] = {
      {1, 1, 0.025000000000000001, 1, 0},
      {1, 2, 0.01257911709342505, 0.97499999999999998, 0.35355339059327379},
      {1, 10, 0.0025285785444617843, 0.33626711687994293, 0.094868329805051388},
      {5, 5, 0.4781762498950185, 1, 0},
      {5, 37, 0.045371992341993947, 0.26061092051082924, 0.056202729179463395},
      {10, 10, 0.69150289218123917, 1, 0},
      {10, 250, 0.019345498505264531, 0.067502502173461543, 0.012393546707863733},
      {20, 1000, 0.012258267972406325, 0.029541784650179204, 0.0044271887242357307},
      {20, 80000, 0.00015271296968228794, 0.00037086556946132278, 5.589471128827843e-05},
      {100, 2000, 0.040864267718251336, 0.059967134625237839, 0.0048733971724044828},
      {1000, 80000, 0.011741581241075653, 0.013281357203201005, 0.00039280640906176671},
      {10000, 20000, 0.4930459038418244, 0.50692927299745016, 0.0035355339059327377},
  };
  for (const InverseReference& c : cases) {
    SCOPED_TRACE(testing::Message() << c.successes << " at trial " << c.trials);
    const BinomialInterval interval = inverse_binomial(c.successes, c.trials);
    expect_relative(interval.lower, c.lower);
    expect_relative(interval.upper, c.upper);
    expect_relative(inverse_binomial_standard_error(c.successes, c.trials), c.standard_error);
  }
  // R: qbeta(0.05, 10, 241) and qbeta(0.95, 10, 240) for a 90% interval.
  const BinomialInterval ninety = inverse_binomial(10, 250, 0.90);
  expect_relative(ninety.lower, 0.021859218729148543);
  expect_relative(ninety.upper, 0.062224574916550091);
}

// The exact coverage, summed over the distribution of the stopping trial L,
// P(L = l) = C(l - 1, h - 1) p^h (1 - p)^(l - h), is at least the level for every p.
TEST(InverseBinomial, CoversAtLeastTheLevel) {
  for (const double p : {0.02, 0.05, 0.3, 0.9}) {
    for (const std::int64_t h : {std::int64_t{1}, std::int64_t{5}, std::int64_t{20}}) {
      SCOPED_TRACE(testing::Message() << "p " << p << ", h " << h);
      double coverage = 0.0;
      double mass = 0.0;
      double log_pmf = static_cast<double>(h) * std::log(p);  // l = h
      for (std::int64_t l = h; mass < 1.0 - 1e-10; ++l) {
        if (l > h) {
          log_pmf += std::log(static_cast<double>(l - 1) / static_cast<double>(l - h)) + std::log1p(-p);
        }
        const double pmf = std::exp(log_pmf);
        mass += pmf;
        if (pmf < 1e-14 * mass) continue;  // too rare to matter; spares the root finding
        const BinomialInterval interval = inverse_binomial(h, l);
        if (interval.lower <= p && p <= interval.upper) coverage += pmf;
      }
      EXPECT_GE(coverage, 0.95);
      EXPECT_LT(coverage, 0.999);  // exact, not so wide as to say nothing
    }
  }
}

TEST(InverseBinomial, BadArgumentsGiveNotANumberQuietly) {
  const struct {
    std::int64_t successes;
    std::int64_t trials;
    double level;
  } bad[] = {{0, 10, 0.95}, {0, 0, 0.95}, {-1, 10, 0.95}, {11, 10, 0.95}, {5, 10, 0.0}, {5, 10, 1.0},
             {5, 10, std::nan("")}};
  errno = 0;
  for (const auto& b : bad) {
    SCOPED_TRACE(testing::Message() << b.successes << " at trial " << b.trials << " at " << b.level);
    const BinomialInterval interval = inverse_binomial(b.successes, b.trials, b.level);
    EXPECT_TRUE(std::isnan(interval.lower));
    EXPECT_TRUE(std::isnan(interval.upper));
    if (b.level == 0.95) {
      EXPECT_TRUE(std::isnan(inverse_binomial_standard_error(b.successes, b.trials)));
    }
  }
  EXPECT_EQ(errno, 0);
}

TEST(MonteCarloStandardError, BinomialFormula) {
  EXPECT_DOUBLE_EQ(monte_carlo_standard_error(37, 1000), std::sqrt(0.037 * 0.963 / 1000.0));
  EXPECT_DOUBLE_EQ(monte_carlo_standard_error(5, 10), std::sqrt(0.025));
  EXPECT_EQ(monte_carlo_standard_error(0, 80000), 0.0);
  EXPECT_EQ(monte_carlo_standard_error(80000, 80000), 0.0);
  EXPECT_DOUBLE_EQ(monte_carlo_standard_error(5000000000, 10000000000), 0.5 / std::sqrt(1e10));
  EXPECT_TRUE(std::isnan(monte_carlo_standard_error(0, 0)));
  EXPECT_TRUE(std::isnan(monte_carlo_standard_error(-1, 10)));
  EXPECT_TRUE(std::isnan(monte_carlo_standard_error(11, 10)));
}

}  // namespace
}  // namespace oskev::probability
