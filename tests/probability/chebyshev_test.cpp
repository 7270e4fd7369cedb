#include "probability/chebyshev.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "probability/library_fixture.hpp"

namespace oskev::probability {
namespace {

using testing::stop_text;
using Chebyshev = testing::LibraryTest;
namespace cs = chebyshev;

// The accuracy the gamma and error functions ask for: 0.1 x 2^-53 in single precision.
const float kTenthUnit = static_cast<float>(0.1 * static_cast<float>(0x1p-53));

TEST_F(Chebyshev, TermCountsForTheRequestedAccuracy) {
  EXPECT_EQ(INITDS(cs::kGammaSeries, 42, kTenthUnit, errors_), 23);
  EXPECT_EQ(INITDS(cs::kErfSeries, 21, kTenthUnit, errors_), 12);
  EXPECT_EQ(INITDS(cs::kErfcNearSeries, 49, kTenthUnit, errors_), 24);
  EXPECT_EQ(INITDS(cs::kErfcFarSeries, 59, kTenthUnit, errors_), 25);
  EXPECT_EQ(INITDS(cs::kLogGammaCorrectionSeries, 15, 0x1p-53F, errors_), 6);
  EXPECT_EQ(written(), "");
}

// c0/2 + sum c_k T_k(x), with T_k from its three-term recurrence (valid for any x).
double direct_sum(double x, std::span<const double> c, int n) {
  double t_prev = 1.0, t = x, sum = 0.5 * c[0];
  for (int k = 1; k < n; ++k) {
    sum += c[static_cast<std::size_t>(k)] * t;
    const double next = 2.0 * x * t - t_prev;
    t_prev = t;
    t = next;
  }
  return sum;
}

TEST_F(Chebyshev, EvaluatesSilentlyUpTo1Point1) {
  for (double x : {-1.1, -0.37, 0.0, 1.0, 1.05}) {
    EXPECT_NEAR(DCSEVL(x, cs::kGammaSeries, 23, errors_), direct_sum(x, cs::kGammaSeries, 23), 1e-16);
    EXPECT_EQ(last_type(), 0);
  }
  EXPECT_EQ(written(), "");
}

TEST_F(Chebyshev, BeyondOnePointOneWarnsAndStillComputes) {
  EXPECT_NEAR(DCSEVL(1.2, cs::kLogGammaCorrectionSeries, 6, errors_),
              direct_sum(1.2, cs::kLogGammaCorrectionSeries, 6), 1e-16);
  EXPECT_EQ(last_code(), 7);
  EXPECT_EQ(written(),
            "  \n *** WARNING  ERROR 7 from DCSEVL.  The argument X = 1.200000000000000D+00 is\n"
            " ***          outside the interval (-1.1,+1.1).\n");
}

TEST(ChebyshevStops, BadCounts) {
  EXPECT_EQ(stop_text([](SpecialFunctions& sf) { DCSEVL(0.5, cs::kGammaSeries, 0, sf.errors()); }),
            "  \n *** TERMINAL ERROR 5 from DCSEVL.  The number of terms in the series is not\n"
            " ***          positive. N = 0.\n");
  const std::vector<double> long_series(1001, 0.0);
  EXPECT_EQ(stop_text([&](SpecialFunctions& sf) { DCSEVL(0.5, long_series, 1001, sf.errors()); }),
            "  \n *** TERMINAL ERROR 6 from DCSEVL.  The number of terms in the series is\n"
            " ***          greater than 1000. N = 1001.\n");
  EXPECT_EQ(stop_text([](SpecialFunctions& sf) { INITDS(cs::kGammaSeries, 0, kTenthUnit, sf.errors()); }),
            "  \n *** TERMINAL ERROR 5 from INITDS.  The number of coefficients is less than\n"
            " ***          1. NOS = 0.\n");
  // The last gamma coefficient alone (5.8e-32) exceeds 1e-32.
  EXPECT_EQ(stop_text([](SpecialFunctions& sf) { INITDS(cs::kGammaSeries, 42, 1e-32F, sf.errors()); }),
            "  \n *** TERMINAL ERROR 6 from INITDS.  Too much accuracy may be requested. ETA\n"
            " ***          should be increased.\n");
}

TEST_F(Chebyshev, CountBeyondTheCoefficientsGivenIsRefused) {
  EXPECT_THROW(DCSEVL(0.5, cs::kErfSeries, 22, errors_), std::out_of_range);
  EXPECT_THROW(INITDS(cs::kErfSeries, 22, kTenthUnit, errors_), std::out_of_range);
  EXPECT_EQ(errors_.level(), 1);
}

}  // namespace
}  // namespace oskev::probability
