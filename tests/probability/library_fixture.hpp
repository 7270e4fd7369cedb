#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "errors/error_service.hpp"
#include "probability/special_functions.hpp"
#include "support/library_bundle.hpp"

namespace oskev::probability::testing {

// A run's library writing its messages to a string, and the special functions of that run.
class LibraryTest : public ::testing::Test {
 protected:
  std::string written() const { return library_.written(); }
  // Type and code the routine called last from the test left behind.
  std::int32_t last_type() { return errors_.N1RTY(1); }
  std::int32_t last_code() { return errors_.N1RCD(1); }

  oskev::testing::LibraryBundle library_;
  errors::ErrorService& errors_ = library_.errors;
  SpecialFunctions& sf_ = library_.special;
};

// What a call that must stop the run writes, in a run of its own.
template <class Call>
std::string stop_text(Call call) {
  oskev::testing::LibraryBundle library;
  EXPECT_THROW(call(library.special), errors::RunStopped);
  return library.written();
}

inline void expect_relative(double actual, double expected, double tolerance) {
  EXPECT_NEAR(actual, expected, std::abs(expected) * tolerance) << "expected " << expected;
}

}  // namespace oskev::probability::testing
