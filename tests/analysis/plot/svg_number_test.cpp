// The document's numbers from the bits of each value are printf's "%.2f" text, trailing zeros
// dropped: on the values a drawing gives, the ties between two hundredths, and the edges.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "analysis/plot/svg_writer.hpp"
#include "text/bit_cast.hpp"

namespace oskev::analysis::svg {
namespace {

TEST(SvgNumber, IsPrintfsTextOnEdgesTiesAndDrawnValues) {
  const double inf = std::numeric_limits<double>::infinity();
  std::vector<double> values = {0.0, -0.0, 1.0, -1.0, 0.5, 0.125, 0.375, -0.125, 2.675, 1.005, 0.005, 0.015, 0.0049999,
                                0.994999, 0.995, 9.995, 99.995, 1234.565, -0.004, -0.005, 0.01, 100.0, 1e15, -1e15,
                                9007199254740991.0, 9007199254740992.0, 1e300, -1e300, 5e-324, -5e-324, 2.2250738585072014e-308,
                                inf, -inf, std::numeric_limits<double>::quiet_NaN()};
  // Every tie of a whole number of eighths, and of 2^-k with its neighbours.
  for (int i = -4000; i <= 4000; ++i) values.push_back(i / 8.0);
  for (int k = 1; k < 80; ++k) {
    const double v = std::ldexp(1.0, -k);
    values.insert(values.end(), {v, std::nextafter(v, 0.0), std::nextafter(v, 1.0), 3 * v, -5 * v});
  }
  std::mt19937_64 draws(20261209);
  std::uniform_real_distribution<double> pixels(-3000.0, 3000.0);
  for (int i = 0; i < 100000; ++i) {
    const double v = pixels(draws);
    values.push_back(v);
    values.push_back(std::round(v * 200.0) / 200.0);  // about halfway between two hundredths
  }
  for (int i = 0; i < 100000; ++i) values.push_back(text::bit_cast<double>(draws()));  // any bits at all
  for (const double v : values) ASSERT_EQ(number(v), printf_number(v)) << std::hexfloat << v;
  EXPECT_EQ(number(-0.004), "0");
  EXPECT_EQ(number(2.5), "2.5");
  EXPECT_EQ(number(0.125), "0.12");
  EXPECT_EQ(number(-1200.05), "-1200.05");
  EXPECT_EQ(number(inf), "0");
}

}  // namespace
}  // namespace oskev::analysis::svg
