// Complementary error function and the standard normal distribution function built on it.

#include <cmath>

#include "probability/chebyshev.hpp"
#include "probability/elementary.hpp"
#include "probability/machine.hpp"
#include "probability/special_functions.hpp"

namespace oskev::probability {

namespace {

constexpr double kSqrtPi = 1.772453850905516;
constexpr double kRHalf = 0.7071067811865476;  // 1/sqrt(2)

}  // namespace

const ErfcSetup& SpecialFunctions::ready_erfc() {
  if (!erfc_) {
    const auto eta = static_cast<float>(0.1 * static_cast<float>(DMACH(3, errors_)));
    ErfcSetup s{};
    s.erf_terms = INITDS(chebyshev::kErfSeries, 21, eta, errors_);
    s.erfc_near_terms = INITDS(chebyshev::kErfcNearSeries, 49, eta, errors_);
    s.erfc_far_terms = INITDS(chebyshev::kErfcFarSeries, 59, eta, errors_);
    // erfc(-x) = 2 - erfc(x) rounds to 2 once erfc(x) < rounding unit; for large x,
    // erfc(x) ~ exp(-x^2)/(x sqrt(pi)) falls below the smallest normal number.
    s.erflow = -std::sqrt(-elementary::log(kSqrtPi * DMACH(3, errors_)));
    const double x0 = std::sqrt(-elementary::log(kSqrtPi * DMACH(1, errors_)));
    s.erfhigh = x0 - 0.5 * elementary::log(x0) / x0 - 0.01;
    s.smallx = std::sqrt(2.0 * DMACH(3, errors_));
    erfc_ = s;
  }
  return *erfc_;
}

double SpecialFunctions::DERFC(double x) {
  errors_.E1PSH("DERFC");
  const ErfcSetup& s = ready_erfc();
  double result = DMACH(6, errors_);
  if (x <= s.erflow) {
    result = 2.0;
  } else if (x > s.erfhigh) {
    errors_.E1VALD(1, x);
    errors_.E1VALD(2, s.erfhigh);
    errors_.E1MES(errors::kAlert, 1,
                  "The function underflows because X = %(D1) is greater than %(D2). The result is "
                  "set to zero.");
    result = 0.0;
  } else {
    const double y = std::fabs(x);
    if (y <= 1.0) {
      // 1 - erf(x); below SMALLX the cubic term of erf is lost in rounding.
      if (y < s.smallx) {
        result = 1.0 - 2.0 * x / kSqrtPi;
      } else {
        result = 1.0 - x * (1.0 + DCSEVL(2.0 * x * x - 1.0, chebyshev::kErfSeries, s.erf_terms, errors_));
      }
    } else {
      // erfc(|x|) = exp(-x^2)/|x| (0.5 + series); the reflection gives negative x.
      const double y2 = y * y;
      if (y2 <= 4.0) {
        result = elementary::exp(-y2) / y *
                 (0.5 + DCSEVL((8.0 / y2 - 5.0) / 3.0, chebyshev::kErfcNearSeries,
                               s.erfc_near_terms, errors_));
      } else {
        result = elementary::exp(-y2) / y *
                 (0.5 + DCSEVL(8.0 / y2 - 1.0, chebyshev::kErfcFarSeries, s.erfc_far_terms, errors_));
      }
      if (x < 0.0) result = 2.0 - result;
    }
  }
  errors_.E1POP("DERFC");
  return result;
}

double SpecialFunctions::DNORDF(double x) {
  errors_.E1PSH("DNORDF");
  const double result = 0.5 * DERFC(-kRHalf * x);
  // An underflowing tail is a valid probability of 0, not an error of the normal
  // distribution: clear the ALERT passed up from DERFC together with its pending text.
  if (errors_.N1RTY(0) == errors::kAlert) errors_.E1MES(errors::kNoError, 0, " ");
  errors_.E1POP("DNORDF");
  return result;
}

}  // namespace oskev::probability
