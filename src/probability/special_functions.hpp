#pragma once

#include <cstdint>
#include <optional>

#include "errors/error_service.hpp"

namespace oskev::probability {

// Bounds of the gamma function's argument: below XMIN the result underflows, above XMAX it
// overflows. Found by Newton iteration on Stirling's formula; a failed iteration is a
// TERMINAL error and leaves the bound not-a-number.
void D9GAML(double& xmin, double& xmax, errors::ErrorService& errors);

// Values the gamma function fixes on its first call.
struct GammaSetup {
  std::int32_t gterms;  // terms of the gamma series used
  double xmin;          // underflow bound (D9GAML)
  double xmax;          // overflow bound (D9GAML)
  double halfprec;      // relative distance to a negative integer below which half the digits are lost
  double tinyx;         // smallest argument whose reciprocal does not overflow, with a margin
};

// Values the complementary error function fixes on its first call.
struct ErfcSetup {
  std::int32_t erf_terms;        // erf series, |x| <= 1
  std::int32_t erfc_near_terms;  // erfc series, 1 < |x| <= 2
  std::int32_t erfc_far_terms;   // erfc series, |x| > 2
  double erflow;                 // at or below: erfc is 2 to double precision
  double erfhigh;                // above: erfc underflows
  double smallx;                 // below in magnitude: erfc(x) = 1 - 2x/sqrt(pi) to double precision
};

// Values the log-gamma correction fixes on its first call.
struct LogGammaCorrectionSetup {
  std::int32_t lterms;  // terms of the correction series used
  double bigx;          // at or above: the series' first term 1/(12x) is the whole correction
  double lghigh;        // at or above: the correction underflows
};

// The double-precision special functions of one run, with the constants each fixes on its
// first call and keeps for the run. All report through the run's error service.
class SpecialFunctions {
 public:
  explicit SpecialFunctions(errors::ErrorService& errors) : errors_(errors) {}

  errors::ErrorService& errors() const noexcept { return errors_; }

  double DGAMMA(double x);  // gamma function
  double DERFC(double x);   // complementary error function
  double DNORDF(double x);  // standard normal distribution function
  double D9LGMC(double x);  // ln Gamma(x) - Stirling's approximation, x >= 10

  // Empty until the owning function's first call.
  const std::optional<GammaSetup>& gamma_setup() const noexcept { return gamma_; }
  const std::optional<ErfcSetup>& erfc_setup() const noexcept { return erfc_; }
  const std::optional<LogGammaCorrectionSetup>& log_gamma_correction_setup() const noexcept {
    return lgmc_;
  }

 private:
  const GammaSetup& ready_gamma();
  const ErfcSetup& ready_erfc();
  const LogGammaCorrectionSetup& ready_log_gamma_correction();

  errors::ErrorService& errors_;
  std::optional<GammaSetup> gamma_;
  std::optional<ErfcSetup> erfc_;
  std::optional<LogGammaCorrectionSetup> lgmc_;
};

}  // namespace oskev::probability
