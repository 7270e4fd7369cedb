#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "random/binomial.hpp"

namespace oskev::random {
namespace {

// Draws made side by side must be exactly those made one by one with SEEDSET and RNBIN,
// whatever mix of methods, mirrored probabilities and set-up slots the batch holds.
TEST(SingleDraws, EqualOneByOneDraws) {
  std::ostringstream sink;
  errors::ErrorService errors(sink);
  FixedClock clock;
  UniformStream one_by_one(errors, clock), scratch(errors, clock);
  BinomialSetup setup;
  BinomialSetupCache setups;

  std::vector<SingleDraw> draws;
  std::int32_t x = 987654321;
  auto next = [&] { return x = UniformStream::next_state(x); };
  const std::int32_t sizes[] = {1, 2, 15, 50, 123, 500, 88391, 2147483647};
  for (int i = 0; i < 20000; ++i) {
    const std::int32_t n = sizes[next() % 8];
    // A handful of probabilities per size, as under random prevalence, across both methods
    // and both sides of one half.
    const float p = static_cast<float>(next() % 97 + 1) / 98.0f;
    draws.push_back({n, p, next(), -1});
  }
  std::vector<SingleDraw> expected = draws;
  for (SingleDraw& d : expected) {
    one_by_one.SEEDSET(d.seed);
    RNBIN(1, d.n, d.p, &d.variate, one_by_one, setup, errors);
  }
  draw_singles(draws, setups, scratch);
  for (std::size_t i = 0; i < draws.size(); ++i) {
    ASSERT_EQ(draws[i].variate, expected[i].variate)
        << "draw " << i << ": N = " << draws[i].n << ", P = " << draws[i].p << ", seed " << draws[i].seed;
  }
  EXPECT_EQ(sink.str(), "");
}

}  // namespace
}  // namespace oskev::random
