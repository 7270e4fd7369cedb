#pragma once

// The generator's state as a plain value: x <- 16807·x mod (2^31 - 1), and the single-precision
// uniform on (0, 1) that a state stands for. Everything that draws works on one of these.

#include <cstdint>

namespace oskev::random {

struct Lehmer {
  static constexpr std::int32_t kModulus = 2147483647;  // 2^31 - 1, a prime
  static constexpr std::int32_t kMultiplier = 16807;
  // Schrage's decomposition of the modulus keeps every step within 32-bit signed range.
  static constexpr std::int32_t kQuotient = kModulus / kMultiplier;   // 127773
  static constexpr std::int32_t kRemainder = kModulus % kMultiplier;  // 2836
  // The factor from state to uniform, (1 - 2^-24)·2^-31 = 16777215·2^-55: the largest single-
  // precision value below 2^-31, so that the largest state maps below 1.0. Kept as its 24-bit
  // mantissa and its power of two for the exact product below.
  static constexpr std::int64_t kScaleMantissa = 16777215;
  static constexpr float kScalePower = 0x1p-55f;
  static constexpr float kScale = static_cast<float>(kScaleMantissa) * kScalePower;

  // The state of the last uniform drawn; 1 ... 2147483646 once seeded.
  std::int32_t state = 0;

  // One step of the recurrence for a state in 1 ... 2147483646.
  static constexpr std::int32_t next_state(std::int32_t x) noexcept {
    const std::int32_t hi = x / kQuotient;
    const std::int32_t lo = x % kQuotient;
    x = kMultiplier * lo - kRemainder * hi;
    if (x < 0) x += kModulus;
    return x;
  }

  // x·SCALE rounded once to single precision: x·mantissa (below 2^55) is an exact 64-bit
  // integer, its conversion to float is the one rounding, and the power of two is exact. A
  // double product would round twice.
  static constexpr float uniform(std::int32_t x) noexcept {
    return static_cast<float>(static_cast<std::int64_t>(x) * kScaleMantissa) * kScalePower;
  }

  // Steps the state and returns the new state's uniform.
  float next() noexcept {
    state = next_state(state);
    return uniform(state);
  }
};

}  // namespace oskev::random
