#include "probability/binomial_interval.hpp"

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
