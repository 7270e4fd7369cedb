// I_y(a, b) = C(a + b - 1, a) y^a (1 - y)^b h, with h the continued fraction
//   h = 1 / (1 + d1 / (1 + d2 / (1 + ...))),
//   d(2m + 1) = -(a + m)(a + b + m) y / ((a + 2m)(a + 2m + 1)),
//   d(2m)     = m (b - m) y / ((a + 2m - 1)(a + 2m)),
// which converges fast below y = (a + 1) / (a + b + 2); above it, I_y(a, b) = 1 - I_(1-y)(b, a).
// For whole b the fraction ends: d(2b) = 0. The binomial coefficient comes from log-factorials
// in double-double arithmetic (products below 50, Stirling's series beyond), the powers from
// double-double logarithms, so the logarithm of the result keeps about 2^-100 of absolute
// accuracy even where its parts are large numbers that cancel.

#include "probability/incomplete_beta.hpp"

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "probability/elementary.hpp"

namespace oskev::probability {

namespace {

using elementary::Wide;

// ln sqrt(2 pi) to twice the working precision.
constexpr Wide kLnSqrt2Pi{0x1.d67f1c864beb5p-1, -0x1.65b5a1b7ff5dfp-55};
constexpr Wide kOne{1.0, 0.0};

Wide plus(Wide a, Wide b) { return elementary::add(a, b); }
Wide minus(Wide a, Wide b) { return elementary::add(a, elementary::negate(b)); }

// ln(hi + lo) for a positive double-double: ln hi + ln(1 + lo / hi), the second to first order
// (|lo / hi| <= 2^-53, so the neglected term is below 2^-107).
Wide log_of(Wide x) { return plus(elementary::log_wide(x.hi), Wide{x.lo / x.hi, 0.0}); }

// Stirling's series for ln n! - ((n + 1/2) ln n - n + ln sqrt(2 pi)): the sum of
// B_2k / (2k (2k - 1) n^(2k - 1)) for k = 1 ... 12, whose first omitted term lies below 1e-37
// from n = 50 on.
constexpr std::array<Wide, 12> kStirling = [] {
  constexpr double numerator[] = {1.0, -1.0,    1.0,     -1.0,      1.0,     -691.0,
                                  1.0, -3617.0, 43867.0, -174611.0, 77683.0, -236364091.0};
  constexpr double denominator[] = {12.0,  360.0,    1260.0,   1680.0,   1188.0, 360360.0,
                                    156.0, 122400.0, 244188.0, 125400.0, 5796.0, 1506960.0};
  std::array<Wide, 12> c{};
  for (std::size_t k = 0; k < c.size(); ++k) c[k] = elementary::divide(Wide{numerator[k], 0.0}, Wide{denominator[k], 0.0});
  return c;
}();

Wide stirling_series(double n) {
  const Wide r = elementary::divide(kOne, Wide{n, 0.0});
  const Wide r2 = elementary::multiply(r, r);
  Wide sum{0.0, 0.0};
  for (std::size_t k = kStirling.size(); k-- > 0;) sum = plus(kStirling[k], elementary::multiply(r2, sum));
  return elementary::multiply(sum, r);
}

// ln n! for a whole n >= 0.
Wide log_factorial(double n) {
  if (n < 50.0) {
    Wide f = kOne;
    for (double i = 2.0; i <= n; i += 1.0) f = elementary::multiply(f, i);
    return log_of(f);
  }
  const Wide main = plus(elementary::multiply(elementary::log_wide(n), n + 0.5), Wide{-n, 0.0});
  return plus(plus(main, kLnSqrt2Pi), stirling_series(n));
}

Wide log_choose(double n, double k) {
  return minus(minus(log_factorial(n), log_factorial(k)), log_factorial(n - k));
}

// a / b to about 2^-104 relative: two quotient digits, enough for each level of a fraction.
Wide quotient(Wide a, Wide b) {
  const double q1 = a.hi / b.hi;
  const Wide r = plus(a, elementary::negate(elementary::multiply(b, q1)));
  return elementary::quick_two_sum(q1, r.hi / b.hi);
}

// The continued fraction h of I_y(a, b), for y below (a + 1) / (a + b + 2). The modified Lentz
// method, in double, finds the depth at which a further pair of levels changes the double
// result by no more than its last place; as the fraction converges about geometrically, twice that depth leaves a
// truncation error of about the square of the last step. The fraction is then evaluated from
// the bottom up in twice the working precision. A whole b ends it at level 2b - 1.
Wide beta_fraction(double a, double b, Wide y) {
  constexpr double tiny = 1e-300;
  const double x = y.hi;
  const auto guard = [](double v) { return std::fabs(v) < tiny ? tiny : v; };
  const double last = 2.0 * b - 1.0;
  double c = 1.0;
  double d = 1.0 / guard(1.0 - (a + b) * x / (a + 1.0));
  double depth = last;
  for (double m = 1.0; m < b; m += 1.0) {
    const double even = m * (b - m) * x / ((a + 2.0 * m - 1.0) * (a + 2.0 * m));
    d = 1.0 / guard(1.0 + even * d);
    c = guard(1.0 + even / c);
    const double first = d * c;
    const double odd = -(a + m) * (a + b + m) * x / ((a + 2.0 * m) * (a + 2.0 * m + 1.0));
    d = 1.0 / guard(1.0 + odd * d);
    c = guard(1.0 + odd / c);
    if (std::fabs(first - 1.0) <= 0x1p-52 && std::fabs(d * c - 1.0) <= 0x1p-52) {
      depth = std::fmin(2.0 * (2.0 * m + 1.0), last);
      break;
    }
  }
  Wide t{0.0, 0.0};
  for (auto j = static_cast<std::int64_t>(depth); j >= 1; --j) {
    const double m = static_cast<double>(j / 2);
    Wide numerator, denominator;
    if (j % 2 == 0) {
      numerator = elementary::two_product(m, b - m);
      denominator = elementary::two_product(a + 2.0 * m - 1.0, a + 2.0 * m);
    } else {
      numerator = elementary::negate(elementary::two_product(a + m, a + b + m));
      denominator = elementary::two_product(a + 2.0 * m, a + 2.0 * m + 1.0);
    }
    t = quotient(elementary::multiply(numerator, y), elementary::multiply(denominator, plus(kOne, t)));
  }
  return elementary::divide(kOne, plus(kOne, t));
}

}  // namespace

IncompleteBeta::IncompleteBeta(double a, double b)
    : a_(a), b_(b), log_choose_a_(log_choose(a + b - 1.0, a)), log_choose_b_(log_choose(a + b - 1.0, b)) {}

IncompleteBeta::Value IncompleteBeta::at(Wide y, Wide one_minus_y) const {
  const Wide log_y = log_of(y);
  const Wide log_rest = log_of(one_minus_y);
  const Wide powers = plus(elementary::multiply(log_y, a_), elementary::multiply(log_rest, b_));
  // The density is y^a (1 - y)^b / (a B(a, b)) times a / (y (1 - y)), and the same with b for b:
  // the front of either fraction times its first parameter over y (1 - y).
  const double y_times_rest = y.hi * one_minus_y.hi;
  if (y.hi < (a_ + 1.0) / (a_ + b_ + 2.0)) {
    const Wide h = beta_fraction(a_, b_, y);
    const Wide log_value = plus(plus(log_choose_a_, powers), log_of(h));
    return {log_value, a_ / (y_times_rest * h.hi)};
  }
  const Wide h = beta_fraction(b_, a_, one_minus_y);
  const Wide complement = elementary::exp_wide(plus(plus(log_choose_b_, powers), log_of(h)));
  const Wide value = minus(kOne, complement);
  return {log_of(value), complement.hi / h.hi * b_ / (y_times_rest * value.hi)};
}

}  // namespace oskev::probability
