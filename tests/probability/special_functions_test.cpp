#include <gtest/gtest.h>

#include <cmath>

#include "probability/library_fixture.hpp"

// Reference values are 20-digit values of a 40-digit evaluation.

namespace oskev::probability {
namespace {

using testing::expect_relative;
using testing::stop_text;
using SpecialFunctionsTest = testing::LibraryTest;

TEST_F(SpecialFunctionsTest, FirstCallValues) {
  EXPECT_FALSE(sf_.gamma_setup() || sf_.erfc_setup() || sf_.log_gamma_correction_setup());
  sf_.DGAMMA(1.5);
  ASSERT_TRUE(sf_.gamma_setup());
  EXPECT_FALSE(sf_.log_gamma_correction_setup());  // not needed below 10
  const GammaSetup& g = *sf_.gamma_setup();
  EXPECT_EQ(g.gterms, 23);
  EXPECT_DOUBLE_EQ(g.xmin, -170.56749727266123);
  EXPECT_DOUBLE_EQ(g.xmax, 171.61447887182297);
  EXPECT_EQ(g.halfprec, 1.4901161193847656e-08);
  EXPECT_DOUBLE_EQ(g.tinyx, 2.2474362225598545e-308);

  sf_.DNORDF(0.0);
  ASSERT_TRUE(sf_.erfc_setup());
  const ErfcSetup& e = *sf_.erfc_setup();
  EXPECT_EQ(e.erf_terms, 12);
  EXPECT_EQ(e.erfc_near_terms, 24);
  EXPECT_EQ(e.erfc_far_terms, 25);
  EXPECT_DOUBLE_EQ(e.erflow, -6.0136873569177505);
  EXPECT_DOUBLE_EQ(e.erfhigh, 26.533299685083566);
  EXPECT_EQ(e.smallx, 1.4901161193847656e-08);

  sf_.DGAMMA(10.5);
  ASSERT_TRUE(sf_.log_gamma_correction_setup());
  const LogGammaCorrectionSetup& l = *sf_.log_gamma_correction_setup();
  EXPECT_EQ(l.lterms, 6);
  EXPECT_DOUBLE_EQ(l.bigx, 94906265.62425154);
  EXPECT_DOUBLE_EQ(l.lghigh, 3.745194030963263e+306);
  EXPECT_EQ(written(), "");
}

TEST_F(SpecialFunctionsTest, GammaReferenceValues) {
  expect_relative(sf_.DGAMMA(0.5), 1.7724538509055160273, 2e-16);  // sqrt(pi)
  expect_relative(sf_.DGAMMA(0.25), 3.6256099082219083119, 4e-16);
  expect_relative(sf_.DGAMMA(10.0), 362880.0, 4e-16);  // series, then recurrence upwards
  expect_relative(sf_.DGAMMA(-1.5), 2.3632718012073547031, 4e-16);
  expect_relative(sf_.DGAMMA(-10.5), -2.6401218205477163162e-7, 4e-15);
  // Stirling's formula: the rounding of its exponent, (x - 0.5) ln x - x + ..., limits the
  // relative accuracy to about the rounding unit times the exponent's size.
  expect_relative(sf_.DGAMMA(10.5), 1133278.3889487855673, 4e-15);
  expect_relative(sf_.DGAMMA(25.5), 3.0867705405286967828e+24, 2e-14);
  expect_relative(sf_.DGAMMA(170.5), 5.5620924145599996107e+305, 2e-13);
  expect_relative(sf_.DGAMMA(-11.5), 2.2957581048241011446e-8, 4e-15);  // reflection
  expect_relative(sf_.D9LGMC(10.0), 0.0083305634333628712565, 4e-16);
  EXPECT_EQ(sf_.D9LGMC(1e8), 1.0 / 12e8);  // beyond BIGX
  EXPECT_EQ(written(), "");
}

TEST(SpecialFunctionStops, Gamma) {
  const char* const kNotZero =
      "  \n *** TERMINAL ERROR 5 from DGAMMA.  The argument for the function can not be\n"
      " ***          zero.\n";
  EXPECT_EQ(stop_text([](SpecialFunctions& sf) { sf.DGAMMA(0.0); }), kNotZero);
  EXPECT_EQ(stop_text([](SpecialFunctions& sf) { sf.DGAMMA(-3.0); }),
            "  \n *** TERMINAL ERROR 6 from DGAMMA.  The argument for the function can not be\n"
            " ***          a negative integer. Argument X = -3.000000000000000D+00.\n");
  // Beyond -10 a pole is recognised from X itself: sin(pi X) is never exactly 0 there.
  EXPECT_EQ(stop_text([](SpecialFunctions& sf) { sf.DGAMMA(-12.0); }),
            "  \n *** TERMINAL ERROR 7 from DGAMMA.  The argument for the function can not be\n"
            " ***          a negative integer. Argument X = -1.200000000000000D+01.\n");
  EXPECT_EQ(stop_text([](SpecialFunctions& sf) { sf.DGAMMA(172.0); }),
            "  \n *** TERMINAL ERROR 4 from DGAMMA.  The function overflows because X =\n"
            " ***          1.720000000000000D+02 is greater than 1.716144788718230D+02.\n");
  // 1/X overflows on both sides of zero.
  EXPECT_EQ(stop_text([](SpecialFunctions& sf) { sf.DGAMMA(-2.23e-308); }),
            "  \n *** TERMINAL ERROR 4 from DGAMMA.  The function overflows because X =\n"
            " ***          -2.230000000000000-308 is too close to zero.\n");
  EXPECT_EQ(stop_text([](SpecialFunctions& sf) { sf.DGAMMA(2.23e-308); }),
            "  \n *** TERMINAL ERROR 4 from DGAMMA.  The function overflows because X =\n"
            " ***          2.230000000000000-308 is too close to zero.\n");
  EXPECT_EQ(stop_text([](SpecialFunctions& sf) { sf.D9LGMC(9.5); }),
            "  \n *** TERMINAL ERROR 5 from D9LGMC.  The argument X = 9.500000000000000D+00\n"
            " ***          must be greater than or equal to 10.0.\n");
}

TEST_F(SpecialFunctionsTest, GammaNearANegativeIntegerWarnsOnReturn) {
  // The argument's own rounding leaves about 8 digits.
  expect_relative(sf_.DGAMMA(-12.0000001), -0.020876751714410695536, 1e-7);
  EXPECT_EQ(last_type(), 3);
  EXPECT_EQ(last_code(), 2);
  EXPECT_EQ(written(),
            "  \n *** WARNING  ERROR 2 from DGAMMA.  The result is accurate to less than one\n"
            " ***          half precision because X = -1.200000010000000D+01 is too close \n"
            " ***          to a negative integer.\n");
}

// Recorded as ALERT code 1 with their text kept pending, never written.
TEST_F(SpecialFunctionsTest, UnderflowsAreSilentAlerts) {
  EXPECT_EQ(sf_.DGAMMA(-171.0), 0.0);
  EXPECT_EQ(last_type() * 10 + last_code(), 21);
  EXPECT_EQ(errors_.pending_message(),
            ".  The function underflows because X = -1.710000000000000D+02 is less than "
            "-1.705674972726612D+02. The result is set to zero.");
  EXPECT_EQ(sf_.D9LGMC(1e307), 0.0);
  EXPECT_EQ(last_type() * 10 + last_code(), 21);
  EXPECT_EQ(errors_.pending_message(),
            ".  The function underflows because X = 1.000000000000000+307 is greater than "
            "3.745194030963263+306. The result is set to zero.");
  EXPECT_EQ(sf_.DERFC(27.0), 0.0);
  EXPECT_EQ(last_type() * 10 + last_code(), 21);
  EXPECT_EQ(errors_.pending_message(),
            ".  The function underflows because X = 2.700000000000000D+01 is greater than "
            "2.653329968508357D+01. The result is set to zero.");
  EXPECT_EQ(written(), "");
}

TEST_F(SpecialFunctionsTest, ErrorFunctionReferenceValues) {
  expect_relative(sf_.DERFC(1e-9), 0.9999999988716208329, 2e-16);  // below SMALLX
  expect_relative(sf_.DERFC(0.5), 0.47950012218695346232, 4e-16);
  expect_relative(sf_.DERFC(-0.3), 1.3286267594591274276, 4e-16);
  expect_relative(sf_.DERFC(1.5), 0.033894853524689272933, 4e-16);
  expect_relative(sf_.DERFC(-1.0), 1.8427007929497148693, 4e-16);
  expect_relative(sf_.DERFC(3.0), 0.000022090496998585441373, 1e-15);
  expect_relative(sf_.DERFC(5.0), 1.5374597944280348502e-12, 2e-15);
  EXPECT_EQ(sf_.DERFC(-6.1), 2.0);  // below ERFLOW
  EXPECT_EQ(sf_.DNORDF(0.0), 0.5);
  expect_relative(sf_.DNORDF(1.96), 0.97500210485177956586, 2e-16);
  expect_relative(sf_.DNORDF(-3.0), 0.0013498980316300945267, 2e-15);
  EXPECT_EQ(written(), "");
}

TEST_F(SpecialFunctionsTest, NormalTailUnderflowLeavesNoErrorForTheCaller) {
  EXPECT_EQ(sf_.DNORDF(-40.0), 0.0);
  EXPECT_EQ(last_type(), 0);
  EXPECT_EQ(last_code(), 0);
  EXPECT_EQ(errors_.pending_message(), "");
  EXPECT_EQ(written(), "");
}

}  // namespace
}  // namespace oskev::probability
