// The regularised incomplete gamma functions after Legendre and Gauss: the power series of
// P(a, x) below the mean and the continued fraction of Q(a, x) above it, each multiplied by
// x^a e^-x / Gamma(a), which is formed in logarithms. For large a that logarithm is a
// difference of numbers near a ln a; it is written instead as the deviation
// a (d - ln(1 + d)), d = (x - a) / a, plus Stirling's ln sqrt(a / 2 pi) and correction, so its
// absolute error stays a few units of the last place of the result's logarithm.

#include "probability/incomplete_gamma.hpp"

#include <cmath>
#include <limits>

#include "probability/chebyshev.hpp"
#include "probability/elementary.hpp"

namespace oskev::probability {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
// ln(2 pi) and ln sqrt(2 pi) to twice the working precision.
constexpr elementary::Wide kLn2Pi{0x1.d67f1c864beb5p+0, -0x1.65b5a1b7ff5dfp-54};
constexpr elementary::Wide kLnSqrt2Pi{0x1.d67f1c864beb5p-1, -0x1.65b5a1b7ff5dfp-55};
// Beyond this magnitude Veltkamp's split overflows: products are then left unrefined, which
// matters nowhere, since exp of such a logarithm is 0 or infinite.
constexpr double kSplitLimit = 1e290;

using elementary::Wide;

Wide add(Wide a, double b) { return elementary::add(a, Wide{b, 0.0}); }
Wide subtract(Wide a, Wide b) { return elementary::add(a, elementary::negate(b)); }

// a b, exact to twice the working precision while the split cannot overflow; beyond, where
// it matters nowhere (exp of such a logarithm is 0 or infinite), plainly rounded.
Wide product(Wide a, double b) {
  const double p = a.hi * b;
  if (!(std::fabs(a.hi) < kSplitLimit && std::fabs(b) < kSplitLimit && std::fabs(p) < kSplitLimit)) return {p, 0.0};
  return elementary::multiply(a, b);
}

// Gamma(1 + y) for 0 <= y < 1: the Chebyshev series of the gamma function on [1, 2].
double gamma_one_plus(double y) {
  const auto& cs = chebyshev::kGammaSeries;
  const double twot = 2.0 * (2.0 * y - 1.0);
  double b0 = 0.0, b1 = 0.0, b2 = 0.0;
  for (std::size_t i = cs.size(); i-- > 0;) {
    b2 = b1;
    b1 = b0;
    b0 = twot * b1 - b2 + cs[i];
  }
  return 0.9375 + 0.5 * (b0 - b2);
}

// Gamma(a) (shift 0) or Gamma(a + 1) (shift 1) for 1 <= a < 10, by the recurrence from
// Gamma(1 + y), y the fractional part of a: a few roundings, so a few units of the last place.
double gamma_moderate(double a, int shift) {
  const double n = std::floor(a);
  const double y = a - n;
  double g = gamma_one_plus(y);
  for (double i = 1.0; i <= n - 1.0 + shift; i += 1.0) g *= y + i;
  return g;
}

// Stirling's series for ln Gamma(a) - ((a - 1/2) ln a - a + ln sqrt(2 pi)), a >= 10, to nine
// terms B_2k / (2k (2k - 1) a^(2k - 1)): the first omitted one is below 2e-19.
double stirling_correction(double a) {
  static constexpr double c[] = {1.0 / 12.0,        -1.0 / 360.0,     1.0 / 1260.0,
                                 -1.0 / 1680.0,     1.0 / 1188.0,     -691.0 / 360360.0,
                                 1.0 / 156.0,       -3617.0 / 122400.0, 43867.0 / 244188.0};
  const double r = 1.0 / a;
  const double r2 = r * r;
  double sum = c[8];
  for (int k = 7; k >= 0; --k) sum = c[k] + r2 * sum;
  return r * sum;
}

// ln Gamma(a + shift), shift 0 or 1, for 0 < a < 10.
Wide log_gamma_small(double a, int shift) {
  if (a >= 1.0) return elementary::log_wide(gamma_moderate(a, shift));
  const Wide g = elementary::log_wide(gamma_one_plus(a));
  return shift == 1 ? g : subtract(g, elementary::log_wide(a));
}

// ln Gamma(a) for a >= 10: Stirling's formula with its correction.
Wide log_gamma_large(double a) {
  const Wide main = add(product(elementary::log_wide(a), a - 0.5), -a);
  return add(elementary::add(main, kLnSqrt2Pi), stirling_correction(a));
}

// a (d - ln(1 + d)) with d = (x - a) / a, that is x - a - a ln(x / a) >= 0, for a >= 10 and
// finite x > 0, in twice the working precision: d itself is carried so, ln(1 + d) = ln(x / a)
// is a double-double logarithm, whose last digits are lost only by a factor of about 2 / d in
// the difference, and for |d| < 1/64 the difference goes by the series of the inverse
// hyperbolic tangent instead, so the deviation keeps its relative accuracy however small it is.
Wide deviation(double a, double x) {
  const Wide num = elementary::two_sum(x, -a);
  Wide d{num.hi / a, 0.0};
  if (std::fabs(num.hi) < kSplitLimit) {
    const Wide back = elementary::two_product(d.hi, a);
    d = elementary::quick_two_sum(d.hi, ((num.hi - back.hi) - back.lo + num.lo) / a);
  }
  Wide g;
  if (std::fabs(d.hi) < 1.0 / 64.0) {
    // ln(1 + d) = 2 atanh(s) = 2 (s + s^3/3 + s^5/5 + ...) with s = d / (2 + d), |s| < 1/127,
    // and d - 2s = s d; the rest, below 1/300 of the result, needs no more than a double.
    const Wide s = elementary::divide(d, add(d, 2.0));
    const double s2 = s.hi * s.hi;
    double sum = 0.0, power = 1.0;
    for (int k = 0; k < 16; ++k) {
      const double term = power / (2 * k + 3);
      sum += term;
      if (term < 0x1p-60 * sum) break;
      power *= s2;
    }
    g = add(elementary::multiply(s, d), -2.0 * s.hi * s2 * sum);
  } else {
    const double ratio = x / a;
    Wide log_ratio;
    if (ratio > 1e-290 && x < kSplitLimit) {
      const Wide back = elementary::two_product(ratio, a);
      log_ratio = add(elementary::log_wide(ratio), ((x - back.hi) - back.lo) / a / ratio);
    } else {
      log_ratio = subtract(elementary::log_wide(x), elementary::log_wide(a));
    }
    g = subtract(d, log_ratio);
  }
  return product(g, a);
}

// ln(x^a e^-x / Gamma(a + shift)), shift 0 or 1, for a > 0 and finite x > 0.
Wide log_prefactor(double a, double x, int shift) {
  if (a < 10.0) {
    const Wide e = add(product(elementary::log_wide(x), a), -x);
    return subtract(e, log_gamma_small(a, shift));
  }
  // Gamma(a) = sqrt(2 pi / a) a^a e^-a e^mu(a).
  const Wide log_a = elementary::log_wide(a);
  Wide c = add(product(subtract(log_a, kLn2Pi), 0.5), -stirling_correction(a));
  if (shift == 1) c = subtract(c, log_a);
  return subtract(c, deviation(a, x));
}

// e^e w for w = w_hi + w_lo > 0, rounded once (into the subnormals too).
double exp_times(Wide e, double w_hi, double w_lo = 0.0) {
  if (!std::isfinite(e.hi)) return e.hi > 0.0 ? kInf : 0.0;
  return elementary::exp(elementary::add(e, add(elementary::log_wide(w_hi), w_lo / w_hi)));
}

// Gauss's series sum_n x^n / ((a + 1) ... (a + n)), all terms positive, in twice the working
// precision, to a tail below 2^-60 of the sum; P(a, x) = x^a e^-x / Gamma(a + 1) times it.
Wide lower_series(double a, double x) {
  Wide term{1.0, 0.0}, sum{1.0, 0.0};
  for (double n = 1.0; n < 1e9; n += 1.0) {
    term = elementary::divide(elementary::multiply(term, x), elementary::two_sum(a, n));
    sum = elementary::add(sum, term);
    const double ratio = x / (a + n + 1.0);
    if (ratio < 1.0 && term.hi * ratio < 0x1p-60 * (1.0 - ratio) * sum.hi) break;
  }
  return sum;
}

// Legendre's continued fraction 1/(x + 1 - a - 1 (1 - a)/(x + 3 - a - 2 (2 - a)/(x + 5 - a - ...)));
// Q(a, x) = x^a e^-x / Gamma(a) times it. The modified Lentz method finds the depth at which
// a further level no longer changes the double result; as the fraction converges about
// geometrically, twice that depth leaves a truncation error of about the square of the last
// step. It is then evaluated from the bottom up in twice the working precision, since the
// forward products gather a rounding at every level.
Wide upper_fraction(double a, double x) {
  constexpr double tiny = 1e-300;
  double b = x + 1.0 - a;
  double c = 1.0 / tiny;
  double d = 1.0 / b;
  double depth = 0.0;
  for (double i = 1.0; i < 1e9; i += 1.0) {
    const double an = -i * (i - a);
    b += 2.0;
    d = an * d + b;
    if (std::fabs(d) < tiny) d = tiny;
    c = b + an / c;
    if (std::fabs(c) < tiny) c = tiny;
    d = 1.0 / d;
    depth = i;
    if (std::fabs(d * c - 1.0) < 0x1p-60) break;
  }
  depth *= 2.0;
  // Level i holds -i (i - a) / (x + 2i + 1 - a + level i + 1).
  const Wide x_minus_a = elementary::two_sum(x, -a);
  Wide t{0.0, 0.0};
  for (double i = depth; i >= 1.0; i -= 1.0) {
    const Wide numerator = elementary::negate(product(elementary::two_sum(i, -a), i));
    t = elementary::divide(numerator, elementary::add(add(x_minus_a, 2.0 * i + 1.0), t));
  }
  return elementary::divide(Wide{1.0, 0.0}, elementary::add(add(x_minus_a, 1.0), t));
}

// Where P is the smaller of the two, roughly: below a + 1, and for a < 1 (whose median lies
// below 1/4 and far below for small a) below 1/4; Q elsewhere.
bool by_series(double a, double x) { return a < 1.0 ? x < 0.25 : x < a + 1.0; }

double lower_by_series(double a, double x) {
  const Wide sum = lower_series(a, x);
  return exp_times(log_prefactor(a, x, 1), sum.hi, sum.lo);
}

}  // namespace

