#pragma once

// The BTPE method (Kachitvichyanukul and Schmeiser): its set-up for one (N, P), the steps of an
// attempt (triangle, parallelogram, the two exponential tails, then the acceptance tests), and
// the one-variate draw that takes them in order. The faster paths over many attempts (the block
// path and the side-by-side single draws) call these same steps.

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "random/binomial_fold.hpp"
#include "random/lehmer.hpp"

namespace oskev::random {

// Constants of the BTPE method for one (N, P), kept by the caller between calls so that the
// simulation, which draws many batches with the same N and P, computes them once. All zero at
// construction; nsave = 0 matches no valid N, so the first BTPE call computes them. Once made
// for a pair, nothing drawing from it writes to it, so draws on several threads may share one.
struct BinomialSetup {
  std::int32_t nsave = 0;  // N and P (the argument, before folding) they were computed for
  float psave = 0.0f;
  float ffm = 0.0f;    // mean + pp
  std::int32_t m = 0;  // mode
  float xnpq = 0.0f;   // variance
  float p1 = 0.0f;     // half width of the triangle
  float xm = 0.0f;     // centre of the triangle
  float xl = 0.0f;     // left and right ends of the triangle
  float xr = 0.0f;
  float ct = 0.0f;     // height of the parallelogram's sides
  float xll = 0.0f;    // rates of the left and right exponential tails
  float xlr = 0.0f;
  float p2 = 0.0f;     // cumulative areas: triangle, + parallelogram, + left tail, + right tail
  float p3 = 0.0f;
  float p4 = 0.0f;
  float pqr = 0.0f;    // pp/qq and pp/qq·(N + 1): the ratio f(k)/f(k - 1) is g/k - pqr
  float g = 0.0f;
  float pp = 0.0f;     // P folded onto the smaller tail, and 1 - pp
  float qq = 0.0f;
  bool mirrored = false;  // P above one half: the draws are N minus the pp-counts
  // f(IX)/f(M) for IX within kRatioReach of the mode, exactly as the explicit evaluation forms
  // it, made with the rest of the set-up: an attempt that ends near the mode needs one, and the
  // same (N, P) is drawn again and again. Bit k of ratio_known marks entry k, IX = M -
  // kRatioReach + k, as a count within 0 ... N; the other entries are never read.
  static constexpr std::int32_t kRatioReach = 20;
  std::array<float, 2 * kRatioReach + 1> ratio{};
  std::uint64_t ratio_known = 0;
};

// Computes the BTPE constants and the ratios near the mode for (n, p) into `setup`.
void compute_btpe_setup(std::int32_t n, float p, const BinomialFold& fold, BinomialSetup& setup);

// Computes them unless `setup` already holds them (P compared as given, before folding).
inline void prepare_btpe(std::int32_t n, float p, const BinomialFold& fold, BinomialSetup& setup) {
  if (n == setup.nsave && p == setup.psave) return;
  compute_btpe_setup(n, p, fold, setup);
}

// The set-up for (n, p) when BTPE draws them; false, and nothing prepared, when inversion does.
// The arguments must be valid.
bool prepare_btpe_setup(std::int32_t n, float p, BinomialSetup& setup);

// f(ix)/f(m) by the recursion of successive probability ratios, each product or quotient stored
// in single precision, in the order of increasing index: the explicit evaluation.
float density_ratio(std::int32_t ix, std::int32_t m, double g, double pqr);

// One BTPE variate, attempt by attempt, two uniforms per attempt: the reference that every
// faster path must equal. Returns the count of pp-successes (not mirrored).
std::int32_t btpe_variate(const BinomialSetup& setup, Lehmer& stream);

namespace btpe {

// The steps of one attempt for a made set-up. The set-up's single-precision values widen
// exactly to double; each expression is evaluated in double and a named quantity is stored in
// single precision, which later steps and comparisons use.

// |IX - M| up to this: f(IX)/f(M) from the set-up's ratios.
constexpr std::int32_t kExplicitBound = BinomialSetup::kRatioReach;

// An attempt's first uniform scaled to the total area: U = uniform·P4. A product of two single-precision values is exact in
// double, so this is the single-precision product.
inline float scaled(const BinomialSetup& s, float uniform) { return static_cast<float>(static_cast<double>(uniform) * s.p4); }

// The triangle, for U <= P1: wholly under the density, accepted at once. XM - P1·V + U
// lies in [XL, XR], inside 0 ... N.
inline std::int32_t triangle(const BinomialSetup& s, float u, float v) {
  return static_cast<std::int32_t>(static_cast<double>(s.xm) - static_cast<double>(s.p1) * v + u);
}

// What the other three regions make of an attempt: the candidate IX and the ordinate W
// to test against f(IX)/f(M), or a rejection on the way (not inside).
struct Candidate {
  std::int32_t ix = 0;
  float w = 0.0f;
  bool inside = false;
};

// The parallelogram, for P1 < U <= P2. X lies in [XL, XR] as in the triangle.
inline Candidate parallelogram(const BinomialSetup& s, float u, float v) {
  const auto x = static_cast<float>(static_cast<double>(s.xl) + (static_cast<double>(u) - s.p1) / s.ct);
  Candidate c;
  c.w = static_cast<float>(static_cast<double>(v) * s.ct + 1.0 -
                           std::fabs(static_cast<double>(s.m) - x + 0.5) / s.p1);
  c.ix = static_cast<std::int32_t>(x);
  c.inside = !(c.w > 1.0f);
  return c;
}

// The left exponential tail, for P2 < U <= P3. A value above -1 truncates to 0 or more; testing the
// real value keeps the conversion in range however far the tail reaches.
inline Candidate left_tail(const BinomialSetup& s, float u, float v) {
  const double t = static_cast<double>(s.xl) + std::log(static_cast<double>(v)) / s.xll;
  Candidate c;
  c.inside = !(t <= -1.0);
  c.ix = static_cast<std::int32_t>(c.inside ? t : 0.0);
  c.w = static_cast<float>((static_cast<double>(u) - s.p2) * v * s.xll);
  return c;
}

// The right exponential tail, for U > P3. A value of N + 1 or more truncates above N.
inline Candidate right_tail(const BinomialSetup& s, float u, float v) {
  const double t = static_cast<double>(s.xr) - std::log(static_cast<double>(v)) / s.xlr;
  Candidate c;
  c.inside = !(t >= static_cast<double>(s.nsave) + 1.0);
  c.ix = static_cast<std::int32_t>(c.inside ? t : 0.0);
  c.w = static_cast<float>((static_cast<double>(u) - s.p3) * v * s.xlr);
  return c;
}

// K = |IX - M|.
inline std::int64_t distance(const BinomialSetup& s, std::int32_t ix) { return std::llabs(std::int64_t{ix} - s.m); }

// Where f(IX)/f(M) of a count within kExplicitBound of the mode is kept in the set-up.
inline std::size_t ratio_slot(const BinomialSetup& s, std::int32_t ix) {
  return static_cast<std::size_t>(ix - s.m + kExplicitBound);
}

// Acceptance of a candidate farther than kExplicitBound from the mode: the explicit
// evaluation when K >= XNPQ/2 - 1, else the squeeze and, between its bounds, the final test
// against Stirling's formula.
bool accepts_far(const BinomialSetup& s, std::int32_t ix, std::int64_t k, float w);

// Acceptance of a candidate inside 0 ... N with ordinate w. Near the mode this is the explicit
// evaluation, whose f(IX)/f(M) the set-up holds.
inline bool accepts(const BinomialSetup& s, std::int32_t ix, float w) {
  const std::int64_t k = distance(s, ix);
  if (k <= kExplicitBound) return w <= s.ratio[ratio_slot(s, ix)];
  return accepts_far(s, ix, k, w);
}

}  // namespace btpe

}  // namespace oskev::random
