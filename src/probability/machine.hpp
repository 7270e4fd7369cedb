#pragma once

#include <cstdint>
#include <limits>

#include "errors/error_service.hpp"

namespace oskev::probability {

// Floating-point machine constants of IEEE single and double precision, entries 1 to 8:
// smallest normalised, largest finite, smallest and largest relative spacing, log10 of the
// base, quiet not-a-number, +infinity, -infinity. Integer constants, entries 1 to 12.
// A bad index is a TERMINAL error that stops the run.
double DMACH(std::int32_t n, errors::ErrorService& errors);
float AMACH(std::int32_t n, errors::ErrorService& errors);
std::int32_t IMACH(std::int32_t n, errors::ErrorService& errors);

// The entries other routines use, for code that cannot fail.
namespace machine {
inline constexpr double kDoubleTiny = std::numeric_limits<double>::min();      // DMACH (1)
inline constexpr double kDoubleHuge = std::numeric_limits<double>::max();      // DMACH (2)
inline constexpr double kDoubleSpacingMin = 0x1p-53;                           // DMACH (3)
inline constexpr double kDoubleSpacingMax = 0x1p-52;                           // DMACH (4)
inline constexpr double kDoubleNaN = std::numeric_limits<double>::quiet_NaN();  // DMACH (6)
inline constexpr float kSingleSpacingMin = 0x1p-24f;                           // AMACH (3)
inline constexpr float kSingleSpacingMax = 0x1p-23f;                           // AMACH (4)
}  // namespace machine

}  // namespace oskev::probability
