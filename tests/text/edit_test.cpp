#include <gtest/gtest.h>

#include <limits>

#include "text/edit.hpp"

namespace oskev::text {
namespace {

TEST(IntegerEdit, I4) {
  EXPECT_EQ(edit_integer(2, 4), "   2");
  EXPECT_EQ(edit_integer(-123, 4), "-123");
  EXPECT_EQ(edit_integer(12345, 4), "****");
  EXPECT_EQ(edit_integer(-1234, 4), "****");
}

TEST(FixedEdit, F12_6) {
  EXPECT_EQ(edit_fixed(0.8765432f, 12, 6), "    0.876543");
  EXPECT_EQ(edit_fixed(3.210987f, 12, 6), "    3.210987");
  EXPECT_EQ(edit_fixed(0.5234, 12, 6), "    0.523400");
  EXPECT_EQ(edit_fixed(0.0375f, 12, 6), "    0.037500");
  EXPECT_EQ(edit_fixed(0.037f, 12, 6), "    0.037000");
  EXPECT_EQ(edit_fixed(0.0f, 12, 6), "    0.000000");
  EXPECT_EQ(edit_fixed(1.0f, 12, 6), "    1.000000");
  EXPECT_EQ(edit_fixed(-2.5, 12, 6), "   -2.500000");
}

TEST(FixedEdit, TooWideBecomesAsterisks) {
  EXPECT_EQ(edit_fixed(99999.99, 12, 6), "99999.990000");
  EXPECT_EQ(edit_fixed(100000.0, 12, 6), "************");
  EXPECT_EQ(edit_fixed(123456.7f, 12, 6), "************");
  EXPECT_EQ(edit_fixed(-9999.5, 12, 6), "-9999.500000");
  EXPECT_EQ(edit_fixed(-10000.0, 12, 6), "************");
  // Rounding decides the width: 99999.9999996 needs 100000.000000.
  EXPECT_EQ(edit_fixed(99999.9999996, 12, 6), "************");
}

TEST(FixedEdit, NonFinite) {
  EXPECT_EQ(edit_fixed(std::numeric_limits<double>::quiet_NaN(), 12, 6), "         NaN");
  EXPECT_EQ(edit_fixed(std::numeric_limits<double>::infinity(), 12, 6), "    Infinity");
  EXPECT_EQ(edit_fixed(-std::numeric_limits<double>::infinity(), 12, 6), "   -Infinity");
}

}  // namespace
}  // namespace oskev::text
