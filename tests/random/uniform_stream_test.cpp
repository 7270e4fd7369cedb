#include "random/uniform_stream.hpp"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstdint>
#include <sstream>
#include <vector>

#include "random/uniform_cursor.hpp"
#include "support/library_bundle.hpp"

namespace oskev::random {
namespace {

std::uint32_t bits(float value) { return std::bit_cast<std::uint32_t>(value); }

// Predecessors under the recurrence, so that the next state is the one named.
constexpr std::int32_t kBeforeLargestState = 739806647;  // next state 2147483646
constexpr std::int32_t kBeforeSmallestState = 1407677000;  // next state 1

class UniformStreamTest : public ::testing::Test, protected oskev::testing::LibraryBundle {
 protected:
  UniformStreamTest() : LibraryBundle(TimeOfDay{13, 45, 7}) {}
};

// ---- The recurrence and the uniforms -------------------------------------------------------

TEST_F(UniformStreamTest, StatesFromSeedOne) {
  stream.SEEDSET(1);
  const std::array<std::int32_t, 5> expected{16807, 282475249, 1622650073, 984943658, 1144108930};
  for (std::int32_t state : expected) {
    stream.RNUNONE();
    EXPECT_EQ(stream.state(), state);
  }
  for (int i = 5; i < 10000; ++i) stream.RNUNONE();
  EXPECT_EQ(stream.state(), 1043618065);
}

TEST_F(UniformStreamTest, FirstUniformsFromSeedOneAreExact) {
  stream.SEEDSET(1);
  std::array<float, 5> r{};
  stream.RNUN(5, r.data());
  EXPECT_EQ(bits(r[0]), bits(7.8263683e-06f));
  EXPECT_EQ(bits(r[1]), bits(0.13153778f));
  EXPECT_EQ(bits(r[2]), bits(0.75560528f));
  EXPECT_EQ(bits(r[3]), bits(0.45865011f));
  EXPECT_EQ(bits(r[4]), bits(0.53276718f));
}

TEST_F(UniformStreamTest, ExtremeStatesStayInsideTheOpenInterval) {
  stream.SEEDSET(kBeforeLargestState);
  const float largest = stream.RNUNONE();
  EXPECT_EQ(stream.state(), 2147483646);
  EXPECT_EQ(bits(largest), bits(0.99999994f));
  EXPECT_EQ(bits(largest), bits(1.0f - 0x1p-24f));

  stream.SEEDSET(kBeforeSmallestState);
  const float smallest = stream.RNUNONE();
  EXPECT_EQ(stream.state(), 1);
  EXPECT_EQ(bits(smallest), bits(4.6566126e-10f));
}

TEST_F(UniformStreamTest, UniformIsTheProductRoundedOnce) {
  // State 553648129 is one of three where rounding x·SCALE to double first and then to
  // single gives the neighbouring value (0x1.08p-2).
  stream.SEEDSET(831069631);
  const float u = stream.RNUNONE();
  EXPECT_EQ(stream.state(), 553648129);
  EXPECT_EQ(bits(u), bits(0x1.07fffep-2f));
}

TEST_F(UniformStreamTest, ScaleIsSetByTheFirstReadying) {
  EXPECT_TRUE(stream.first_use());
  EXPECT_EQ(stream.scale(), 0.0f);
  EXPECT_EQ(stream.state(), 0);
  stream.SEEDSET(5);
  EXPECT_FALSE(stream.first_use());
  EXPECT_EQ(bits(stream.scale()), bits(16777215.0f * 0x1p-55f));
  EXPECT_EQ(bits(stream.scale()), bits(4.6566126e-10f));
}

TEST_F(UniformStreamTest, RnunAndRnunoneStepTheSameState) {
  stream.SEEDSET(1);
  std::vector<float> together(40);
  stream.RNUN(40, together.data());

  UniformStream mixed(errors, clock);
  mixed.SEEDSET(1);
  std::vector<float> parts(40);
  mixed.RNUN(3, parts.data());
  for (int i = 3; i < 10; ++i) parts[static_cast<std::size_t>(i)] = mixed.RNUNONE();
  mixed.RNUN(30, parts.data() + 10);
  for (std::size_t i = 0; i < parts.size(); ++i) EXPECT_EQ(bits(parts[i]), bits(together[i])) << i;
  EXPECT_EQ(mixed.state(), stream.state());
}

// ---- Seeds ---------------------------------------------------------------------------------

TEST_F(UniformStreamTest, OutOfRangeSeedsLeaveASeededStateAlone) {
  stream.SEEDSET(5);
  for (std::int32_t seed : {2147483647, -1, -2147483647 - 1}) {
    stream.SEEDSET(seed);
    EXPECT_EQ(stream.state(), 5) << seed;
  }
  stream.SEEDSET(2147483646);
  EXPECT_EQ(stream.state(), 2147483646);
  EXPECT_EQ(console.str(), "");
}

TEST_F(UniformStreamTest, OutOfRangeSeedAsFirstCallSeedsFromTheClock) {
  stream.SEEDSET(-7);
  EXPECT_EQ(stream.state(), 134508);
  EXPECT_TRUE(stream.seed_given());
  EXPECT_FALSE(stream.first_use());
  EXPECT_EQ(console.str(), "");
}

TEST_F(UniformStreamTest, SeedgetAsFirstCallReturnsTheClockSeedAndTheStreamGoesOn) {
  std::int32_t seed = 0;
  stream.SEEDGET(seed);
  EXPECT_EQ(seed, 10000 * 13 + 100 * 45 + 7 + 1);
  stream.RNUNONE();
  EXPECT_EQ(stream.state(), static_cast<std::int32_t>(16807LL * 134508 % 2147483647));
}

TEST_F(UniformStreamTest, ClockSeeds) {
  clock.set(TimeOfDay{0, 0, 0});
  EXPECT_EQ(stream.SEEDCLK(), 123457);
  clock.set(TimeOfDay{0, 0, 1});
  EXPECT_EQ(stream.SEEDCLK(), 2);
  clock.set(TimeOfDay{23, 59, 59});
  EXPECT_EQ(stream.SEEDCLK(), 235960);
}

TEST_F(UniformStreamTest, SeedgetThenSeedsetContinuesTheStream) {
  stream.SEEDSET(42);
  std::array<float, 8> reference{};
  stream.RNUN(8, reference.data());

  UniformStream other(errors, clock);
  other.SEEDSET(42);
  std::array<float, 5> first{};
  other.RNUN(5, first.data());
  std::int32_t saved = 0;
  other.SEEDGET(saved);
  EXPECT_EQ(other.uniform(saved), first[4]);  // the state that produced R(NR)
  other.SEEDSET(12345);
  other.RNUN(2, first.data());
  other.SEEDSET(saved);
  std::array<float, 3> rest{};
  other.RNUN(3, rest.data());
  for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(bits(rest[i]), bits(reference[i + 5]));
}

TEST_F(UniformStreamTest, SeedZeroTakesTheClockButDoesNotCountAsGiven) {
  clock.set(TimeOfDay{10, 0, 0});
  stream.SEEDSET(0);
  EXPECT_EQ(stream.state(), 100001);
  EXPECT_TRUE(stream.first_use());
  EXPECT_FALSE(stream.seed_given());

  // The next readying step reads the clock once more and replaces that value.
  clock.set(TimeOfDay{10, 0, 5});
  std::int32_t seed = 0;
  stream.SEEDGET(seed);
  EXPECT_EQ(seed, 100006);
  EXPECT_TRUE(stream.seed_given());
  EXPECT_FALSE(stream.first_use());
}

TEST_F(UniformStreamTest, SeedZeroAfterAGivenSeedSticks) {
  stream.SEEDSET(77);
  clock.set(TimeOfDay{11, 0, 0});
  stream.SEEDSET(0);
  EXPECT_EQ(stream.state(), 110001);
  clock.set(TimeOfDay{12, 0, 0});
  std::int32_t seed = 0;
  stream.SEEDGET(seed);
  EXPECT_EQ(seed, 110001);
}

// ---- Errors --------------------------------------------------------------------------------

TEST_F(UniformStreamTest, RnunWithNoValuesIsATerminalError) {
  stream.SEEDSET(99);
  std::array<float, 2> r{-1.0f, -1.0f};
  EXPECT_THROW(stream.RNUN(0, r.data()), errors::RunStopped);
  EXPECT_EQ(console.str(),
            "  \n"
            " *** TERMINAL ERROR 1 from RNUN.  NR = 0.  NR must be greater than or equal\n"
            " ***          to 1.\n");
  EXPECT_EQ(r[0], -1.0f);
  EXPECT_EQ(stream.state(), 99);
}

TEST_F(UniformStreamTest, FailedRnunLeavesItsFirstCallReadyingToCome) {
  float r = 0.0f;
  EXPECT_THROW(stream.RNUN(-3, &r), errors::RunStopped);
  EXPECT_TRUE(stream.first_use());
  EXPECT_EQ(stream.state(), 0);

  UniformStream fresh(errors, clock);
  float expected = 0.0f;
  fresh.RNUN(1, &expected);
  stream.RNUN(1, &r);  // still readies: seeds from the clock, does not step state 0
  EXPECT_EQ(bits(r), bits(expected));
  EXPECT_NE(stream.state(), 0);
}

// ---- Drawing ahead ---------------------------------------------------------------------------

TEST(UniformCursorTest, GivesExactlyTheUniformsOfRnunone) {
  std::ostringstream console;
  errors::ErrorService errors(console);
  FixedClock clock;
  for (std::int32_t seed : {1, kBeforeLargestState, kBeforeSmallestState, 2147483646, 1043618065}) {
    UniformStream one(errors, clock);
    UniformStream ahead(errors, clock);
    one.SEEDSET(seed);
    ahead.SEEDSET(seed);
    for (int taken : {1, 15, 16, 17, 100003}) {
      {
        UniformCursor cursor(ahead.draws());
        for (int i = 0; i < taken; ++i) ASSERT_EQ(bits(cursor.next()), bits(one.RNUNONE())) << seed;
      }
      ASSERT_EQ(ahead.state(), one.state()) << seed << " " << taken;
    }
  }
}

TEST(UniformCursorTest, ReadiesAnUnseededStreamLikeRnunone) {
  std::ostringstream console;
  errors::ErrorService errors(console);
  FixedClock clock(TimeOfDay{8, 30, 0});
  UniformStream one(errors, clock);
  UniformStream ahead(errors, clock);
  const float expected = one.RNUNONE();
  UniformCursor cursor(ahead.draws());
  EXPECT_EQ(bits(cursor.next()), bits(expected));
  cursor.commit();
  EXPECT_EQ(ahead.state(), one.state());
}

TEST(UniformCursorTest, JumpAheadMatchesTheStepAtEveryPower) {
  for (std::int32_t x : {1, 2, 16807, 127772, 127773, 1073741823, 2147483645, 2147483646}) {
    std::uint64_t power = 1;
    std::int32_t stepped = x;
    for (int j = 1; j <= 64; ++j) {
      power = power * 16807 % 2147483647;
      stepped = UniformStream::next_state(stepped);
      ASSERT_EQ(UniformCursor::advance(x, static_cast<std::uint32_t>(power)), stepped)
          << x << " " << j;
    }
  }
}

// Whole blocks and a partial one, from states at both ends of the range.
TEST(UniformCursorTest, SuccessorsAreTheStatesOfTheStep) {
  for (std::int32_t x : {1, 127773, 2147483646}) {
    for (std::size_t count : {0u, 1u, 15u, 16u, 17u, 47u, 100u}) {
      std::vector<std::int32_t> states(count + 1, -1);
      UniformCursor::successors(x, states.data(), count);
      std::int32_t stepped = x;
      for (std::size_t j = 0; j < count; ++j) {
        stepped = UniformStream::next_state(stepped);
        ASSERT_EQ(states[j], stepped) << x << " " << count << " " << j;
      }
      EXPECT_EQ(states[count], -1) << "wrote past the count";
    }
  }
}

// ---- The state as a value ---------------------------------------------------------------------

TEST(LehmerTest, StepsAndUniformsAreThoseOfTheStream) {
  std::ostringstream console;
  errors::ErrorService errors(console);
  FixedClock clock;
  for (std::int32_t seed : {1, kBeforeLargestState, kBeforeSmallestState, 831069631, 2147483646}) {
    UniformStream stream(errors, clock);
    stream.SEEDSET(seed);
    Lehmer value{seed};
    for (int i = 0; i < 1000; ++i) {
      ASSERT_EQ(bits(value.next()), bits(stream.RNUNONE())) << seed << " " << i;
      ASSERT_EQ(value.state, stream.state()) << seed << " " << i;
    }
    // The factor the value forms its uniforms with is the one the readying step computes.
    EXPECT_EQ(bits(Lehmer::kScale), bits(stream.scale()));
  }
  Lehmer from_one{1};
  for (int i = 0; i < 10000; ++i) from_one.next();
  EXPECT_EQ(from_one.state, 1043618065);
}

TEST(LehmerTest, StreamLendsItsStateReadiedAsRnunoneWould) {
  std::ostringstream console;
  errors::ErrorService errors(console);
  FixedClock clock(TimeOfDay{8, 30, 0});
  UniformStream lent(errors, clock), one(errors, clock);
  const float expected = one.RNUNONE();  // seeds from the clock: 83001
  Lehmer& state = lent.draws();
  EXPECT_EQ(state.state, 83001);
  EXPECT_EQ(bits(state.next()), bits(expected));
  EXPECT_EQ(lent.state(), one.state());
  EXPECT_EQ(bits(lent.RNUNONE()), bits(one.RNUNONE()));
}

}  // namespace
}  // namespace oskev::random
