#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "errors/error_service.hpp"
#include "probability/special_functions.hpp"

namespace oskev::probability::testing {

// A run's error service writing to a string, and the special functions of that run.
class LibraryTest : public ::testing::Test {
 protected:
  std::string written() const { return console_.str(); }
  // Type and code the routine called last from the test left behind.
  std::int32_t last_type() { return errors_.N1RTY(1); }
  std::int32_t last_code() { return errors_.N1RCD(1); }

  std::ostringstream console_;
  errors::ErrorService errors_{console_};
  SpecialFunctions sf_{errors_};
};

// What a call that must stop the run writes, in a run of its own.
template <class Call>
std::string stop_text(Call call) {
  std::ostringstream console;
  errors::ErrorService errors(console);
  SpecialFunctions sf(errors);
  EXPECT_THROW(call(sf), errors::RunStopped);
  return console.str();
}

inline void expect_relative(double actual, double expected, double tolerance) {
  EXPECT_NEAR(actual, expected, std::abs(expected) * tolerance) << "expected " << expected;
}

}  // namespace oskev::probability::testing
