#pragma once

#include <ostream>

#include "errors/error_service.hpp"
#include "probability/special_functions.hpp"
#include "random/binomial.hpp"
#include "random/clock.hpp"
#include "random/uniform_stream.hpp"

namespace oskev::analysis {

// The numerical library's state for one run: error service, generator, retained binomial
// set-up and the special functions' first-call values. One instance per run, so runs can go
// side by side and none inherits another's state.
struct Library {
  Library(std::ostream& messages, random::Clock& clock) : errors(messages), stream(errors, clock), special(errors) {}
  errors::ErrorService errors;
  random::UniformStream stream;
  random::BinomialSetup binomial;
  probability::SpecialFunctions special;

  // Start-up seeding: the clock is read for SEEDSET (0) and again when SEEDGET readies the
  // stream; the stored state is not used again.
  void seed_at_start_up() {
    std::int32_t iseed = 0;
    stream.SEEDSET(iseed);
    stream.SEEDGET(iseed);
  }
};

}  // namespace oskev::analysis
