#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "errors/error_service.hpp"

namespace oskev::probability {

// Chebyshev expansions on t in [-1, 1] behind the gamma and error functions.
namespace chebyshev {
extern const std::array<double, 42> kGammaSeries;
extern const std::array<double, 21> kErfSeries;
extern const std::array<double, 49> kErfcNearSeries;
extern const std::array<double, 59> kErfcFarSeries;
extern const std::array<double, 15> kLogGammaCorrectionSeries;
}  // namespace chebyshev

// Sum of the first N terms of the Chebyshev series CS at X, the first coefficient counted
// half (Clenshaw recurrence). N outside 1 to 1000 is a TERMINAL error (result not-a-number);
// |X| > 1.1 is a WARNING and the sum is still formed.
// N must not exceed cs.size(): a longer count is a caller's fault (std::out_of_range).
double DCSEVL(double x, std::span<const double> cs, std::int32_t n, errors::ErrorService& errors);

// Number of leading terms of the series OS (NOS coefficients) needed so that the neglected
// ones, taken in single precision, sum in magnitude to at most ETA. NOS < 1, or a series
// too short for ETA, is a TERMINAL error (result 0).
// NOS must not exceed os.size() (std::out_of_range otherwise).
std::int32_t INITDS(std::span<const double> os, std::int32_t nos, float eta,
                    errors::ErrorService& errors);

}  // namespace oskev::probability