double log_gamma(double a) {
  if (std::isnan(a) || a < 0.0) return kNaN;
  if (a == 0.0 || std::isinf(a)) return kInf;
  const Wide g = a < 10.0 ? log_gamma_small(a, 0) : log_gamma_large(a);
  return g.hi + g.lo;
}

GammaRatios gamma_ratios(double a, double x) {
  if (std::isnan(a) || std::isnan(x) || !(a > 0.0) || x < 0.0) return {kNaN, kNaN};
  if (x == 0.0) return {0.0, 1.0};
  if (std::isinf(x)) return {1.0, 0.0};
  if (std::isinf(a)) return {0.0, 1.0};
  if (by_series(a, x)) {
    const double p = lower_by_series(a, x);
    return {p, 1.0 - p};
  }
  const Wide h = upper_fraction(a, x);
  const double q = exp_times(log_prefactor(a, x, 0), h.hi, h.lo);
  return {1.0 - q, q};
}

double log_gamma_upper(double a, double x) {
  if (std::isnan(a) || std::isnan(x) || !(a > 0.0) || x < 0.0) return kNaN;
  if (x == 0.0) return 0.0;
  if (std::isinf(x)) return -kInf;
  if (std::isinf(a)) return 0.0;
  if (by_series(a, x)) return elementary::log(1.0 - lower_by_series(a, x));
  const Wide h = upper_fraction(a, x);
  const Wide e = elementary::add(log_prefactor(a, x, 0), add(elementary::log_wide(h.hi), h.lo / h.hi));
  return e.hi + e.lo;
}

double gamma_density(double a, double x) {
  if (std::isnan(a) || std::isnan(x) || !(a > 0.0) || std::isinf(a)) return kNaN;
  if (x < 0.0 || std::isinf(x)) return 0.0;
  if (x == 0.0) return a < 1.0 ? kInf : a == 1.0 ? 1.0 : 0.0;
  return exp_times(subtract(log_prefactor(a, x, 0), elementary::log_wide(x)), 1.0);
}

}  // namespace oskev::probability
