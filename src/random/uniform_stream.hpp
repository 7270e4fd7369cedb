#pragma once

// The run's one stream of uniforms as the library's routines present it: SEEDSET, SEEDGET,
// RNUN and RNUNONE, with the clock seed and the argument check that posts to the error service.

#include <cstdint>
#include <string_view>

#include "errors/error_service.hpp"
#include "random/clock.hpp"
#include "random/lehmer.hpp"

namespace oskev::random {

// The seed the clock gives now: 10000·hour + 100·minute + second + 1 of the local time of day,
// and the fixed seed at 00:00:00, whose own value (1) is a poor start. What the programs read
// when no seed is given.
std::int32_t seed_from_clock(Clock& clock);

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
  static constexpr std::int32_t kModulus = Lehmer::kModulus;
  static constexpr std::int32_t kMultiplier = Lehmer::kMultiplier;
  static constexpr std::int32_t kQuotient = Lehmer::kQuotient;
  static constexpr std::int32_t kRemainder = Lehmer::kRemainder;
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
  float RNUNONE() { return draws().next(); }

  // The state for routines that take their uniforms one at a time as RNUNONE gives them (the
  // binomial methods): readied as RNUNONE's first call readies it, then drawn from directly.
  Lehmer& draws() {
    if (rnunone_first_call_) [[unlikely]] {
      SEEDINIT(0);
      rnunone_first_call_ = false;
    }
    return lehmer_;
  }

  // Readying step: sets SCALE on first use; code -1 marks a seed as given, code 0 seeds from
  // the clock if no seed was ever given.
  void SEEDINIT(std::int32_t icode);
  // A seed from the local time of day: 10000·hour + 100·minute + second + 1, so 2 ... 235960
  // and the fixed seed at 00:00:00.
  std::int32_t SEEDCLK() { return seed_from_clock(clock_); }

  std::int32_t state() const noexcept { return lehmer_.state; }
  float scale() const noexcept { return scale_; }
  bool first_use() const noexcept { return first_use_; }
  bool seed_given() const noexcept { return seed_given_; }

  // One step of the recurrence, and the uniform of a state (SCALE as the readying step sets it).
  static std::int32_t next_state(std::int32_t x) noexcept { return Lehmer::next_state(x); }
  static float uniform(std::int32_t x) noexcept { return Lehmer::uniform(x); }

 private:
  errors::ErrorService& errors_;
  Clock& clock_;
  Lehmer lehmer_;                // ISTATE
  float scale_ = 0.0f;
  bool first_use_ = true;
  bool seed_given_ = false;
  bool rnun_first_call_ = true;
  bool rnunone_first_call_ = true;
};

// Argument check shared by the generators: a TERMINAL error with code `icode` when
// ival < ilow, naming the argument `name`. Adds 1 to icode in every case, so successive
// checks starting from 1 number the arguments 1, 2, 3.
void IARGCHK(std::int32_t ival, std::string_view name, std::int32_t ilow, std::int32_t& icode,
             errors::ErrorService& errors);

}  // namespace oskev::random
