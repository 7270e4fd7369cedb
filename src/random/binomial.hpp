#pragma once

#include <cstdint>
#include <deque>
#include <span>
#include <vector>

#include "errors/error_service.hpp"
#include "random/uniform_stream.hpp"

namespace oskev::random {

// Constants of the BTPE method for one (N, P), kept by the caller between calls so that the
// simulation, which draws many batches with the same N and P, computes them once. All zero
// at construction; nsave = 0 matches no valid N, so the first BTPE call computes them.
struct BinomialSetup {
  std::int32_t nsave = 0;  // N and P (the argument, before folding) they were computed for
  float psave = 0.0f;
  float ffm = 0.0f;   // mean + pp
  std::int32_t m = 0;  // mode
  float xnpq = 0.0f;  // variance
  float p1 = 0.0f;    // half width of the triangle
  float xm = 0.0f;    // centre of the triangle
  float xl = 0.0f;    // left and right ends of the triangle
  float xr = 0.0f;
  float ct = 0.0f;    // height of the parallelogram's sides
  float xll = 0.0f;   // rates of the left and right exponential tails
  float xlr = 0.0f;
  float p2 = 0.0f;    // cumulative areas: triangle, + parallelogram, + left tail, + right tail
  float p3 = 0.0f;
  float p4 = 0.0f;
  float pqr = 0.0f;   // pp/qq and pp/qq·(N + 1): the ratio f(k)/f(k - 1) is g/k - pqr
  float g = 0.0f;
  float pp = 0.0f;    // P folded onto the smaller tail, and 1 - pp
  float qq = 0.0f;
  // f(IX)/f(M) for IX within kRatioReach of the mode, exactly as the explicit evaluation forms
  // it, filled as attempts need them and kept with the rest: the same (N, P) is drawn again
  // and again. Bit k of ratio_known says whether entry k holds its value.
  static constexpr std::int32_t kRatioReach = 20;
  std::array<float, 2 * kRatioReach + 1> ratio{};
  std::uint64_t ratio_known = 0;
};

// P folded onto the smaller tail: draws are made for pp <= 0.5 and mirrored (N - count) when
// the argument P was above one half.
struct BinomialFold {
  float pp = 0.0f;
  float qq = 0.0f;
  bool mirrored = false;
  float xnp = 0.0f;  // N·pp, with N in single precision
};

BinomialFold fold_binomial(std::int32_t n, float p);

// Inversion is used when the mean of the smaller tail is at most 10 (its search is short), or
// when P is below 2^-23; BTPE otherwise.
bool binomial_uses_inversion(float p, const BinomialFold& fold);

// Sequential inversion: ir[0 ... nr-1] <- counts of pp-successes (not mirrored), one uniform
// each.
void binomial_inversion(std::int32_t nr, std::int32_t n, const BinomialFold& fold,
                        std::int32_t* ir, UniformStream& stream);

// Computes the BTPE constants for (n, p) into `setup`.
void compute_btpe_setup(std::int32_t n, float p, const BinomialFold& fold, BinomialSetup& setup);

// Computes the BTPE constants for (n, p) unless `setup` already holds them.
inline void prepare_btpe(std::int32_t n, float p, const BinomialFold& fold, BinomialSetup& setup) {
  if (n == setup.nsave && p == setup.psave) return;
  compute_btpe_setup(n, p, fold, setup);
}

// BTPE: ir[0 ... nr-1] <- counts of pp-successes (not mirrored), two uniforms per attempt,
// with a prepared set-up.
void binomial_btpe(std::int32_t nr, BinomialSetup& setup, std::int32_t* ir, UniformStream& stream);

// RNBIN's draws for arguments known to be valid (nr >= 1, n >= 1, 0 < p < 1), where RNBIN
// would post nothing: the same variates and the same uniforms, without the error service.
void draw_binomial(std::int32_t nr, std::int32_t n, float p, std::int32_t* ir, UniformStream& stream,
                   BinomialSetup& setup);

// Set-ups for many (N, P) pairs, for callers whose P changes from draw to draw among a few
// hundred values: each pair keeps a set-up of its own, found by hashing the pair. A set-up
// stays where it is (references to it stay valid) until trim() forgets them all.
class BinomialSetupCache {
 public:
  // The pair's set-up: prepared for it before, or new (nsave = 0, so prepare_btpe computes it).
  BinomialSetup& for_pair(std::int32_t n, float p);
  // Forgets every set-up once more than a few thousand are held, which keeps the memory
  // bounded when P keeps changing.
  void trim();

 private:
  struct Slot {
    std::int32_t n = 0;
    std::uint32_t p = 0;  // bit pattern of P
    BinomialSetup* setup = nullptr;
  };
  static constexpr std::size_t kFirstSlots = 1024;
  static constexpr std::size_t kKeep = 4096;
  // The slot holding the pair (P as its bit pattern), or the empty slot where it would go.
  std::size_t find(std::int32_t n, std::uint32_t p) const;
  void grow();

  std::vector<Slot> slots_ = std::vector<Slot>(kFirstSlots);  // open addressing, at most half full
  std::deque<BinomialSetup> setups_;
};

// A BTPE set-up for (n, p) complete with every f(IX)/f(M) near the mode a draw can need, so
// that draws on several threads can share it without writing to it. False, and nothing
// prepared, when (n, p) is drawn by inversion. The arguments must be valid.
bool prepare_shared_btpe(std::int32_t n, float p, BinomialSetup& setup);
// The same without the ratios, which draws then form as their attempts need them (writing to
// the set-up): cheaper when a set-up serves few draws, but only for draws on one thread.
bool prepare_unshared_btpe(std::int32_t n, float p, BinomialSetup& setup);

// One variate from a seed of its own: what SEEDSET (seed) followed by RNBIN (1, n, p, ...)
// gives.
struct SingleDraw {
  std::int32_t n = 0;
  float p = 0.0f;
  std::int32_t seed = 0;
  std::int32_t variate = 0;  // out
  // A set-up from prepare_shared_btpe for (n, p), or null to find one among the draws' own.
  const BinomialSetup* shared = nullptr;
};

// Many single draws at once. Each is independent of the others, so their first BTPE attempts
// run side by side instead of each waiting on its own stream; the variates are exactly those
// of the draws made one by one. Every draw's arguments must be valid; `stream` is scratch.
void draw_singles(std::span<SingleDraw> draws, BinomialSetupCache& setups, UniformStream& stream);

// Whether RNBIN accepts these arguments (draws without posting any message).
inline bool binomial_arguments_valid(std::int32_t nr, std::int32_t n, float p) {
  return nr >= 1 && n >= 1 && p > 0.0f && p < 1.0f;  // false for a probability that is not a number
}

// ir[0 ... nr-1] <- binomial (n, p) variates from `stream`. nr < 1, n < 1 and p outside
// (0, 1) (including not-a-number) are TERMINAL errors of RNBIN: nothing is drawn or written.
void RNBIN(std::int32_t nr, std::int32_t n, float p, std::int32_t* ir, UniformStream& stream,
           BinomialSetup& setup, errors::ErrorService& errors);

}  // namespace oskev::random
