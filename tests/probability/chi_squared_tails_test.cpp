// Both chi-squared tails, the density, ln Gamma and the normal quantile against Boost.Math as
// the independent reference (it evaluates in long double on the C library; so relative
// tolerances, not bits), over degrees of freedom from 0.5 to 1e6 and arguments from the
// smallest doubles to results among the subnormals. Beyond, where Boost's far tails lose
// digits (2e-12 at df = 1e8), and for tiny df, against values computed to 40 digits (mpmath:
// its incomplete gamma function, or the series and the continued fraction summed to
// convergence, or Temme's expansion in closed form at df = 1e12).

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include <boost/math/distributions/chi_squared.hpp>
#include <boost/math/distributions/normal.hpp>
#include <boost/math/special_functions/gamma.hpp>

#include "probability/chi_squared_tails.hpp"
#include "probability/incomplete_gamma.hpp"
#include "probability/normal_quantile.hpp"

namespace oskev::probability {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kDenormMin = std::numeric_limits<double>::denorm_min();

namespace bm = boost::math;
using Quiet = bm::policies::policy<bm::policies::overflow_error<bm::policies::ignore_error>,
                                   bm::policies::underflow_error<bm::policies::ignore_error>,
                                   bm::policies::denorm_error<bm::policies::ignore_error>,
                                   bm::policies::evaluation_error<bm::policies::ignore_error>>;
using ChiSquared = bm::chi_squared_distribution<double, Quiet>;

// |got - expected| relative to expected; among the subnormals, where a double holds fewer
// digits, one step of the subnormal grid counts as exact.
double relative_error(double got, double expected) {
  const double off = std::fabs(got - expected);
  if (off <= kDenormMin) return 0.0;
  return off / std::max(std::fabs(expected), std::numeric_limits<double>::min());
}

std::string scientific(double v) {
  std::ostringstream out;
  out << std::scientific << v;
  return out.str();
}

// Arguments for one number of degrees of freedom: tiny ones, below, at and above df, far out,
// and those whose upper tail lies near 1e-300, near 1e-310 (subnormal) and near 1e-322.
std::vector<double> arguments(double df) {
  const double s = std::sqrt(2.0 * df);  // the standard deviation
  std::vector<double> q = {1e-300, 1e-20, 1e-5, 0.01, 0.5, 2.0, 0.01 * df, 0.1 * df, 0.5 * df,
                           df - 3 * s, df - 1.0, df, df + 0.5, df + 1.0, df + 2.0, df + s,
                           df + 3 * s, df + 10 * s, 2.0 * df, 5.0 * df, 10.0 * df};
  for (double tail : {1e-300, 1e-310, 1e-322}) {
    q.push_back(bm::quantile(bm::complement(ChiSquared(df), tail)));
  }
  std::erase_if(q, [](double v) { return !(v >= 0.0) || !std::isfinite(v); });
  return q;
}

// Boost's own error in the far tails of large df reaches about 2e-14 (at df = 1e6 and a tail
// of 1e-300, where a 40-digit evaluation agrees with ours to 5e-17).
constexpr double kBoostTolerance = 5e-14;

TEST(ChiSquaredTails, BothTailsAgreeWithBoostOverTheGrid) {
  double worst_upper = 0.0, worst_lower = 0.0;
  int compared = 0;
  for (double df : {0.5, 1.0, 2.0, 3.0, 5.0, 12.0, 25.0, 65.0, 65.5, 100.0, 1000.0, 1e4, 1e5, 1e6}) {
    const ChiSquared reference(df);
    for (double q : arguments(df)) {
      const double upper = bm::cdf(bm::complement(reference, q));
      const double lower = bm::cdf(reference, q);
      // Boost's own gamma function overflows for large df at tiny q (a lower tail far below
      // the smallest double): nothing to compare there.
      if (!std::isfinite(upper) || !std::isfinite(lower)) continue;
      const double eu = relative_error(chi_squared_upper(q, df), upper);
      const double el = relative_error(chi_squared_lower(q, df), lower);
      EXPECT_LT(eu, kBoostTolerance) << "upper, df " << df << ", q " << q << ": " << upper;
      EXPECT_LT(el, kBoostTolerance) << "lower, df " << df << ", q " << q << ": " << lower;
      worst_upper = std::max(worst_upper, eu);
      worst_lower = std::max(worst_lower, el);
      ++compared;
    }
  }
  EXPECT_GT(compared, 300);
  RecordProperty("worst_upper_relative_error", scientific(worst_upper));
  RecordProperty("worst_lower_relative_error", scientific(worst_lower));
}

TEST(ChiSquaredTails, LargeAndTinyDegreesOfFreedom) {
  struct Case {
    double q, df;
    bool upper;
    double expected;
  };
  for (const Case& c : {Case{2e7, 2e7, false, 0.50004205220872369833},
                        Case{20189736.659610104, 2e7, true, 8.2809793179375453745e-197},
                        Case{99476740.98192196, 1e8, false, 5.2086239349856109673e-301},
                        Case{100524839.78239937, 1e8, true, 9.999999999919273804e-301},
                        Case{1e12 - 1.0, 1e12, true, 0.50000009403159725803},
                        Case{1e12 - 1.0, 1e12, false, 0.49999990596840274197},
                        // Tiny df: the upper tail below the median is small, not 1 - P.
                        Case{0.01, 1e-6, true, 2.363045141667258985e-6},
                        Case{0.3, 0.002, true, 0.0014640742611025461063},
                        Case{1e-10, 1e-300, true, 1.1570891222824434916e-299}}) {
    const double got = c.upper ? chi_squared_upper(c.q, c.df) : chi_squared_lower(c.q, c.df);
    EXPECT_LT(relative_error(got, c.expected), 1e-15) << c.q << " " << c.df << ": " << got;
  }
}

TEST(ChiSquaredTails, TailsFarBelowTheRoundingOfOne) {
  struct Case {
    double q, df;
    bool upper;
  };
  // The BCG trials' Q (a float widened) on 12 degrees of freedom, about 1.7e-26 (metafor's
  // QEp); lower tails the complement of the upper one would give as 0; results near and
  // among the subnormals.
  for (const Case& c : {Case{static_cast<double>(152.56757f), 12.0, true}, Case{300.0, 1000.0, false},
                        Case{1400.0, 1.0, true}, Case{1470.0, 1.0, true}, Case{1e-300, 2.0, false},
                        Case{2000.0, 500.0, true}, Case{40.0, 300.0, false}}) {
    const ChiSquared reference(c.df);
    const double expected = c.upper ? bm::cdf(bm::complement(reference, c.q)) : bm::cdf(reference, c.q);
    const double got = c.upper ? chi_squared_upper(c.q, c.df) : chi_squared_lower(c.q, c.df);
    EXPECT_GT(got, 0.0) << c.q << " " << c.df;
    EXPECT_LT(relative_error(got, expected), 1e-14) << c.q << " " << c.df << ": " << got << " vs " << expected;
  }
  EXPECT_NEAR(chi_squared_upper(static_cast<double>(152.56757f), 12.0) / 1.7075776838247495e-26, 1.0, 1e-15);
  // Beyond the smallest subnormal: 0, as the true value rounds (P(X <= 2) on 1000 degrees of
  // freedom is about 1e-1134).
  EXPECT_EQ(chi_squared_upper(1500.0, 1.0), 0.0);
  EXPECT_EQ(chi_squared_lower(2.0, 1000.0), 0.0);
}

TEST(ChiSquaredTails, EdgesOfTheDomain) {
  const double q_min = kDenormMin;
  struct Case {
    double q, df, upper, lower;
  };
  for (const Case& c : {
           Case{kNaN, 3.0, kNaN, kNaN}, Case{1.0, kNaN, kNaN, kNaN}, Case{1.0, 0.0, kNaN, kNaN},
           Case{1.0, -2.0, kNaN, kNaN}, Case{1.0, kInf, kNaN, kNaN}, Case{-1.0, 3.0, 1.0, 0.0},
           Case{-kInf, 3.0, 1.0, 0.0}, Case{0.0, 3.0, 1.0, 0.0}, Case{kInf, 3.0, 0.0, 1.0},
           // df = 2 is the exponential distribution: P(X > q) = e^(-q/2) (e^-1 rounded).
           Case{2.0, 2.0, 0.36787944117144233, 0.63212055882855767},
           // A subnormal q, whose half is not a double: P(X <= q) = sqrt(2q / pi) for df = 1.
           Case{q_min, 1.0, 1.0, std::sqrt(q_min) * std::sqrt(2.0 / 3.141592653589793)},
           Case{q_min, 1e300, 1.0, 0.0}, Case{1e300, 1e300, 0.5, 0.5},
       }) {
    const double upper = chi_squared_upper(c.q, c.df), lower = chi_squared_lower(c.q, c.df);
    if (std::isnan(c.upper)) {
      EXPECT_TRUE(std::isnan(upper) && std::isnan(lower)) << c.q << " " << c.df;
    } else {
      EXPECT_NEAR(upper, c.upper, 1e-16 * c.upper) << c.q << " " << c.df;
      EXPECT_NEAR(lower, c.lower, 2e-16 * c.lower) << c.q << " " << c.df;
    }
  }
}

TEST(ChiSquaredTails, DensityAgreesWithBoostAndKeepsItsEdges) {
  for (double df : {0.5, 1.0, 2.0, 3.0, 12.0, 65.5, 300.0, 1e4, 1e6}) {
    for (double x : {1e-300, 0.01, 1.0, 0.5 * df, df - 2.0, df, 2.0 * df, df + 200.0}) {
      if (!(x > 0.0)) continue;
      const double expected = bm::pdf(ChiSquared(df), x);
      if (!std::isfinite(expected)) continue;
      EXPECT_LT(relative_error(chi_squared_density(x, df), expected), 1e-14) << "df " << df << ", x " << x;
    }
  }
  EXPECT_TRUE(std::isinf(chi_squared_density(0.0, 1.0)));
  EXPECT_EQ(chi_squared_density(0.0, 2.0), 0.5);
  EXPECT_EQ(chi_squared_density(0.0, 3.0), 0.0);
  EXPECT_EQ(chi_squared_density(-1.0, 3.0), 0.0);
  EXPECT_EQ(chi_squared_density(kInf, 3.0), 0.0);
  EXPECT_EQ(chi_squared_density(kDenormMin, 1e300), 0.0);
  for (double df : {0.0, -1.0, kNaN, kInf}) EXPECT_TRUE(std::isnan(chi_squared_density(1.0, df)));
  EXPECT_TRUE(std::isnan(chi_squared_density(kNaN, 2.0)));
}

TEST(ChiSquaredTails, LogGammaAgreesWithBoost) {
  for (double a : {1e-300, 1e-10, 0.1, 0.5, 1.0, 1.5, 2.0, 3.7, 9.99, 10.0, 10.5, 100.0, 1e5, 1e10, 1e300}) {
    const double expected = bm::lgamma(a);
    EXPECT_LE(std::fabs(log_gamma(a) - expected), 4e-16 * std::max(1.0, std::fabs(expected))) << a;
  }
  EXPECT_EQ(log_gamma(1.0), 0.0);
  EXPECT_EQ(log_gamma(0.0), kInf);
  EXPECT_TRUE(std::isnan(log_gamma(-1.0)));
}

TEST(NormalQuantile, AgreesWithBoostFromTheSubnormalsToTheMiddle) {
  std::vector<double> ps = {kDenormMin, 1e-320, std::numeric_limits<double>::min(), 0.02425, 0.5 - 0x1p-54,
                            0.5 + 0x1p-53, 0.5 - 1e-10, 0.75 + 1e-9};
  for (int i = 1; i < 1000; ++i) ps.push_back(i / 1000.0);
  for (int k = 1; k <= 300; k += 3) ps.push_back(std::pow(10.0, -k));
  for (int k = 1; k <= 16; ++k) ps.push_back(1.0 - std::pow(10.0, -k));
  double worst = 0.0;
  for (double p : ps) {
    const double expected = bm::quantile(bm::normal_distribution<double>(), p);
    const double error = relative_error(normal_quantile(p), expected);
    EXPECT_LT(error, 1e-15) << p;
    worst = std::max(worst, error);
  }
  RecordProperty("worst_relative_error", scientific(worst));
  // The 95% level: the quantile of the double nearest 0.975, 1.95996398454005385..., rounded.
  EXPECT_EQ(normal_quantile(0.975), 1.9599639845400538);
  EXPECT_EQ(normal_quantile(0.5), 0.0);
  for (double p : {0.0, 1.0, -0.5, 1.5, kNaN, kInf}) EXPECT_TRUE(std::isnan(normal_quantile(p))) << p;
}

}  // namespace
}  // namespace oskev::probability
