#include <gtest/gtest.h>

#include <bit>
#include <cstdint>

#include "probability/library_fixture.hpp"
#include "probability/machine.hpp"

namespace oskev::probability {
namespace {

using testing::stop_text;
using MachineConstants = testing::LibraryTest;

TEST_F(MachineConstants, EntriesBitForBit) {
  const std::uint64_t doubles[8] = {0x0010000000000000, 0x7FEFFFFFFFFFFFFF, 0x3CA0000000000000,
                                    0x3CB0000000000000, 0x3FD34413509F79FF, 0x7FF8000000000000,
                                    0x7FF0000000000000, 0xFFF0000000000000};
  const std::uint32_t singles[8] = {0x00800000, 0x7F7FFFFF, 0x33800000, 0x34000000,
                                    0x3E9A209B, 0x7FC00000, 0x7F800000, 0xFF800000};
  const std::int32_t integers[12] = {32, 4, 2, 31, 2147483647, 2, 24, -125, 128, 53, -1021, 1024};
  for (std::int32_t n = 1; n <= 8; ++n) {
    EXPECT_EQ(std::bit_cast<std::uint64_t>(DMACH(n, errors_)), doubles[n - 1]) << n;
    EXPECT_EQ(std::bit_cast<std::uint32_t>(AMACH(n, errors_)), singles[n - 1]) << n;
  }
  for (std::int32_t n = 1; n <= 12; ++n) EXPECT_EQ(IMACH(n, errors_), integers[n - 1]) << n;
  EXPECT_EQ(errors_.level(), 1);
  EXPECT_EQ(written(), "");
}

TEST(MachineConstantStops, IndexOutOfRange) {
  EXPECT_EQ(stop_text([](SpecialFunctions& sf) { DMACH(9, sf.errors()); }),
            "  \n *** TERMINAL ERROR 5 from DMACH.  The argument must be between 1 and 8\n"
            " ***          inclusive. N = 9\n");
  EXPECT_EQ(stop_text([](SpecialFunctions& sf) { AMACH(0, sf.errors()); }),
            "  \n *** TERMINAL ERROR 5 from AMACH.  The argument must be between 1 and 8\n"
            " ***          inclusive. N = 0\n");
  EXPECT_EQ(stop_text([](SpecialFunctions& sf) { IMACH(13, sf.errors()); }),
            "  \n *** TERMINAL ERROR 5 from IMACH.  The argument\n"
            " ***          must be between 1 and 12 inclusive.\n"
            " ***          N =     13.\n  \n");
}

}  // namespace
}  // namespace oskev::probability
