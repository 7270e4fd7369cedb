// The chi-squared distribution with df degrees of freedom is the gamma distribution of shape
// df/2 and scale 2: its tails are the regularised incomplete gamma functions at q/2.

#include "probability/chi_squared_tails.hpp"

#include <cmath>
#include <limits>

#include "probability/elementary.hpp"
#include "probability/incomplete_gamma.hpp"

namespace oskev::probability {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
// ln 2 to twice the working precision.
constexpr elementary::Wide kLn2{0x1.62e42fefa39efp-1, 0x1.abc9e3b39803fp-56};
// Below this, q/2 may be rounded (q is subnormal); there e^(-q/2) and the series' later terms
// are 1 to double precision.
constexpr double kTinyQ = 0x1p-1021;

bool valid_df(double df) { return df > 0.0 && std::isfinite(df); }

// e^(c ln(q/2) - ln Gamma(g) - halvings ln 2) for a subnormal q, with q/2 kept exact inside
// the logarithm.
double tiny_power(double q, double c, double g, double halvings) {
  if (c > 2.0) return 0.0;  // below 2^-2042 / Gamma(g), g > 2
  const elementary::Wide ln_half_q = elementary::add(elementary::log_wide(q), elementary::negate(kLn2));
  elementary::Wide e = elementary::multiply(ln_half_q, c);
  e = elementary::add(e, elementary::negate(elementary::multiply(kLn2, halvings)));
  return elementary::exp(elementary::add(e, elementary::Wide{-log_gamma(g), 0.0}));
}

// P(X <= q) for a subnormal q: (q/2)^a / Gamma(a + 1).
double tiny_lower(double q, double a) { return tiny_power(q, a, a + 1.0, 0.0); }

}  // namespace

double chi_squared_upper(double q, double df) {
  if (std::isnan(q) || !valid_df(df)) return kNaN;
  if (q < kTinyQ) return q <= 0.0 ? 1.0 : 1.0 - tiny_lower(q, df / 2.0);
  return gamma_ratios(df / 2.0, q / 2.0).upper;
}

double chi_squared_lower(double q, double df) {
  if (std::isnan(q) || !valid_df(df)) return kNaN;
  if (q < kTinyQ) return q <= 0.0 ? 0.0 : tiny_lower(q, df / 2.0);
  return gamma_ratios(df / 2.0, q / 2.0).lower;
}

double chi_squared_density(double x, double df) {
  if (std::isnan(x) || !valid_df(df)) return kNaN;
  if (x < 0.0 || std::isinf(x)) return 0.0;
  if (x == 0.0) return df < 2.0 ? kInf : df == 2.0 ? 0.5 : 0.0;
  const double a = df / 2.0;
  // (x/2)^(a-1) e^(-x/2) / (2 Gamma(a)).
  if (x < kTinyQ) return tiny_power(x, a - 1.0, a, 1.0);
  return gamma_density(a, x / 2.0) / 2.0;
}

}  // namespace oskev::probability
