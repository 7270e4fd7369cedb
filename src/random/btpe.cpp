#include "random/btpe.hpp"

#include <algorithm>

namespace oskev::random {

namespace {

// Every expression is evaluated in double precision; a named quantity is stored in single
// precision, and later steps and comparisons use the stored value.
inline float single(double value) { return static_cast<float>(value); }

// The method's literal constants are single-precision values.
constexpr double kTriangleSlope = 2.195f;   // P1 = trunc(2.195·sd - 4.6·qq) + 0.5
constexpr double kTriangleShift = 4.6f;
constexpr double kSideBase = 0.134f;        // CT = 0.134 + 20.5/(15.3 + M)
constexpr double kSideScale = 20.5f;
constexpr double kSideOffset = 15.3f;
constexpr double kSqueezeLinear = 0.625f;
constexpr double kSqueezeConstant = 0.16666667f;

using btpe::kExplicitBound;

// Stirling's series correction term of ln(a!) for a >= 1, with a2 = a·a.
inline double stirling_correction(float a, float a2) {
  const double s = a2;
  return (13860.0 - (462.0 - (132.0 - (99.0 - 140.0 / s) / s) / s) / s) / a / 166320.0;
}

// f(IX)/f(M) for every count IX within kExplicitBound of the mode, each equal to
// density_ratio. Above the mode the explicit evaluation's running products for M + 1, M + 2,
// ... are the ratios of those counts, so one pass forms all of them. Below it every ratio has a
// chain of divisions of its own, from IX + 1 up to M; the chains of all counts below the mode
// are formed together, a divisor at a time, so that their divisions overlap instead of each
// waiting for the one before.
void fill_ratios(BinomialSetup& s) {
  const std::int64_t m = s.m;
  const std::int64_t lowest = std::max<std::int64_t>(0, m - kExplicitBound);
  const std::int64_t highest = std::min<std::int64_t>(s.nsave, m + kExplicitBound);
  const auto slot_of = [m](std::int64_t ix) { return static_cast<std::size_t>(ix - m + kExplicitBound); };
  const double g = s.g, pqr = s.pqr;

  std::array<float, kExplicitBound> below;  // the chain of count lowest + c in below[c]
  below.fill(1.0f);
  for (std::int64_t j = lowest + 1; j <= m; ++j) {
    const double term = g / j - pqr;
    // The chains of the counts below j take this divisor next.
    for (std::size_t c = 0; c < static_cast<std::size_t>(j - lowest); ++c) below[c] = single(below[c] / term);
  }
  s.ratio.fill(0.0f);
  for (std::int64_t ix = lowest; ix < m; ++ix) s.ratio[slot_of(ix)] = below[static_cast<std::size_t>(ix - lowest)];
  s.ratio[slot_of(m)] = 1.0f;
  float above = 1.0f;
  for (std::int64_t j = m + 1; j <= highest; ++j) {
    above = single(above * (g / j - pqr));
    s.ratio[slot_of(j)] = above;
  }
  const std::size_t first = slot_of(lowest), last = slot_of(highest);
  s.ratio_known = ((std::uint64_t{2} << last) - 1) & ~((std::uint64_t{1} << first) - 1);
}

}  // namespace

float density_ratio(std::int32_t ix, std::int32_t m, double g, double pqr) {
  float f = 1.0f;
  if (m < ix) {
    for (std::int64_t j = std::int64_t{m} + 1; j <= ix; ++j) f = single(f * (g / j - pqr));
  } else if (m > ix) {
    for (std::int64_t j = std::int64_t{ix} + 1; j <= m; ++j) f = single(f / (g / j - pqr));
  }
  return f;
}

void compute_btpe_setup(std::int32_t n, float p, const BinomialFold& fold, BinomialSetup& setup) {
  BinomialSetup& s = setup;
  s.nsave = n;
  s.psave = p;
  s.pp = fold.pp;
  s.qq = fold.qq;
  s.mirrored = fold.mirrored;
  const double pp = fold.pp;
  const double qq = fold.qq;
  s.ffm = single(static_cast<double>(fold.xnp) + pp);
  s.m = static_cast<std::int32_t>(s.ffm);  // at most about N/2 + 1
  s.xnpq = single(static_cast<double>(fold.xnp) * qq);
  s.p1 = single(std::trunc(kTriangleSlope * std::sqrt(static_cast<double>(s.xnpq)) - kTriangleShift * qq) + 0.5);
  s.xm = single(static_cast<double>(s.m) + 0.5);
  s.xl = single(static_cast<double>(s.xm) - s.p1);
  s.xr = single(static_cast<double>(s.xm) + s.p1);
  s.ct = single(kSideBase + kSideScale / (kSideOffset + s.m));
  float al = single((static_cast<double>(s.ffm) - s.xl) / (s.ffm - static_cast<double>(s.xl) * pp));
  s.xll = single(al * (1.0 + 0.5 * al));
  al = single((static_cast<double>(s.xr) - s.ffm) / (static_cast<double>(s.xr) * qq));
  s.xlr = single(al * (1.0 + 0.5 * al));
  s.p2 = single((static_cast<double>(s.ct) + 1.0 + s.ct) * s.p1);
  s.p3 = single(s.p2 + static_cast<double>(s.ct) / s.xll);
  s.p4 = single(s.p3 + static_cast<double>(s.ct) / s.xlr);
  s.pqr = single(pp / qq);
  s.g = single(s.pqr * (static_cast<double>(n) + 1.0));  // N + 1 in double: exact for every N
  fill_ratios(s);
}

bool prepare_btpe_setup(std::int32_t n, float p, BinomialSetup& setup) {
  const BinomialFold fold = fold_binomial(n, p);
  if (binomial_uses_inversion(p, fold)) return false;
  prepare_btpe(n, p, fold, setup);
  return true;
}

bool btpe::accepts_far(const BinomialSetup& s, std::int32_t ix, std::int64_t k, float w) {
  const double dk = static_cast<double>(k);
  const double xnpq = s.xnpq;
  // Far out in the tails the explicit evaluation is cheaper than the bounds.
  if (dk >= xnpq / 2.0 - 1.0) return w <= density_ratio(ix, s.m, s.g, s.pqr);

  // Squeeze: bounds on ln(f(IX)/f(M)) around the normal approximation. K² in double: no
  // overflow for any N.
  const float amaxp = single((dk / xnpq) * ((dk * (dk / 3.0 + kSqueezeLinear) + kSqueezeConstant) / xnpq + 0.5));
  const float ynorm = single(-(dk * dk) / (2.0 * xnpq));
  const float alv = single(std::log(static_cast<double>(w)));
  if (alv < static_cast<double>(ynorm) - amaxp) return true;
  if (alv > static_cast<double>(ynorm) + amaxp) return false;

  // Final test against ln(f(IX)/f(M)) from Stirling's formula; N + 1 and N - IX + 1 in double,
  // exact for every N.
  const double dix = ix;
  const double dn = s.nsave;
  const double dm = s.m;
  const double pp = s.pp;
  const double qq = s.qq;
  const float x1 = single(dix + 1.0);
  const float f1 = single(dm + 1.0);
  const float z = single(dn + 1.0 - dm);
  const float wn = single(dn - dix + 1.0);
  const float x2 = single(static_cast<double>(x1) * x1);
  const float f2 = single(static_cast<double>(f1) * f1);
  const float z2 = single(static_cast<double>(z) * z);
  const float w2 = single(static_cast<double>(wn) * wn);
  const double bound = static_cast<double>(s.xm) * std::log(static_cast<double>(f1) / x1) +
                       (dn - dm + 0.5) * std::log(static_cast<double>(z) / wn) +
                       (dix - dm) * std::log(wn * pp / (x1 * qq)) +
                       stirling_correction(f1, f2) + stirling_correction(z, z2) +
                       stirling_correction(x1, x2) + stirling_correction(wn, w2);
  return !(alv > bound);
}

std::int32_t btpe_variate(const BinomialSetup& s, Lehmer& stream) {
  for (;;) {
    // Two uniforms per attempt, always in this order; a rejection starts a new attempt.
    const float u = btpe::scaled(s, stream.next());
    const float v = stream.next();
    if (u <= s.p1) return btpe::triangle(s, u, v);
    const btpe::Candidate c = u <= s.p2   ? btpe::parallelogram(s, u, v)
                              : u <= s.p3 ? btpe::left_tail(s, u, v)
                                          : btpe::right_tail(s, u, v);
    if (c.inside && btpe::accepts(s, c.ix, c.w)) return c.ix;
  }
}

}  // namespace oskev::random
