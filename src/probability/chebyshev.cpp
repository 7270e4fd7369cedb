#include "probability/chebyshev.hpp"

#include <cmath>
#include <stdexcept>

#include "probability/machine.hpp"

namespace oskev::probability {

double DCSEVL(double x, std::span<const double> cs, std::int32_t n, errors::ErrorService& errors) {
  errors.E1PSH("DCSEVL");
  double result = DMACH(6, errors);
  if (n < 1) {
    errors.E1VALI(1, n);
    errors.E1MES(errors::kTerminal, 5, "The number of terms in the series is not positive. N = %(I1).");
  } else if (n > 1000) {
    errors.E1VALI(1, n);
    errors.E1MES(errors::kTerminal, 6,
                 "The number of terms in the series is greater than 1000. N = %(I1).");
  } else {
    if (static_cast<std::size_t>(n) > cs.size()) {
      errors.E1POP("DCSEVL");
      throw std::out_of_range("DCSEVL: more terms requested than the series holds");
    }
    // Outside [-1, 1] the recurrence still runs but the series no longer represents the
    // function; a little slack covers arguments rounded just past the ends.
    if (x < -1.1 || x > 1.1) {
      errors.E1VALD(1, x);
      errors.E1MES(errors::kWarning, 7, "The argument X = %(D1) is outside the interval (-1.1,+1.1).");
    }
    const double twox = 2.0 * x;
    double b0 = 0.0;
    double b1 = 0.0;
    double b2 = 0.0;
    for (std::int32_t i = n; i >= 1; --i) {
      b2 = b1;
      b1 = b0;
      b0 = twox * b1 - b2 + cs[static_cast<std::size_t>(i - 1)];
    }
    result = 0.5 * (b0 - b2);
  }
  errors.E1POP("DCSEVL");
  return result;
}

std::int32_t INITDS(std::span<const double> os, std::int32_t nos, float eta,
                    errors::ErrorService& errors) {
  errors.E1PSH("INITDS");
  std::int32_t result = 0;
  if (nos < 1) {
    errors.E1VALI(1, nos);
    errors.E1MES(errors::kTerminal, 5, "The number of coefficients is less than 1. NOS = %(I1).");
  } else {
    if (static_cast<std::size_t>(nos) > os.size()) {
      errors.E1POP("INITDS");
      throw std::out_of_range("INITDS: more coefficients named than the series holds");
    }
    // The bound is judged in single precision: the tail only has to be below ETA, and a
    // single-precision sum of magnitudes is ample for that.
    float err = 0.0F;
    std::int32_t i = nos;
    for (; i >= 1; --i) {
      err += std::fabs(static_cast<float>(os[static_cast<std::size_t>(i - 1)]));
      if (err > eta) break;
    }
    result = i >= 1 ? i : 1;
    if (result == nos) {
      errors.E1MES(errors::kTerminal, 6, "Too much accuracy may be requested. ETA should be increased.");
      result = 0;
    }
  }
  errors.E1POP("INITDS");
  return result;
}

}  // namespace oskev::probability
