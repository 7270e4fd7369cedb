#include "random/uniform_stream.hpp"

#include "probability/machine.hpp"

namespace oskev::random {

UniformStream::UniformStream(errors::ErrorService& errors, Clock& clock)
    : errors_(errors), clock_(clock) {}

void UniformStream::SEEDINIT(std::int32_t icode) {
  if (first_use_) {
    // The largest single-precision factor below 2^-31, so that the largest state maps below
    // 1.0: 2^-31 shrunk by one relative spacing at a time until state 2^31 would map below 1.
    const double shrink = 1.0 - static_cast<double>(probability::AMACH(3, errors_));
    float s = 0x1p-31f;
    double product = 0.0;
    do {
      product = static_cast<double>(s) * shrink;
      s = static_cast<float>(product);
    } while (!(product * 0x1p31 < 1.0));
    // The loop ends after one step, at the factor the uniforms of every state are formed with.
    scale_ = s;
    first_use_ = false;
  }
  if (icode == -1) {
    seed_given_ = true;
  } else if (icode == 0 && !seed_given_) {
    lehmer_.state = SEEDCLK();
    seed_given_ = true;
  }
}

std::int32_t seed_from_clock(Clock& clock) {
  const TimeOfDay t = clock.time_of_day();
  // Formed in 64 bits so that a clock outside its ranges cannot overflow; such a reading,
  // like 00:00:00, gives the fixed seed.
  const std::int64_t seed = 10000LL * t.hour + 100LL * t.minute + t.second + 1;
  if (seed <= 1 || seed >= UniformStream::kModulus) return UniformStream::kMidnightSeed;
  return static_cast<std::int32_t>(seed);
}

void UniformStream::SEEDSET(std::int32_t iseed) {
  if (iseed < 0 || iseed >= kModulus) {
    SEEDINIT(0);
    return;
  }
  if (iseed == 0) {
    // Deliberately no readying step: a stream never seeded before takes a fresh clock seed
    // at its next readying step, replacing this one.
    lehmer_.state = SEEDCLK();
    return;
  }
  SEEDINIT(-1);
  lehmer_.state = iseed;
}

void UniformStream::SEEDGET(std::int32_t& iseed) {
  SEEDINIT(0);
  iseed = lehmer_.state;
}

void UniformStream::RNUN(std::int32_t nr, float* r) {
  if (nr < 1) {
    errors_.E1PSH("RNUN");
    std::int32_t icode = 1;
    IARGCHK(nr, "NR", 1, icode, errors_);
    errors_.E1POP("RNUN");
    return;
  }
  if (rnun_first_call_) {
    SEEDINIT(0);
    rnun_first_call_ = false;
  }
  Lehmer x = lehmer_;
  for (std::int32_t i = 0; i < nr; ++i) r[i] = x.next();
  lehmer_ = x;
}

void IARGCHK(std::int32_t ival, std::string_view name, std::int32_t ilow, std::int32_t& icode,
             errors::ErrorService& errors) {
  if (ival < ilow) {
    errors.E1VALI(1, ival);
    errors.E1VALI(2, ilow);
    errors.E1VALL(1, name);
    errors.E1MES(errors::kTerminal, icode,
                 "%(L1) = %(I1).  %(L1) must be greater than or equal to %(I2).");
  }
  ++icode;
}

}  // namespace oskev::random
