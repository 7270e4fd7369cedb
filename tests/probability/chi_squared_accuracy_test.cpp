// DCHIDF over DF 0.5 to 200 and CHSQ 0 to 300, region by region, against an independent
// evaluation in extended precision (long double): the regularised incomplete gamma function
// by its power series below a + 1 and Legendre's continued fraction above, with lgammal.
// Where DCHIDF's method is itself an approximation, it is compared with the same approximation
// evaluated independently, and its distance from the distribution is bounded separately.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "probability/chi_squared.hpp"
#include "probability/library_fixture.hpp"

namespace oskev::probability {
namespace {

using ChiSquaredAccuracy = testing::LibraryTest;
using Real = long double;
static_assert(std::numeric_limits<Real>::digits > 60, "the reference needs extended precision");

// P(a, x), the chi-squared distribution function at 2x with 2a degrees of freedom.
Real lower_gamma_ratio(Real a, Real x) {
  if (x <= 0) return 0;
  if (x < a + 1) {
    Real term = 1, sum = 1;
    for (int n = 1; n < 10000 && term > 1e-22L * sum; ++n) {
      term *= x / (a + n);
      sum += term;
    }
    return std::exp(a * std::log(x) - x - std::lgamma(a + 1)) * sum;
  }
  // Q(a, x) = e^-x x^a / G(a) * 1/(x + 1 - a - 1(1 - a)/(x + 3 - a - ...)), modified Lentz.
  const Real tiny = std::numeric_limits<Real>::min() / std::numeric_limits<Real>::epsilon();
  Real b = x + 1 - a, c = 1 / tiny, d = 1 / b, h = d;
  for (int i = 1; i < 10000; ++i) {
    const Real an = -i * (i - a);
    b += 2;
    d = an * d + b;
    if (std::fabs(d) < tiny) d = tiny;
    c = b + an / c;
    if (std::fabs(c) < tiny) c = tiny;
    d = 1 / d;
    const Real step = d * c;
    h *= step;
    if (std::fabs(step - 1) < 1e-21L) break;
  }
  return 1 - std::exp(a * std::log(x) - x - std::lgamma(a)) * h;
}

Real chi_squared_exact(Real chsq, Real df) { return lower_gamma_ratio(df / 2, chsq / 2); }

// The upper-tail expansion as DCHIDF truncates it: terms (a-1)(a-2).../x^k while positive and
// above 10 x 2^-52 of the sum, at most 50 of them.
Real truncated_upper_expansion(Real a, Real x) {
  const Real eps = 10 * 0x1p-52L;
  Real b = a - 1, term = b / x, sum = 1 + term;
  for (int k = 1; k <= 49; ++k) {
    b -= 1;
    term *= b / x;
    if (term <= eps * sum) break;
    sum += term;
  }
  return 1 - std::exp((a - 1) * std::log(x) - x - std::lgamma(a)) * sum;
}

// The cube-root normal approximation with its cut-offs, the normal function through erfcl.
Real normal_approximation(Real chsq, Real df) {
  if (chsq < 2) return 0;
  const Real v = 2 / (9 * df);
  const Real z = (std::cbrt(chsq / df) - (1 - v)) / std::sqrt(v);
  if (z > 5) return 1;
  if (z < -18.8055L) return 0;
  return std::erfc(-z / std::sqrt(Real{2})) / 2;
}

struct Region {
  double vs_reference = 0;  // against the independent evaluation of what DCHIDF computes
  double vs_exact = 0;      // against the distribution
  void add(double value, Real reference, Real exact) {
    vs_reference = std::max(vs_reference, static_cast<double>(std::fabs(value - reference)));
    vs_exact = std::max(vs_exact, static_cast<double>(std::fabs(value - exact)));
  }
};

// DF = 0.5, 0.75, ..., 200 (integer, half-integer and other DF) by CHSQ = 0.25, 0.5, ..., 300
// and a few small and boundary values: about 970 000 points.
std::vector<double> chsq_grid() {
  std::vector<double> grid = {0.0, 1e-12, 2e-12, 1e-9, 1e-6, 1e-4, 1e-2, 0.1, 1.9, 1.99, 25.9, 200.5};
  for (int i = 1; i <= 1200; ++i) grid.push_back(0.25 * i);
  return grid;
}

TEST_F(ChiSquaredAccuracy, RegionByRegion) {
  Region lower_series, upper_even, upper_below_two, upper_other, certain, cut_tiny, cut_lower,
      cut_normal, normal;
  for (int j = 0; j <= 798; ++j) {
    const double df = 0.5 + 0.25 * j;
    const Real a = Real{df} / 2;
    for (double chsq : chsq_grid()) {
      const double p = DCHIDF(chsq, df, sf_);
      const Real exact = chi_squared_exact(chsq, df);
      const Real x = Real{chsq} / 2;
      if (chsq <= 1e-12) {
        cut_tiny.add(p, 0, exact);
      } else if (df > 65) {
        (chsq < 2 ? cut_normal : normal).add(p, normal_approximation(chsq, df), exact);
      } else if (chsq > 200) {
        certain.add(p, 1, exact);
      } else if (std::max(a / 2, Real{13}) <= x) {
        Region& region = std::fmod(df, 2.0) == 0 ? upper_even : df < 2 ? upper_below_two : upper_other;
        region.add(p, truncated_upper_expansion(a, x), exact);
      } else if (df > 25 && chsq < 2) {
        cut_lower.add(p, 0, exact);
      } else {
        lower_series.add(p, exact, exact);
      }
    }
  }

  // Exact to double precision: largest differences from the distribution measured
  // 6.1e-15 (lower series), 2.1e-14 (upper expansion, even DF: a finite sum),
  // 1.1e-15 (DF <= 65, CHSQ > 200: 1) and 1.4e-37 (DF > 65, CHSQ < 2: 0).
  EXPECT_LT(lower_series.vs_exact, 1e-13);
  EXPECT_LT(upper_even.vs_exact, 1e-13);
  EXPECT_LT(certain.vs_exact, 1e-13);
  EXPECT_LT(cut_normal.vs_exact, 1e-13);

  // The upper-tail expansion for other DF ends at its first negative term: against the same
  // truncated expansion in extended precision the largest difference is 3.2e-14 (DF >= 2) and
  // 5.5e-17 (DF < 2, where it keeps only two or three terms); from the distribution it lies
  // up to 1.7e-8 (DF 43.5 at CHSQ 26) and 2.7e-10 (DF < 2).
  EXPECT_LT(upper_other.vs_reference, 1e-13);
  EXPECT_LT(upper_below_two.vs_reference, 1e-13);
  EXPECT_LT(upper_other.vs_exact, 2e-8);
  EXPECT_LT(upper_below_two.vs_exact, 1e-9);

  // DF > 65: Phi(z) of the cube-root normal approximation, 2.2e-15 from the same formula in
  // extended precision; it lies up to 1.7e-4 from the distribution (DF 65.25 at CHSQ 57.25).
  // Its cut-off at z > 5 alone gives up to 2.9e-7.
  EXPECT_LT(normal.vs_reference, 1e-13);
  EXPECT_LT(normal.vs_exact, 2e-4);

  // Cut-offs to 0: CHSQ <= 1e-12 lies up to 9.3e-4 from the distribution (DF 0.5, where
  // P = (CHSQ/2)^(DF/2)/Gamma(DF/2 + 1)); 25 < DF <= 65 with CHSQ < 2 up to 1.6e-10 (DF 25.25).
  EXPECT_EQ(cut_tiny.vs_reference, 0.0);
  EXPECT_EQ(cut_lower.vs_reference, 0.0);
  EXPECT_LT(cut_tiny.vs_exact, 1e-3);
  EXPECT_LT(cut_lower.vs_exact, 2e-10);

  EXPECT_EQ(written(), "");
}

}  // namespace
}  // namespace oskev::probability
