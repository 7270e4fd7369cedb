#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "errors/error_service.hpp"
#include "random/clock.hpp"

namespace oskev::random {

class UniformCursor;

// The run's one stream of pseudo-random integers, x <- 16807·x mod (2^31 - 1), and the
// single-precision uniforms on (0, 1) made from it. RNUN and RNUNONE step the same state, so
// any interleaving of their calls gives the states of one long run; SEEDGET returns the last
// state produced, and SEEDSET with it continues the stream where it stopped.
//
// The stream readies itself on first use (the scale factor, and a seed from the clock when
// none was given). It holds references to the run's error service and clock, which must
// outlive it.
class UniformStream {
 public:
  static constexpr std::int32_t kModulus = 2147483647;  // 2^31 - 1, a prime
  static constexpr std::int32_t kMultiplier = 16807;
  // Schrage's decomposition of the modulus keeps every step within 32-bit signed range.
  static constexpr std::int32_t kQuotient = kModulus / kMultiplier;   // 127773
  static constexpr std::int32_t kRemainder = kModulus % kMultiplier;  // 2836
  // Clock seed at 00:00:00, whose own value (1) is a poor start.
  static constexpr std::int32_t kMidnightSeed = 123457;

  UniformStream(errors::ErrorService& errors, Clock& clock);

  // 0 takes a seed from the clock; 1 ... 2147483646 becomes the state; anything else is
  // ignored (a stream never seeded is then seeded from the clock).
  void SEEDSET(std::int32_t iseed);
  // Readies the stream and returns its state.
  void SEEDGET(std::int32_t& iseed);
  // r[0] ... r[nr - 1] <- the next nr uniforms. nr below 1 is a TERMINAL error of RNUN.
  void RNUN(std::int32_t nr, float* r);
  // The next uniform. Inline: a draw is one step and one product, the first-call test aside.
  float RNUNONE() {
    if (rnunone_first_call_) [[unlikely]] {
      SEEDINIT(0);
      rnunone_first_call_ = false;
    }
    state_ = next_state(state_);
    return uniform(state_);
  }

  // Readying step: sets SCALE on first use; code -1 marks a seed as given, code 0 seeds from
  // the clock if no seed was ever given.
  void SEEDINIT(std::int32_t icode);
  // A seed from the local time of day: 10000·hour + 100·minute + second + 1, so 2 ... 235960
  // and the fixed seed at 00:00:00. For a reproducible run, a seed given beforehand replaces
  // every reading of the clock.
  std::int32_t SEEDCLK();
  void replace_clock_seed(std::int32_t seed) { clock_seed_ = seed; }

  std::int32_t state() const noexcept { return state_; }
  float scale() const noexcept { return scale_; }
  bool first_use() const noexcept { return first_use_; }
  bool seed_given() const noexcept { return seed_given_; }

  // One step of the recurrence for a state in 1 ... 2147483646.
  static std::int32_t next_state(std::int32_t x) noexcept {
    const std::int32_t hi = x / kQuotient;
    const std::int32_t lo = x % kQuotient;
    x = kMultiplier * lo - kRemainder * hi;
    if (x < 0) x += kModulus;
    return x;
  }

  // x·SCALE rounded once to single precision. SCALE = mantissa·2^exponent with a 24-bit
  // mantissa, so x·mantissa (below 2^55) is an exact 64-bit integer, its conversion to float
  // is the one rounding, and the power of two is exact. A double product would round twice.
  float uniform(std::int32_t x) const noexcept {
    return static_cast<float>(static_cast<std::int64_t>(x) * scale_mantissa_) * scale_power_;
  }

 private:
  friend class UniformCursor;

  errors::ErrorService& errors_;
  Clock& clock_;
  std::int32_t clock_seed_ = 0;  // 0: read the clock
  std::int32_t state_ = 0;
  float scale_ = 0.0f;
  bool first_use_ = true;
  bool seed_given_ = false;
  bool rnun_first_call_ = true;
  bool rnunone_first_call_ = true;
  // scale_ split for the exact product; set together with it.
  std::int64_t scale_mantissa_ = 0;
  float scale_power_ = 0.0f;
};

// The seed the clock gives now: 10000·hour + 100·minute + second + 1 of the local time of day,
// and the fixed seed at 00:00:00. What SEEDCLK reads when no seed replaces the clock.
std::int32_t seed_from_clock(Clock& clock);

// Hands out the stream's uniforms one at a time, exactly those successive RNUNONE calls would
// give and in the same order, for loops that take many (the binomial methods). A single step
// of the recurrence is a chain of dependent multiplications and a division, so drawing one by
// one waits on each step; the cursor instead computes a block of states ahead, each directly
// from the block's starting state with a precomputed power of the multiplier, so the states
// of a block are independent of one another. Every state is the same integer the step gives.
//
// The stream's state is left at the last uniform taken when the cursor commits (at the latest
// when it is destroyed); uniforms computed ahead but not taken are simply not drawn. While a
// cursor is open, nothing else may draw from the stream.
class UniformCursor {
 public:
  static constexpr int kBlock = 16;

  // Readies the stream as the first RNUNONE call of the run would.
  explicit UniformCursor(UniformStream& stream);
  ~UniformCursor() { commit(); }
  UniformCursor(const UniformCursor&) = delete;
  UniformCursor& operator=(const UniformCursor&) = delete;

  float next() {
    if (pos_ == kBlock) [[unlikely]] refill();
    current_ = states_[static_cast<std::size_t>(pos_++)];
    return stream_.uniform(current_);
  }

  // Leaves the stream's state at the last uniform taken.
  void commit() noexcept { stream_.state_ = current_; }

  // For loops that decide afterwards how many uniforms they used: the states of the next
  // `count` uniforms (a multiple of kBlock), none taken yet ...
  void look_ahead(std::int32_t* states, int count) const noexcept;
  // ... the uniform of such a state ...
  float uniform_of(std::int32_t state) const noexcept { return stream_.uniform(state); }
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
    constexpr auto kModulus = static_cast<std::uint64_t>(UniformStream::kModulus);
    if (folded >= kModulus) folded -= kModulus;
    return static_cast<std::int32_t>(folded);
  }

 private:
  void refill() noexcept;

  UniformStream& stream_;
  std::int32_t current_;  // state of the last uniform taken
  int pos_ = kBlock;      // next unused entry of states_
  std::array<std::int32_t, kBlock> states_{};
};

// Argument check shared by the generators: a TERMINAL error with code `icode` when
// ival < ilow, naming the argument `name`. Adds 1 to icode in every case, so successive
// checks starting from 1 number the arguments 1, 2, 3.
void IARGCHK(std::int32_t ival, std::string_view name, std::int32_t ilow, std::int32_t& icode,
             errors::ErrorService& errors);

}  // namespace oskev::random
