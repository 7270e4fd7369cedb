#pragma once

#include <sstream>
#include <string>

#include "errors/error_service.hpp"
#include "probability/special_functions.hpp"
#include "random/binomial.hpp"
#include "random/clock.hpp"
#include "random/uniform_stream.hpp"

namespace oskev::testing {

// The numerical library's pieces as the suites use them: the error service writing to a
// string, a clock set to a time of day, the uniform stream, the retained binomial set-up and
// the special functions. A suite holds one (as a base or a member) instead of assembling the
// pieces, so every test starts from a fresh library and none inherits another's state.
class LibraryBundle {
 public:
  explicit LibraryBundle(random::TimeOfDay time = {}) : clock(time) {}
  LibraryBundle(const LibraryBundle&) = delete;
  LibraryBundle& operator=(const LibraryBundle&) = delete;

  // What the library has written on its message unit so far.
  std::string written() const { return console.str(); }
  // Start-up seeding from the clock: the clock is read for SEEDSET (0) and again when SEEDGET
  // readies the stream.
  void seed_at_start_up() {
    std::int32_t iseed = 0;
    stream.SEEDSET(iseed);
    stream.SEEDGET(iseed);
  }

  std::ostringstream console;
  random::FixedClock clock;
  errors::ErrorService errors{console};
  random::UniformStream stream{errors, clock};
  random::BinomialSetup setup;
  probability::SpecialFunctions special{errors};
};

}  // namespace oskev::testing
