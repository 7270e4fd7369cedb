#pragma once

// The gamma function's logarithm and the regularised incomplete gamma functions, as plain
// functions of their arguments on the project's own elementary functions: the same bits on
// every platform, no error service, no state.

namespace oskev::probability {

// ln Gamma(a) for a > 0 (any finite a; +inf at a = 0 or +inf); not-a-number otherwise. Absolute
// error a few units of 1e-16 for a < 10 and of the last place of the result beyond.
double log_gamma(double a);

// P(a, x) = gamma(a, x) / Gamma(a) and Q(a, x) = Gamma(a, x) / Gamma(a) = 1 - P(a, x), for
// a > 0 and x >= 0. The smaller of the two is computed directly, to a relative error of a few
// units of 1e-16 wherever it lies (among the subnormals, to the step of their grid),
// and underflows to 0 only where it lies below the smallest subnormal; the other is 1 minus
// it, except for a <= 1/4 and x < 1/4, where both are computed directly.
struct GammaRatios {
  double lower;  // P(a, x)
  double upper;  // Q(a, x)
};
GammaRatios gamma_ratios(double a, double x);

// ln Q(a, x), finite wherever Q(a, x) > 0 even where Q itself underflows: for the far tails
// of distributions built on the incomplete gamma function.
double log_gamma_upper(double a, double x);

// The density of the gamma distribution of shape a and scale 1 at x > 0: x^(a-1) e^-x / Gamma(a),
// in logarithms throughout, so it overflows or underflows only where the result does.
double gamma_density(double a, double x);

}  // namespace oskev::probability
