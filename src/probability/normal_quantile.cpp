// Acklam's rational approximation (relative error below 1.2e-9) as the start, then Newton
// steps on the normal distribution function written as an incomplete gamma function,
// P(Z <= -t) = Q(1/2, t^2/2) / 2 for t >= 0, which is accurate to the last places in both
// tails. Near the middle the steps go on Phi(z) - 1/2 = sign(z) P(1/2, z^2/2) / 2, so that the
// small quantiles of p near 1/2 keep their relative accuracy; in the tails they go on
// ln Phi(z), which stays finite where Phi(z) itself is subnormal.

#include "probability/normal_quantile.hpp"

#include <cmath>
#include <limits>

#include "probability/elementary.hpp"
#include "probability/incomplete_gamma.hpp"

namespace oskev::probability {

namespace {

constexpr double kLnSqrt2Pi = 0.9189385332046728;
constexpr double kLnHalf = -0.6931471805599453;
constexpr double kAcklamLow = 0.02425;

double acklam(double p) {
  static constexpr double a[] = {-3.969683028665376e+01, 2.209460984245205e+02, -2.759285104469687e+02,
                                 1.383577518672690e+02,  -3.066479806614716e+01, 2.506628277459239e+00};
  static constexpr double b[] = {-5.447609879822406e+01, 1.615858368580409e+02, -1.556989798598866e+02,
                                 6.680131188771972e+01,  -1.328068155288572e+01};
  static constexpr double c[] = {-7.784894002430293e-03, -3.223964580411365e-01, -2.400758277161838e+00,
                                 -2.549732539343734e+00, 4.374664141464968e+00,  2.938163982698783e+00};
  static constexpr double d[] = {7.784695709041462e-03, 3.224671290700398e-01, 2.445134137142996e+00,
                                 3.754408661907416e+00};
  if (p < kAcklamLow) {
    const double q = std::sqrt(-2.0 * elementary::log(p));
    return (((((c[0] * q + c[1]) * q + c[2]) * q + c[3]) * q + c[4]) * q + c[5]) /
           ((((d[0] * q + d[1]) * q + d[2]) * q + d[3]) * q + 1.0);
  }
  const double q = p - 0.5;
  const double r = q * q;
  return (((((a[0] * r + a[1]) * r + a[2]) * r + a[3]) * r + a[4]) * r + a[5]) * q /
         (((((b[0] * r + b[1]) * r + b[2]) * r + b[3]) * r + b[4]) * r + 1.0);
}

// z^2 / 2 to twice the working precision (the halving is exact).
elementary::Wide half_square(double z) {
  const elementary::Wide z2 = elementary::two_product(z, z);
  return {z2.hi / 2.0, z2.lo / 2.0};
}

// phi(z) = e^(-z^2/2) / sqrt(2 pi).
double normal_density(elementary::Wide half_z2) {
  return elementary::exp(elementary::add(elementary::negate(half_z2), elementary::Wide{-kLnSqrt2Pi, 0.0}));
}

// The quantile for 1/4 <= p <= 3/4, from r = p - 1/2 (exact there): Newton on
// sign(z) P(1/2, z^2/2) / 2 - r, the part of z^2/2 beyond a double taken to first order.
double middle(double r) {
  double z = acklam(r + 0.5);
  for (int step = 0; step < 2 && z != 0.0; ++step) {
    const elementary::Wide x = half_square(z);
    const double lower = gamma_ratios(0.5, x.hi).lower + x.lo * gamma_density(0.5, x.hi);
    z -= (std::copysign(lower / 2.0, z) - r) / normal_density(x);
  }
  return z;
}

// The quantile for 0 < p < 1/4 (negative): Newton on Q(1/2, z^2/2) / 2 - p, or, where p is
// so small that Phi and phi lose digits among the subnormals, on ln Phi(z) - ln p, whose
// derivative is phi(z) / Phi(z).
double lower_tail(double p) {
  constexpr double kTinyP = 1e-300;
  const double ln_p = elementary::log(p);
  double z = acklam(p);
  for (int step = 0; step < 2; ++step) {
    const elementary::Wide x = half_square(z);
    if (p >= kTinyP) {
      const double upper = gamma_ratios(0.5, x.hi).upper - x.lo * gamma_density(0.5, x.hi);
      z -= (upper / 2.0 - p) / normal_density(x);
    } else {
      // Far out the density over the tail of the gamma distribution is 1 + 1/(2x) + ...
      const double ln_upper = log_gamma_upper(0.5, x.hi) - x.lo * (1.0 + 0.5 / x.hi);
      const double ln_phi = kLnHalf + ln_upper;
      const double mills = elementary::exp(ln_phi + x.hi + kLnSqrt2Pi);
      z -= (ln_phi - ln_p) * mills;
    }
  }
  return z;
}

}  // namespace

double normal_quantile(double p) {
  if (!(p > 0.0 && p < 1.0)) return std::numeric_limits<double>::quiet_NaN();
  if (p < 0.25) return lower_tail(p);
  if (p > 0.75) return -lower_tail(1.0 - p);  // 1 - p is exact
  return middle(p - 0.5);
}

}  // namespace oskev::probability
