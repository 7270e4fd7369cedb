#pragma once

// Many independent single binomial draws made side by side, each from a seed of its own, as
// the random-prevalence model draws its totals and arms.
//
// Must equal: for every draw, a stream seeded with its seed followed by one variate of RNBIN
// (1, N, P), which is inversion_variate or btpe_variate, mirrored for P above one half.
// Proved by the tests SingleDraws.EqualOneByOneDraws, SingleDraws.SharedSetUpsAndAForgettingCacheChangeNothing
// and BtpePaths.SideBySideEqualsTheOneVariateMethod.

#include <cstdint>
#include <span>
#include <vector>

#include "random/binomial_setup_cache.hpp"
#include "random/btpe.hpp"

namespace oskev::random {

// One variate from a seed of its own: what SEEDSET (seed) followed by RNBIN (1, n, p, ...)
// gives.
struct SingleDraw {
  std::int32_t n = 0;
  float p = 0.0f;
  std::int32_t seed = 0;
  std::int32_t variate = 0;  // out
  // A set-up made for (n, p) by prepare_btpe_setup, or null to find one among the drawer's own.
  // Never written by the draws, so one set-up may serve draws on several threads.
  const BinomialSetup* shared = nullptr;
};

// Room for the attempts of one call of draw_singles, kept by its owner between calls so that a
// batch allocates nothing. One per thread that draws.
class SingleDrawScratch {
 public:
  // An attempt outside the triangle, waiting for the acceptance test of its region.
  struct Attempt {
    const BinomialSetup* setup;
    std::uint32_t index;  // of its draw
    std::int32_t state;   // of the attempt's second uniform
    float u;
    float v;
  };

  // Room for `count` attempts.
  void reserve(std::size_t count);

  std::vector<Attempt> attempts;
  std::vector<std::uint32_t> in_parallelogram, in_left, in_right, far_tail;
  std::vector<std::int32_t> ixs;
  std::vector<float> ws;
  std::vector<std::uint8_t> accepted;
};

// Many single draws at once. Each is independent of the others, so their first BTPE attempts
// run side by side instead of each waiting on its own stream; the variates are exactly those
// of the draws made one by one. Every draw's arguments must be valid.
void draw_singles(std::span<SingleDraw> draws, BinomialSetupCache& setups, SingleDrawScratch& scratch);

}  // namespace oskev::random
