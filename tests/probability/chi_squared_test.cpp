#include "probability/chi_squared.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "probability/library_fixture.hpp"

// Reference values of the distribution are 20-digit values of a 40-digit evaluation.

namespace oskev::probability {
namespace {

using testing::stop_text;
using ChiSquared = testing::LibraryTest;

TEST_F(ChiSquared, UpperFivePercentPoints) {
  EXPECT_NEAR(DCHIDF(3.841458820694124, 1.0, sf_), 0.95, 2e-15);
  EXPECT_NEAR(DCHIDF(5.991464547107979, 2.0, sf_), 0.95, 2e-15);
  EXPECT_NEAR(DCHIDF(18.307038053275146, 10.0, sf_), 0.95, 2e-15);
  EXPECT_NEAR(DCHIDF(1.0, 0.5, sf_), 0.84648640419167753679, 1e-15);  // lowest DF accepted
  EXPECT_EQ(written(), "");
}

TEST_F(ChiSquared, NegativeValueIsASilentNote) {
  EXPECT_EQ(DCHIDF(-1.0, 3.0, sf_), 0.0);
  EXPECT_EQ(last_type(), 1);
  EXPECT_EQ(last_code(), 1);
  EXPECT_EQ(errors_.pending_message(),
            ".  Since CHSQ = -1.000000000000000D+00 is less than zero, the distribution function "
            "is zero at CHSQ.");
  EXPECT_EQ(DCHIDF(-1.0, 0.1, sf_), 0.0);  // DF is not examined
  EXPECT_EQ(written(), "");
}

TEST(ChiSquaredStops, TooFewDegreesOfFreedom) {
  // Written at once at level 2, so without a traceback.
  EXPECT_EQ(stop_text([](SpecialFunctions& sf) { DCHIDF(1.0, 0.1, sf); }),
            "  \n *** TERMINAL ERROR 2 from DCHIDF.  The number of degrees of freedom of the\n"
            " ***          distribution, DF = 1.000000000000000D-01, must be at least \n"
            " ***          equal to 0.5.\n");
  EXPECT_EQ(stop_text([](SpecialFunctions& sf) { DCHIDF(1.0, 0.4, sf); }),
            "  \n *** TERMINAL ERROR 2 from DCHIDF.  The number of degrees of freedom of the\n"
            " ***          distribution, DF = 4.000000000000000D-01, must be at least \n"
            " ***          equal to 0.5.\n");
  // A not-a-number DF is refused too rather than giving 1 above CHSQ = 200.
  EXPECT_NE(stop_text([](SpecialFunctions& sf) { DCHIDF(250.0, std::nan(""), sf); }).find("DF = NaN,"),
            std::string::npos);
}

TEST_F(ChiSquared, StopUnwindsWithTheLibraryExitStatus) {
  try {
    DCHIDF(1.0, 0.1, sf_);
    ADD_FAILURE() << "the run should have stopped";
  } catch (const errors::RunStopped& stop) {
    EXPECT_EQ(stop.exit_status(), errors::kExitLibraryStop);
  }
}

TEST_F(ChiSquared, CutOffsToZeroAndOne) {
  EXPECT_EQ(DCHIDF(1e-12, 3.0, sf_), 0.0);
  EXPECT_NEAR(DCHIDF(2e-12, 3.0, sf_), 7.522527780632236976e-19, 1e-33);
  EXPECT_EQ(DCHIDF(1.9, 30.0, sf_), 0.0);
  EXPECT_NEAR(DCHIDF(1.9, 25.0, sf_), 1.2804227078445899579e-10, 1e-24);
  EXPECT_NEAR(DCHIDF(200.0, 10.0, sf_), 1.0, 1e-16);
  EXPECT_EQ(DCHIDF(200.5, 10.0, sf_), 1.0);
  EXPECT_EQ(DCHIDF(300.0, 66.0, sf_), 1.0);  // z > 5
  EXPECT_EQ(DCHIDF(1.5, 1000.0, sf_), 0.0);
  EXPECT_EQ(last_type(), 0);
  EXPECT_EQ(written(), "");
}

TEST_F(ChiSquared, UpperTailExpansionFromThirteen) {
  // Even DF: a finite sum, exact; 1 - (1 + x) exp(-x) for DF = 4.
  EXPECT_NEAR(DCHIDF(26.0, 4.0, sf_), 1.0 - 14.0 * std::exp(-13.0), 4e-15);
  EXPECT_NEAR(DCHIDF(25.9, 4.0, sf_), 1.0 - 13.95 * std::exp(-12.95), 4e-15);
  // DF = 3 at x = 13: stops at the first negative term, 1 - e^-x sqrt(x) (1 + 0.5/x)/G(1.5),
  // 1.3e-8 from the distribution (0.99999046259305738402); just below, the series is exact.
  EXPECT_NEAR(DCHIDF(26.0, 3.0, sf_),
              1.0 - std::exp(-13.0) * std::sqrt(13.0) * (1.0 + 0.5 / 13.0) / 0.88622692545275801365,
              4e-15);
  EXPECT_NEAR(DCHIDF(25.9, 3.0, sf_), 0.99998999156201587245, 1e-14);
}

TEST_F(ChiSquared, NormalApproximationAbove65DegreesOfFreedom) {
  EXPECT_NEAR(DCHIDF(60.0, 65.0, sf_), 0.3477468730789256606, 1e-15);  // P(32.5, 30)
  // Phi(z) of the cube-root approximation; the distribution is 0.33142525694992366945.
  const double v = 2.0 / 9.0 / 65.5;
  const double z = (std::cbrt(60.0 / 65.5) - (1.0 - v)) / std::sqrt(v);
  EXPECT_NEAR(DCHIDF(60.0, 65.5, sf_), 0.5 * std::erfc(-z / std::sqrt(2.0)), 4e-15);
  EXPECT_EQ(DCHIDF(2.0, 1000.0, sf_), 0.0);  // z is about -58.6: underflow
  EXPECT_EQ(last_type(), 2);
  EXPECT_EQ(last_code(), 3);
  EXPECT_EQ(errors_.pending_message(),
            ".  The normal distribution is used for large degrees of freedom.  However, it has "
            "produced underflow.  Therefore, the probability is set to 0.");
  EXPECT_TRUE(std::isnan(DCHIDF(std::nan(""), 100.0, sf_)));
  EXPECT_EQ(written(), "");
}

}  // namespace
}  // namespace oskev::probability
