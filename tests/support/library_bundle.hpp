#pragma once

#include <sstream>
#include <string>

#include "analysis/library.hpp"
#include "random/clock.hpp"

namespace oskev::testing {

// One run's numerical library as the suites use it: the error service writing to a string, a
// clock set to a time of day, the uniform stream, the retained binomial set-up and the
// special functions. A suite holds one (as a base or a member) instead of assembling the
// pieces, so every test starts from a fresh library and none inherits another's state.
class LibraryBundle {
 public:
  explicit LibraryBundle(random::TimeOfDay time = {}) : clock(time) {}
  LibraryBundle(const LibraryBundle&) = delete;
  LibraryBundle& operator=(const LibraryBundle&) = delete;

  // What the library has written on its message unit so far.
  std::string written() const { return console.str(); }
  // Start-up seeding from the clock, as every run begins.
  void seed_at_start_up() { library.seed_at_start_up(); }

  std::ostringstream console;
  random::FixedClock clock;
  analysis::Library library{console, clock};
  errors::ErrorService& errors = library.errors;
  random::UniformStream& stream = library.stream;
  random::BinomialSetup& setup = library.binomial;
  probability::SpecialFunctions& special = library.special;
};

}  // namespace oskev::testing
