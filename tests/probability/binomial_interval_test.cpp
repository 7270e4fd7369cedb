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
