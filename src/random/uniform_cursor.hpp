#pragma once

// Uniforms handed out a block of states at a time, for loops that take many: exactly the
// uniforms that drawing one by one gives, without waiting on each step of the recurrence.

#include <array>
#include <cstddef>
#include <cstdint>

#include "random/lehmer.hpp"

namespace oskev::random {

// Hands out the uniforms of a Lehmer state one at a time, exactly those successive next() calls
// would give and in the same order. A single step of the recurrence is a chain of dependent
// multiplications and a division, so drawing one by one waits on each step; the cursor instead
// computes a block of states ahead, each directly from the block's starting state with a
// precomputed power of the multiplier, so the states of a block are independent of one another.
// Every state is the same integer the step gives.
//
// The state is left at the last uniform taken when the cursor commits (at the latest when it is
// destroyed); uniforms computed ahead but not taken are simply not drawn. While a cursor is
// open, nothing else may draw from the state.
class UniformCursor {
 public:
  static constexpr int kBlock = 16;

  explicit UniformCursor(Lehmer& stream) : stream_(stream), current_(stream.state) {}
  ~UniformCursor() { commit(); }
  UniformCursor(const UniformCursor&) = delete;
  UniformCursor& operator=(const UniformCursor&) = delete;

  float next() {
    if (pos_ == kBlock) [[unlikely]] refill();
    current_ = states_[static_cast<std::size_t>(pos_++)];
    return Lehmer::uniform(current_);
  }

  // Leaves the state at the last uniform taken.
  void commit() noexcept { stream_.state = current_; }

  // For loops that decide afterwards how many uniforms they used: the states of the next
  // `count` uniforms, none taken yet ...
  void look_ahead(std::int32_t* states, int count) const noexcept {
    successors(current_, states, static_cast<std::size_t>(count));
  }
  // ... and every uniform up to and including the one of `state` marked as taken.
  void take_through(std::int32_t state) noexcept {
    current_ = state;
    pos_ = kBlock;
  }

  // states[0 ... count-1] <- the count states that follow x, each from x's block start with a
  // power of the multiplier rather than from its predecessor.
  static void successors(std::int32_t x, std::int32_t* states, std::size_t count) noexcept;

  // a^j·x mod (2^31 - 1) for a multiplier power aj = a^j mod (2^31 - 1) and a state x: the
  // 62-bit product reduced by folding its bits above 31 onto the low 31 (2^31 = 1 mod m).
  // The fold is below 2m and, the product never being a multiple of the prime m, not m or 2m,
  // so one subtraction leaves 1 ... m - 1.
  static std::int32_t advance(std::int32_t x, std::uint32_t aj) noexcept {
    const std::uint64_t product = static_cast<std::uint64_t>(aj) * static_cast<std::uint32_t>(x);
    std::uint64_t folded = (product & 0x7fffffffu) + (product >> 31);
    constexpr auto kModulus = static_cast<std::uint64_t>(Lehmer::kModulus);
    if (folded >= kModulus) folded -= kModulus;
    return static_cast<std::int32_t>(folded);
  }

 private:
  void refill() noexcept {
    successors(current_, states_.data(), kBlock);
    pos_ = 0;
  }

  Lehmer& stream_;
  std::int32_t current_;  // state of the last uniform taken
  int pos_ = kBlock;      // next unused entry of states_
  std::array<std::int32_t, kBlock> states_{};
};

}  // namespace oskev::random
