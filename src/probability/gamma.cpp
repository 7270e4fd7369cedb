// Gamma function and its helpers: the argument bounds (D9GAML) and the correction term of
// Stirling's formula (D9LGMC).

#include <algorithm>
#include <cmath>

#include "probability/chebyshev.hpp"
#include "probability/elementary.hpp"
#include "probability/machine.hpp"
#include "probability/special_functions.hpp"

namespace oskev::probability {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kLnSqrt2Pi = 0.9189385332046728;

// Close to a pole the recurrence or reflection cancels away more than half the digits.
bool near_negative_integer(double x, double halfprec) {
  return std::fabs((x - std::trunc(x - 0.5)) / x) < halfprec;
}

void warn_near_negative_integer(double x, errors::ErrorService& errors) {
  errors.E1VALD(1, x);
  errors.E1MES(errors::kWarning, 2,
               "The result is accurate to less than one half precision because X = %(D1) is too "
               "close to a negative integer.");
}

void refuse_negative_integer(double x, std::int32_t code, errors::ErrorService& errors) {
  errors.E1VALD(1, x);
  errors.E1MES(errors::kTerminal, code,
               "The argument for the function can not be a negative integer. Argument X = %(D1).");
}

}  // namespace

void D9GAML(double& xmin, double& xmax, errors::ErrorService& errors) {
  errors.E1PSH("D9GAML");
  xmin = DMACH(6, errors);
  xmax = DMACH(6, errors);

  // Newton steps on ln Gamma(-x) = ln(smallest normal), Stirling's formula with rounded
  // constants; the 0.005 stop and the 0.01 margin make the bound safe, not sharp.
  double l = elementary::log(DMACH(1, errors));
  double x = -l;
  bool converged = false;
  for (int i = 0; i < 10 && !converged; ++i) {
    const double xold = x;
    const double w = elementary::log(x);
    x = x - x * ((x + 0.5) * w - x - 0.2258 + l) / (x * w + 0.5);
    converged = std::fabs(x - xold) < 0.005;
  }
  if (!converged) {
    errors.E1MES(errors::kTerminal, 5, "Unable to determine the value of XMIN.");
    xmin = DMACH(6, errors);
    errors.E1POP("D9GAML");
    return;
  }
  xmin = -x + 0.01;

  // The same for ln Gamma(x) = ln(largest finite).
  l = elementary::log(DMACH(2, errors));
  x = l;
  converged = false;
  for (int i = 0; i < 10 && !converged; ++i) {
    const double xold = x;
    const double w = elementary::log(x);
    x = x - x * ((x - 0.5) * w - x + 0.9189 - l) / (x * w - 0.5);
    converged = std::fabs(x - xold) < 0.005;
  }
  if (!converged) {
    errors.E1MES(errors::kTerminal, 6, "Unable to determine the value of XMAX.");
    xmax = DMACH(6, errors);
    errors.E1POP("D9GAML");
    return;
  }
  xmax = x - 0.01;
  // Below 1 - XMAX the reflection formula would need Gamma beyond XMAX.
  xmin = std::max(xmin, 1.0 - xmax);
  errors.E1POP("D9GAML");
}

const GammaSetup& SpecialFunctions::ready_gamma() {
  if (!gamma_) {
    // Series accurate to a tenth of the rounding unit, judged in single precision.
    const auto eta = static_cast<float>(0.1 * static_cast<float>(DMACH(3, errors_)));
    GammaSetup s{};
    s.gterms = INITDS(chebyshev::kGammaSeries, 42, eta, errors_);
    D9GAML(s.xmin, s.xmax, errors_);
    s.halfprec = std::sqrt(DMACH(4, errors_));
    s.tinyx = elementary::exp(
        std::max(elementary::log(DMACH(1, errors_)), -elementary::log(DMACH(2, errors_))) + 0.01);
    gamma_ = s;
  }
  return *gamma_;
}

