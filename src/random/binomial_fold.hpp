#pragma once

// What every binomial draw starts from: P folded onto the smaller tail, the one rule that
// mirrors a count back, and the choice between the inversion and BTPE methods.

#include <cstdint>

#include "probability/machine.hpp"

namespace oskev::random {

// P folded onto the smaller tail: draws are made for pp <= 0.5 and mirrored (N - count) when
// the argument P was above one half; P = 0.5 itself is not mirrored.
struct BinomialFold {
  float pp = 0.0f;
  float qq = 0.0f;
  bool mirrored = false;
  float xnp = 0.0f;  // N·pp, with N in single precision
};

inline BinomialFold fold_binomial(std::int32_t n, float p) {
  BinomialFold fold;
  if (p > 0.5f) {
    fold.pp = static_cast<float>(1.0 - p);
    fold.qq = p;
    fold.mirrored = true;
  } else {
    fold.pp = p;
    fold.qq = static_cast<float>(1.0 - p);
  }
  fold.xnp = static_cast<float>(static_cast<double>(static_cast<float>(n)) * fold.pp);
  return fold;
}

// A count of pp-successes as the count of P-successes: the integer difference, exact for every
// N (the single-precision N of the inversion's own rule is not exact above 2^24).
inline std::int32_t unfold(bool mirrored, std::int32_t n, std::int32_t count) { return mirrored ? n - count : count; }

// Inversion is used when the mean of the smaller tail is at most 10 (its search is short), or
// when P is below 2^-23; BTPE otherwise.
inline bool binomial_uses_inversion(float p, const BinomialFold& fold) {
  return p < probability::machine::kSingleSpacingMax || fold.xnp <= 10.0f;
}

}  // namespace oskev::random
