#include "probability/chi_squared.hpp"

#include <algorithm>
#include <cmath>

#include "probability/elementary.hpp"
#include "probability/machine.hpp"

namespace oskev::probability {

namespace {

// P(a, x) by its power series; converges quickly below the switch point.
double lower_series(double a, double x, double gamma_a, double eps) {
  double term = 1.0 / (gamma_a * a);
  double sum = term;
  for (int k = 1; k <= 50; ++k) {
    term = term * x / (a + k);
    if (term <= eps * sum) break;
    sum += term;
  }
  return elementary::exp(a * elementary::log(x) - x) * sum;
}

// 1 - Q(a, x) by the asymptotic expansion of the upper tail; the terms are summed while
// they are positive and above the tolerance, which ends the finite series exactly for
// integer a.
double upper_expansion(double a, double x, double gamma_a, double eps) {
  const double r = 1.0 / x;
  double b = a - 1.0;
  double term = b * r;
  double sum = 1.0 + term;
  for (int k = 1; k <= 49; ++k) {
    b -= 1.0;
    term = term * b * r;
    if (term <= eps * sum) break;
    sum += term;
  }
  return 1.0 - elementary::exp(a * elementary::log(x) - x) * sum * r / gamma_a;
}

}  // namespace

double DCHIDF(double chsq, double df, SpecialFunctions& sf) {
  errors::ErrorService& errors = sf.errors();
  errors.E1PSH("dCHIDF");
  const double eps = 10.0 * DMACH(4, errors);
  double result = DMACH(6, errors);

  if (chsq < 0.0) {
    errors.E1VALD(1, chsq);
    errors.E1MES(errors::kNote, 1,
                 "Since CHSQ = %(d1) is less than zero, the distribution function is zero at CHSQ.");
    result = 0.0;
  } else if (!(df >= 0.5)) {
    // Written so that a not-a-number DF is refused too instead of reaching a 0 or 1 below.
    errors.E1VALD(1, df);
    errors.E1MES(errors::kTerminal, 2,
                 "The number of degrees of freedom of the distribution, DF = %(d1), must be at "
                 "least equal to 0.5.");
  } else if (chsq <= 1e-12) {
    result = 0.0;
  } else if (df > 65.0) {
    // Wilson-Hilferty: (CHSQ/DF)^(1/3) is close to normal with mean 1 - 2/(9 DF) and
    // variance 2/(9 DF).
    if (chsq < 2.0) {
      result = 0.0;
    } else {
      const double v = 0.2222222222222222 / df;
      const double z = (elementary::pow(chsq / df, 1.0 / 3.0) - (1.0 - v)) / std::sqrt(v);
      if (z > 5.0) {
        result = 1.0;
      } else if (z < -18.8055) {
        errors.E1MES(errors::kAlert, 3,
                     "The normal distribution is used for large degrees of freedom.  However, it "
                     "has produced underflow.  Therefore, the probability is set to 0.");
        result = 0.0;
      } else {
        result = sf.DNORDF(z);
      }
    }
  } else if (chsq > 200.0) {
    result = 1.0;
  } else {
    // Regularised incomplete gamma function P(DF/2, CHSQ/2).
    const double a = df / 2.0;
    const double x = chsq / 2.0;
    const double g = sf.DGAMMA(a);
    if (std::max(a / 2.0, 13.0) <= x) {
      result = upper_expansion(a, x, g, eps);
    } else if (df > 25.0 && chsq < 2.0) {
      result = 0.0;
    } else {
      result = lower_series(a, x, g, eps);
    }
  }
  errors.E1POP("dCHIDF");
  return result;
}

}  // namespace oskev::probability