double SpecialFunctions::DGAMMA(double x) {
  errors_.E1PSH("DGAMMA");
  const GammaSetup& s = ready_gamma();
  double result = DMACH(6, errors_);
  const double y = std::fabs(x);

  if (y <= 10.0) {
    // Gamma(1 + f) from the series, with f the fractional part, then the recurrence up or
    // down to x.
    auto n = static_cast<std::int32_t>(x);
    if (x < 0.0) --n;
    const double f = x - n;
    --n;
    const double g = 0.9375 + DCSEVL(2.0 * f - 1.0, chebyshev::kGammaSeries, s.gterms, errors_);
    if (n == 0) {
      result = g;
    } else if (n > 0) {
      result = g;
      for (std::int32_t i = 1; i <= n; ++i) result *= f + i;
    } else {
      const std::int32_t m = -n;
      if (x == 0.0) {
        errors_.E1MES(errors::kTerminal, 5, "The argument for the function can not be zero.");
      } else if (y < s.tinyx) {
        // 1/x overflows on both sides of zero.
        errors_.E1VALD(1, x);
        errors_.E1MES(errors::kTerminal, 4,
                      "The function overflows because X = %(D1) is too close to zero.");
      } else if (x < 0.0 && x + m - 2.0 == 0.0) {
        refuse_negative_integer(x, 6, errors_);
      } else {
        if (x < -0.5 && near_negative_integer(x, s.halfprec)) warn_near_negative_integer(x, errors_);
        result = g;
        for (std::int32_t i = 0; i < m; ++i) result /= x + i;
      }
    }
  } else if (x > s.xmax) {
    errors_.E1VALD(1, x);
    errors_.E1VALD(2, s.xmax);
    errors_.E1MES(errors::kTerminal, 4,
                  "The function overflows because X = %(D1) is greater than %(D2).");
  } else if (x < s.xmin) {
    errors_.E1VALD(1, x);
    errors_.E1VALD(2, s.xmin);
    errors_.E1MES(errors::kAlert, 1,
                  "The function underflows because X = %(D1) is less than %(D2). The result is set "
                  "to zero.");
    result = 0.0;
  } else {
    // Stirling's formula with its correction term; negative x by the reflection formula.
    const double g = elementary::exp((y - 0.5) * elementary::log(y) - y + kLnSqrt2Pi + D9LGMC(y));
    if (x > 0.0) {
      result = g;
    } else {
      // sin(pi y) is never exactly 0 at an integer y, since pi is rounded: a pole has to be
      // recognised from x itself, or it would come out as a large finite value.
      const double sinpiy = x == std::trunc(x) ? 0.0 : std::sin(kPi * y);
      if (sinpiy == 0.0) {
        refuse_negative_integer(x, 7, errors_);
      } else {
        if (near_negative_integer(x, s.halfprec)) warn_near_negative_integer(x, errors_);
        result = -kPi / (y * sinpiy * g);
      }
    }
  }
  errors_.E1POP("DGAMMA");
  return result;
}

const LogGammaCorrectionSetup& SpecialFunctions::ready_log_gamma_correction() {
  if (!lgmc_) {
    LogGammaCorrectionSetup s{};
    s.lterms = INITDS(chebyshev::kLogGammaCorrectionSeries, 15,
                      static_cast<float>(DMACH(3, errors_)), errors_);
    s.bigx = 1.0 / std::sqrt(DMACH(3, errors_));
    s.lghigh = elementary::exp(std::min(elementary::log(DMACH(2, errors_) / 12.0),
                                        -elementary::log(12.0 * DMACH(1, errors_))));
    lgmc_ = s;
  }
  return *lgmc_;
}

double SpecialFunctions::D9LGMC(double x) {
  errors_.E1PSH("D9LGMC");
  const LogGammaCorrectionSetup& s = ready_log_gamma_correction();
  double result = DMACH(6, errors_);
  if (x < 10.0) {
    errors_.E1VALD(1, x);
    errors_.E1MES(errors::kTerminal, 5,
                  "The argument X = %(D1) must be greater than or equal to 10.0.");
  } else if (x >= s.lghigh) {
    errors_.E1VALD(1, x);
    errors_.E1VALD(2, s.lghigh);
    errors_.E1MES(errors::kAlert, 1,
                  "The function underflows because X = %(D1) is greater than %(D2). The result is "
                  "set to zero.");
    result = 0.0;
  } else if (x < s.bigx) {
    const double t = 10.0 / x;
    result = DCSEVL(2.0 * (t * t) - 1.0, chebyshev::kLogGammaCorrectionSeries, s.lterms, errors_) / x;
  } else {
    // Beyond BIGX the second term of the asymptotic series is below rounding.
    result = 1.0 / (12.0 * x);
  }
  errors_.E1POP("D9LGMC");
  return result;
}

}  // namespace oskev::probability
