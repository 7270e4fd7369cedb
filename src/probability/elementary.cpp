// Correctly rounded exp, log and pow in double-double arithmetic (a value as the unevaluated
// sum hi + lo of two doubles, |lo| at most half an ulp of hi), after Dekker and Knuth. Every
// operation is a plain double operation: no fused multiply-add (the build forbids the
// compiler to form them), no extended precision.

#include "probability/elementary.hpp"

#include <array>
#include <cmath>
#include <limits>

#include "probability/double_double.hpp"

namespace oskev::probability::elementary {

namespace {

// ln 2 in three parts: the first has 42 bits, so that k·kLn2First is exact for any
// exponent k of a double; the three together hold ln 2 to about 2^-155.
constexpr double kLn2First = 0x1.62e42fefa3800p-1;
constexpr double kLn2Second = 0x1.ef35793c76730p-45;
constexpr double kLn2Third = 0x1.f97b57a079a19p-103;
// ln 2 as a double-double, and its reciprocal rounded (only to choose k).
constexpr Wide kLn2{0x1.62e42fefa39efp-1, 0x1.abc9e3b39803fp-56};
constexpr double kInverseLn2 = 0x1.71547652b82fep+0;

// The largest argument of a finite exponential, and the bound below which it rounds to 0
// (exp(x) <= 2^-1075 for x <= -1075 ln 2).
constexpr double kExpOverflow = 0x1.62e42fefa39efp+9;
constexpr double kExpUnderflow = -0x1.74910d52d3052p+9;
// Within these arguments both parts of e^x as a double-double are normal numbers.
constexpr double kWideLow = -600.0;
constexpr double kWideHigh = 700.0;

// 2^k·v rounded once, for v = hi + lo with hi the rounded value of v. Scaling a double is
// exact while the result stays normal; in the subnormal range hi is rounded a second time,
// which can go the wrong way only when hi lies exactly halfway between two subnormals: then
// the sign of lo decides.
double scale(Wide v, int k) {
  const double result = std::ldexp(v.hi, k);
  if (std::fabs(result) >= std::numeric_limits<double>::min() || v.lo == 0.0) return result;
  const double back = std::ldexp(result, -k);
  const double off = v.hi - back;  // exact: both lie within one subnormal step of each other
  const double half = std::ldexp(std::numeric_limits<double>::denorm_min(), -k - 1);
  if (std::fabs(off) != half) return result;
  const double step = std::copysign(std::numeric_limits<double>::denorm_min(), off);
  return (off > 0.0) == (v.lo > 0.0) ? result + step : result;
}

// e^r - 1 for |r| <= 0.35 by its Taylor series, e^r - 1 = r(1 + r/2 (1 + r/3 (1 + ...))):
// 27 terms bring the remainder below 2^-110 of the sum.
Wide expm1_reduced(Wide r) {
  Wide p{1.0, 0.0};
  for (int k = 27; k >= 2; --k) {
    p = add(Wide{1.0, 0.0}, divide(multiply(p, r), Wide{static_cast<double>(k), 0.0}));
  }
  return multiply(p, r);
}

// e^(x.hi + x.lo) for an argument within the range of finite, nonzero results: with
// x = k ln 2 + r, e^x = 2^k e^r.
// e^x = 2^k y: y to twice the working precision, and k.
struct Reduced {
  Wide y;
  int k;
};

Reduced exp_reduced(Wide x) {
  const double k = std::nearbyint(x.hi * kInverseLn2);
  Wide r = two_sum(x.hi, -k * kLn2First);  // exact: k·kLn2First is a double
  r = add(r, negate(two_product(k, kLn2Second)));
  r = add(r, Wide{-k * kLn2Third, 0.0});
  r = add(r, Wide{x.lo, 0.0});
  return {add(Wide{1.0, 0.0}, expm1_reduced(r)), static_cast<int>(k)};
}

double exp_in_range(Wide x) {
  const Reduced e = exp_reduced(x);
  return scale(e.y, e.k);
}

}  // namespace

// 1 / (2j + 1) for j = 0 ... 23, the coefficients of the series of atanh, to twice the working
// precision.
constexpr std::array<Wide, 24> kOddReciprocals = [] {
  std::array<Wide, 24> table{};
  for (int j = 0; j < 24; ++j) table[j] = divide(Wide{1.0, 0.0}, Wide{2.0 * j + 1.0, 0.0});
  return table;
}();

// x = 2^e m with m in [sqrt(1/2), sqrt(2)), and
// ln m = 2 atanh(s) = 2 (s + s^3/3 + s^5/5 + ...) with s = (m - 1)/(m + 1), |s| <= 0.1716;
// 24 terms bring the remainder below 2^-110 of the sum.
Wide log_wide(double x) {
  int e = 0;
  if (x < std::numeric_limits<double>::min()) {
    x *= 0x1p54;
    e = -54;
  }
  int exponent = 0;
  double m = std::frexp(x, &exponent);
  if (m < 0x1.6a09e667f3bcdp-1) {  // sqrt(1/2)
    m *= 2.0;
    --exponent;
  }
  e += exponent;
  const Wide s = divide(Wide{m - 1.0, 0.0}, two_sum(m, 1.0));  // m - 1 is exact
  const Wide s2 = multiply(s, s);
  Wide p{1.0 / 49.0, 0.0};
  for (int j = 23; j >= 0; --j) p = add(kOddReciprocals[j], multiply(s2, p));
  const Wide ln_m = multiply(multiply(s, p), 2.0);
  return add(multiply(kLn2, static_cast<double>(e)), ln_m);
}

double exp(double x) {
  if (std::isnan(x)) return x;
  if (x > kExpOverflow) return std::numeric_limits<double>::infinity();
  if (x <= kExpUnderflow) return 0.0;
  return exp_in_range(Wide{x, 0.0});
}

double exp(Wide x) {
  if (std::isnan(x.hi)) return x.hi;
  // Near the ends of the range the rounded sum decides.
  if (x.hi > kExpOverflow + 1.0) return std::numeric_limits<double>::infinity();
  if (x.hi < kExpUnderflow - 1.0) return 0.0;
  if (x.hi > kExpOverflow || x.hi <= kExpUnderflow) {
    const double near = x.hi + x.lo;
    if (near > kExpOverflow) return std::numeric_limits<double>::infinity();
    if (near <= kExpUnderflow) return 0.0;
  }
  return exp_in_range(x);
}

double log(double x) {
  if (std::isnan(x) || x == std::numeric_limits<double>::infinity()) return x;
  if (x == 0.0) return -std::numeric_limits<double>::infinity();
  if (x < 0.0) return std::numeric_limits<double>::quiet_NaN();
  return log_wide(x).hi;
}

double pow(double x, double y) {
  // Zeros, infinities, not-a-number, a negative base with a fractional exponent and the
  // exactly known x^0 = 1^y = 1: the C standard fixes these results exactly, and every C
  // library gives them.
  if (!std::isfinite(x) || !std::isfinite(y) || x == 0.0 || y == 0.0 || x == 1.0 ||
      (x < 0.0 && y != std::trunc(y))) {
    return std::pow(x, y);
  }
  double sign = 1.0;
  if (x < 0.0) {
    // y is integral here; it is odd when y/2 is not.
    if (std::fabs(y) < 0x1p53 && std::trunc(y / 2.0) != y / 2.0) sign = -1.0;
    x = -x;
  }
  return sign * exp(multiply(log_wide(x), y));
}

Wide exp_wide(Wide x) {
  if (!(x.hi > kWideLow && x.hi < kWideHigh)) return {exp(x), 0.0};
  const Reduced e = exp_reduced(x);
  return {std::ldexp(e.y.hi, e.k), std::ldexp(e.y.lo, e.k)};
}

}  // namespace oskev::probability::elementary
