#include "random/binomial.hpp"

#include <algorithm>
#include <bit>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string_view>
#include <vector>

#include "probability/machine.hpp"

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
constexpr std::int32_t kExplicitBound = BinomialSetup::kRatioReach;  // |IX - M| up to this: f(IX)/f(M) explicitly

constexpr std::string_view kProbabilityMessage =
    "The probability P = %(R1), but P must be greater than 0.0 and less than 1.0.";

// Stirling's series correction term of ln(a!) for a >= 1, with a2 = a·a.
inline double stirling_correction(float a, float a2) {
  const double s = a2;
  return (13860.0 - (462.0 - (132.0 - (99.0 - 140.0 / s) / s) / s) / s) / a / 166320.0;
}

// f(ix)/f(m) by the recursion of successive probability ratios, each product or quotient
// stored in single precision, in the order of increasing index.
float density_ratio(std::int32_t ix, std::int32_t m, double g, double pqr) {
  float f = 1.0f;
  if (m < ix) {
    for (std::int64_t j = std::int64_t{m} + 1; j <= ix; ++j) f = single(f * (g / j - pqr));
  } else if (m > ix) {
    for (std::int64_t j = std::int64_t{ix} + 1; j <= m; ++j) f = single(f / (g / j - pqr));
  }
  return f;
}

bool probability_in_range(float p) { return p > 0.0f && p < 1.0f; }  // false for NaN

// Below this many variates a call draws its uniforms one by one: the work that pays off over
// many variates (a cursor's states computed ahead, the inversion's table of cumulative
// probabilities, BTPE's sorted blocks) would cost more than it saves.
constexpr std::int32_t kManyFrom = 64;

// Uniforms straight from the stream, one RNUNONE each.
struct DirectDraw {
  UniformStream& stream;
  float next() { return stream.RNUNONE(); }
};

}  // namespace

BinomialFold fold_binomial(std::int32_t n, float p) {
  BinomialFold fold;
  if (p > 0.5f) {
    fold.pp = single(1.0 - p);
    fold.qq = p;
    fold.mirrored = true;
  } else {
    fold.pp = p;
    fold.qq = single(1.0 - p);
  }
  fold.xnp = single(static_cast<double>(static_cast<float>(n)) * fold.pp);
  return fold;
}

bool binomial_uses_inversion(float p, const BinomialFold& fold) {
  return p < probability::machine::kSingleSpacingMax || fold.xnp <= 10.0f;
}

namespace {

// The inversion search after the term for count ix: PK = P(ix), CUM = P(0) + ... + P(ix).
struct InversionWalk {
  std::int32_t ix;
  float pk;
  float cum;
};

struct InversionTerms {
  std::int32_t n;
  float epss;
  float onem;
  float pqr;
  float g;

  // The search's steps that do not depend on the uniform, taken after the uniform was found
  // above CUM: stop when further terms cannot count (CUM above 1 - 2^-24) or the count is N,
  // else move to the next term, PK(k) = PK(k - 1)·(G/k - PQR), and stop when it is below
  // 2^-24. Returns true when the search ends at walk.ix whatever the uniform.
  bool step(InversionWalk& walk) const {
    if (walk.cum > onem) return true;
    // Rounding can leave CUM below a uniform just under 1 after the term for N; the count
    // must not pass N.
    if (walk.ix == n) return true;
    ++walk.ix;
    walk.pk = single(walk.pk * (static_cast<double>(g) / walk.ix - pqr));
    walk.cum = single(static_cast<double>(walk.cum) + walk.pk);
    return walk.pk < epss;
  }

  std::int32_t search(InversionWalk walk, float u) const {
    while (!(u <= walk.cum)) {
      if (step(walk)) break;
    }
    return walk.ix;
  }
};

// Enough for every search that starts: it starts only when P(0) >= 2^-24, i.e. a mean below
// about 17, and its terms then fall below 2^-24 within some 60 steps. A longer search would
// continue term by term past the table.
constexpr std::int32_t kInversionTable = 128;

}  // namespace

void binomial_inversion(std::int32_t nr, std::int32_t n, const BinomialFold& fold,
                        std::int32_t* ir, UniformStream& stream) {
  InversionTerms terms;
  terms.n = n;
  terms.epss = probability::machine::kSingleSpacingMin;
  terms.onem = single(1.0 - terms.epss);
  const float qn = single(std::pow(static_cast<double>(fold.qq), n));  // P(0 successes)
  terms.pqr = single(static_cast<double>(fold.pp) / fold.qq);
  // N + 1 in double: exact for every N, including 2147483647.
  terms.g = single(terms.pqr * (static_cast<double>(n) + 1.0));

  if (nr < kManyFrom) {
    for (std::int32_t i = 0; i < nr; ++i) {
      const float u = stream.RNUNONE();
      ir[i] = qn < terms.epss ? 0 : terms.search(InversionWalk{0, qn, qn}, u);
    }
    return;
  }

  UniformCursor draw(stream);
  if (qn < terms.epss) {
    // Zero successes is all but certain: no search, but still one uniform per variate.
    for (std::int32_t i = 0; i < nr; ++i) {
      draw.next();
      ir[i] = 0;
    }
    return;
  }

  // The cumulative probabilities the search passes do not depend on the uniform, so they are
  // formed once per call. The search for a uniform u ends at the first count whose CUM is at
  // least u, or at the count `last` where it ends whatever the uniform.
  std::array<float, kInversionTable> cum;
  InversionWalk walk{0, qn, qn};
  cum[0] = qn;
  bool complete = false;
  while (walk.ix < kInversionTable - 1) {
    if (terms.step(walk)) {
      complete = true;
      break;
    }
    cum[static_cast<std::size_t>(walk.ix)] = walk.cum;
  }
  const std::int32_t last = walk.ix;

  // The terms are never negative before the search ends, so CUM never decreases over the
  // counts below `last`, and the first count whose CUM is at least u is the number of counts
  // whose CUM is below u: a count without branches, over a span padded with an infinite CUM.
  std::array<float, kInversionTable> below;
  below.fill(std::numeric_limits<float>::infinity());
  bool ascending = true;
  for (std::size_t j = 0; j < static_cast<std::size_t>(last); ++j) {
    below[j] = cum[j];
    if (j > 0 && cum[j] < cum[j - 1]) ascending = false;
  }
  const bool counting = complete && ascending;
  const std::size_t span = (static_cast<std::size_t>(last) + 7) / 8 * 8;

  for (std::int32_t i = 0; i < nr; ++i) {
    const float u = draw.next();
    std::int32_t ix = 0;
    if (counting) {
      for (std::size_t j = 0; j < span; ++j) ix += below[j] < u;
    } else {
      while (ix < last && !(u <= cum[static_cast<std::size_t>(ix)])) ++ix;
      if (ix == last && !complete) ix = terms.search(walk, u);
    }
    ir[i] = ix;
  }
}

void compute_btpe_setup(std::int32_t n, float p, const BinomialFold& fold, BinomialSetup& setup) {
  setup.nsave = n;
  setup.psave = p;
  setup.pp = fold.pp;
  setup.qq = fold.qq;
  setup.ratio_known = 0;
  const double pp = fold.pp;
  const double qq = fold.qq;
  BinomialSetup& s = setup;
  s.ffm = single(static_cast<double>(fold.xnp) + pp);
  s.m = static_cast<std::int32_t>(s.ffm);  // at most about N/2 + 1
  s.xnpq = single(static_cast<double>(fold.xnp) * qq);
  s.p1 = single(std::trunc(kTriangleSlope * std::sqrt(static_cast<double>(s.xnpq)) -
                           kTriangleShift * qq) +
                0.5);
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
  s.g = single(s.pqr * (static_cast<double>(n) + 1.0));
}

namespace {

// The steps of one BTPE attempt for a prepared set-up. The set-up's single-precision values
// widen exactly to double; each expression is evaluated in double and a named quantity is
// stored in single precision.

// Triangle: wholly under the density, accepted at once. XM - P1·V + U lies in [XL, XR],
// inside 0 ... N.
inline std::int32_t triangle(const BinomialSetup& s, float u, float v) {
  return static_cast<std::int32_t>(static_cast<double>(s.xm) - static_cast<double>(s.p1) * v + u);
}

// The parallelogram: X lies in [XL, XR] as in the triangle. Each region gives the candidate
// IX and the ordinate w to test against f(IX)/f(M), or false for a rejection on the way.
inline bool parallelogram(const BinomialSetup& s, float u, float v, std::int32_t& ix, float& w) {
  const float x = single(static_cast<double>(s.xl) + (static_cast<double>(u) - s.p1) / s.ct);
  w = single(static_cast<double>(v) * s.ct + 1.0 - std::fabs(static_cast<double>(s.m) - x + 0.5) / s.p1);
  ix = static_cast<std::int32_t>(x);
  return !(w > 1.0f);
}

// A value above -1 truncates to 0 or more; testing the real value keeps the conversion in
// range however far the tail reaches.
inline bool left_tail(const BinomialSetup& s, float u, float v, std::int32_t& ix, float& w) {
  const double t = static_cast<double>(s.xl) + std::log(static_cast<double>(v)) / s.xll;
  const bool inside = !(t <= -1.0);
  ix = static_cast<std::int32_t>(inside ? t : 0.0);
  w = single((static_cast<double>(u) - s.p2) * v * s.xll);
  return inside;
}

// A value of N + 1 or more truncates above N.
inline bool right_tail(const BinomialSetup& s, float u, float v, std::int32_t& ix, float& w) {
  const double t = static_cast<double>(s.xr) - std::log(static_cast<double>(v)) / s.xlr;
  const bool inside = !(t >= static_cast<double>(s.nsave) + 1.0);
  ix = static_cast<std::int32_t>(inside ? t : 0.0);
  w = single((static_cast<double>(u) - s.p3) * v * s.xlr);
  return inside;
}

// The regions as objects of distinct types, so that a loop over one region inlines it.
constexpr auto kParallelogram = [](const BinomialSetup& s, float u, float v, std::int32_t& ix, float& w) {
  return parallelogram(s, u, v, ix, w);
};
constexpr auto kLeftTail = [](const BinomialSetup& s, float u, float v, std::int32_t& ix, float& w) {
  return left_tail(s, u, v, ix, w);
};
constexpr auto kRightTail = [](const BinomialSetup& s, float u, float v, std::int32_t& ix, float& w) {
  return right_tail(s, u, v, ix, w);
};

inline bool candidate(const BinomialSetup& s, float u, float v, std::int32_t& ix, float& w) {
  if (u <= s.p2) return parallelogram(s, u, v, ix, w);
  if (u <= s.p3) return left_tail(s, u, v, ix, w);
  return right_tail(s, u, v, ix, w);
}

inline std::int64_t distance(const BinomialSetup& s, std::int32_t ix) { return std::llabs(std::int64_t{ix} - s.m); }

// Forms f(IX)/f(M) for IX within kExplicitBound of the mode into the set-up, equal to
// density_ratio. Above the mode the explicit evaluation's running products for M + 1, M + 2,
// ... are the ratios of those counts, so one pass up to IX forms all of them. Below it every
// ratio has a chain of divisions of its own, from IX + 1 up to M; the chains of all counts
// below the mode are formed together, a divisor at a time, so that their divisions overlap
// instead of each waiting for the one before.
void form_ratio(BinomialSetup& s, std::int32_t ix) {
  const auto slot_of = [&s](std::int64_t j) { return static_cast<unsigned>(j - s.m + kExplicitBound); };
  const double g = s.g, pqr = s.pqr;
  if (ix == s.m) {
    s.ratio[slot_of(ix)] = 1.0f;
    s.ratio_known |= std::uint64_t{1} << slot_of(ix);
    return;
  }
  if (ix < s.m) {
    const std::int64_t lowest = std::max<std::int64_t>(0, std::int64_t{s.m} - kExplicitBound);
    std::array<float, kExplicitBound> f;
    f.fill(1.0f);
    const auto chains = static_cast<std::size_t>(s.m - lowest);  // counts lowest ... M - 1
    for (std::int64_t j = lowest + 1; j <= s.m; ++j) {
      const double term = g / j - pqr;
      // The chains of the counts below j take this divisor next.
      for (std::size_t c = 0; c < static_cast<std::size_t>(j - lowest); ++c) f[c] = single(f[c] / term);
    }
    for (std::size_t c = 0; c < chains; ++c) s.ratio[slot_of(lowest + static_cast<std::int64_t>(c))] = f[c];
    const unsigned first = slot_of(lowest), last = slot_of(std::int64_t{s.m} - 1);
    s.ratio_known |= ((std::uint64_t{2} << last) - 1) & ~((std::uint64_t{1} << first) - 1);
    return;
  }
  float f = 1.0f;
  for (std::int64_t j = std::int64_t{s.m} + 1; j <= ix; ++j) {
    f = single(f * (g / j - pqr));
    s.ratio[slot_of(j)] = f;
  }
  const unsigned first = slot_of(std::int64_t{s.m} + 1), last = slot_of(ix);
  s.ratio_known |= ((std::uint64_t{2} << last) - 1) & ~((std::uint64_t{1} << first) - 1);
}

// f(IX)/f(M) for IX within kExplicitBound of the mode, kept in the set-up once formed.
inline float ratio(BinomialSetup& s, std::int32_t ix) {
  const auto slot = static_cast<unsigned>(ix - s.m + kExplicitBound);
  if (!(s.ratio_known >> slot & 1u)) [[unlikely]] form_ratio(s, ix);
  return s.ratio[slot];
}

// Every f(IX)/f(M) near the mode that a candidate can need (candidates lie in 0 ... N).
void fill_ratios(BinomialSetup& s) {
  const std::int64_t lowest = std::max<std::int64_t>(0, std::int64_t{s.m} - kExplicitBound);
  const std::int64_t highest = std::min<std::int64_t>(s.nsave, std::int64_t{s.m} + kExplicitBound);
  for (std::int64_t ix = lowest; ix <= highest; ++ix) ratio(s, static_cast<std::int32_t>(ix));
}

// Acceptance for a candidate more than kExplicitBound from the mode, with ordinate v.
bool accept_far(const BinomialSetup& s, std::int32_t ix, std::int64_t k, float v) {
  const double dk = static_cast<double>(k);
  const double xnpq = s.xnpq;
  if (dk >= xnpq / 2.0 - 1.0) return v <= density_ratio(ix, s.m, s.g, s.pqr);

  // Squeeze: bounds on ln(f(IX)/f(M)) around the normal approximation. K² in double: no
  // overflow for any N.
  const float amaxp = single(
      (dk / xnpq) * ((dk * (dk / 3.0 + kSqueezeLinear) + kSqueezeConstant) / xnpq + 0.5));
  const float ynorm = single(-(dk * dk) / (2.0 * xnpq));
  const float alv = single(std::log(static_cast<double>(v)));
  if (alv < static_cast<double>(ynorm) - amaxp) return true;
  if (alv > static_cast<double>(ynorm) + amaxp) return false;

  // Final test against ln(f(IX)/f(M)) from Stirling's formula; N + 1 and N - IX + 1 in
  // double, exact for every N.
  const double dix = ix;
  const double dn = s.nsave;
  const double dm = s.m;
  const double pp = s.pp;
  const double qq = s.qq;
  const float x1 = single(dix + 1.0);
  const float f1 = single(dm + 1.0);
  const float z = single(dn + 1.0 - dm);
  const float w = single(dn - dix + 1.0);
  const float x2 = single(static_cast<double>(x1) * x1);
  const float f2 = single(static_cast<double>(f1) * f1);
  const float z2 = single(static_cast<double>(z) * z);
  const float w2 = single(static_cast<double>(w) * w);
  const double bound = static_cast<double>(s.xm) * std::log(static_cast<double>(f1) / x1) +
                       (dn - dm + 0.5) * std::log(static_cast<double>(z) / w) +
                       (dix - dm) * std::log(w * pp / (x1 * qq)) +
                       stirling_correction(f1, f2) + stirling_correction(z, z2) +
                       stirling_correction(x1, x2) + stirling_correction(w, w2);
  return !(alv > bound);
}

// The first uniform of an attempt, scaled to the total area P4. A product of two single-
// precision values is exact in double, so this is the single-precision product.
inline float scaled(const BinomialSetup& s, float uniform) {
  return single(static_cast<double>(uniform) * s.p4);
}

// An attempt with uniforms (first, v): U = first·P4, and the variate the triangle gives when
// U lies within P1. Beyond P1 that value is not used, and P1 in place of U keeps the
// conversion in range.
struct TriangleTry {
  float u;
  float v;
  bool beyond_p1;
  std::int32_t ix;
};

inline TriangleTry try_triangle(const BinomialSetup& s, float first, float v) {
  const float u = scaled(s, first);
  const bool beyond_p1 = u > s.p1;
  return {u, v, beyond_p1, triangle(s, beyond_p1 ? s.p1 : u, v)};
}

// An attempt as the acceptance test sees it.
struct AttemptView {
  BinomialSetup* setup;
  float u;  // U·P4
  float v;
};

// Room for the attempts of each region, and for those needing the full test.
struct RegionLists {
  std::uint32_t* parallelogram;
  std::uint32_t* left;
  std::uint32_t* right;
  std::uint32_t* far;
};

// Decides attempts 0 ... count - 1 of those beyond P1 (attempt(j) gives attempt j), leaving
// those within P1 alone. The attempts are independent of one another given their uniforms,
// so they are sorted by region and every region is decided in a loop of its own, free of the
// unpredictable branch between regions. Writes the candidate ixs[j], its ordinate ws[j] and
// accepted[j].
template <typename AttemptOf>
void decide_beyond_triangle(std::size_t count, AttemptOf attempt, const RegionLists& lists, std::int32_t* ixs,
                            float* ws, std::uint8_t* accepted) {
  // The regions are nested intervals of U: counted without branches.
  std::size_t par = 0, left = 0, right = 0;
  for (std::size_t j = 0; j < count; ++j) {
    const AttemptView a = attempt(j);
    const auto slot = static_cast<std::uint32_t>(j);
    lists.parallelogram[par] = slot;
    lists.left[left] = slot;
    lists.right[right] = slot;
    const std::size_t beyond_p1 = a.u > a.setup->p1;
    const std::size_t beyond_p2 = a.u > a.setup->p2;
    const std::size_t beyond_p3 = a.u > a.setup->p3;
    par += beyond_p1 - beyond_p2;
    left += beyond_p2 - beyond_p3;
    right += beyond_p3;
  }
  // A candidate within kExplicitBound of the mode is decided by its ratio here; the rest go
  // to the full test.
  std::size_t nfar = 0;
  auto settle_region = [&](const std::uint32_t* members, std::size_t members_count, auto region) {
    for (std::size_t t = 0; t < members_count; ++t) {
      const std::uint32_t j = members[t];
      const AttemptView a = attempt(j);
      BinomialSetup& s = *a.setup;
      std::int32_t ix = 0;
      float w = 0.0f;
      const bool inside = region(s, a.u, a.v, ix, w);
      const bool near = distance(s, ix) <= kExplicitBound;
      const auto slot = static_cast<unsigned>(near ? ix - s.m + kExplicitBound : 0);
      if (near & !(s.ratio_known >> slot & 1u)) [[unlikely]] ratio(s, ix);
      ixs[j] = ix;
      ws[j] = w;
      // Non-short-circuit: the outcome is data, not a branch.
      accepted[j] = inside & near & (w <= s.ratio[slot]);
      lists.far[nfar] = j;
      nfar += inside & !near;
    }
  };
  settle_region(lists.parallelogram, par, kParallelogram);
  settle_region(lists.left, left, kLeftTail);
  settle_region(lists.right, right, kRightTail);
  for (std::size_t t = 0; t < nfar; ++t) {
    const std::uint32_t j = lists.far[t];
    const BinomialSetup& s = *attempt(j).setup;
    accepted[j] = accept_far(s, ixs[j], distance(s, ixs[j]), ws[j]);
  }
}

// The BTPE method for one call with a prepared set-up.
class BtpeDraw {
 public:
  explicit BtpeDraw(BinomialSetup& s) : s_(s) {}

  // One variate, attempt by attempt, two uniforms per attempt.
  template <typename Draw>
  std::int32_t one(Draw& draw) {
    const float u = scaled(s_, draw.next());
    const float v = draw.next();
    return from_attempt(u, v, draw);
  }

  // The rest of a variate whose first attempt drew (u, v): further attempts come from `draw`.
  template <typename Draw>
  std::int32_t from_attempt(float u, float v, Draw& draw) {
    for (;;) {
      if (u <= s_.p1) return triangle(s_, u, v);
      std::int32_t ix = 0;
      float w = 0.0f;
      if (candidate(s_, u, v, ix, w)) {
        const std::int64_t k = distance(s_, ix);
        if (k <= kExplicitBound) {
          if (w <= ratio(s_, ix)) return ix;
        } else if (accept_far(s_, ix, k, w)) {
          return ix;
        }
      }
      u = scaled(s_, draw.next());
      v = draw.next();
    }
  }

  // nr variates, a block of attempts at a time: the attempts are independent of one another
  // given their uniforms, so each block is sorted by region and every region is handled in a
  // loop of its own, free of the unpredictable branch between regions. The variates are the
  // accepted attempts in order, and the stream is left after the last attempt needed, so
  // the result is exactly that of `one` called nr times.
  void many(std::int32_t nr, std::int32_t* ir, UniformCursor& draw);

 private:
  static constexpr int kBlockAttempts = 128;
  BinomialSetup& s_;
};

void BtpeDraw::many(std::int32_t nr, std::int32_t* ir, UniformCursor& draw) {
  constexpr int kB = kBlockAttempts;
  std::array<std::int32_t, 2 * kB> states;
  std::array<float, kB> us, vs, ws;
  std::array<std::int32_t, kB> ixs;
  std::array<std::uint8_t, kB> accepted;
  std::array<std::uint32_t, kB> in_parallelogram, in_left, in_right, far;
  const RegionLists lists{in_parallelogram.data(), in_left.data(), in_right.data(), far.data()};

  // Every f(IX)/f(M) near the mode that a candidate can need.
  fill_ratios(s_);

  std::int32_t done = 0;
  while (done < nr) {
    draw.look_ahead(states.data(), 2 * kB);
    // Triangle attempts are settled here, the others decided region by region.
    const float p1 = s_.p1;
    for (int j = 0; j < kB; ++j) {
      const float u = scaled(s_, draw.uniform_of(states[2 * j]));
      const float v = draw.uniform_of(states[2 * j + 1]);
      us[j] = u;
      vs[j] = v;
      const bool beyond_p1 = u > p1;
      ixs[j] = triangle(s_, beyond_p1 ? p1 : u, v);  // any in-triangle value keeps it in range
      accepted[j] = !beyond_p1;
    }
    decide_beyond_triangle(
        kB, [&](std::size_t j) { return AttemptView{&s_, us[j], vs[j]}; }, lists, ixs.data(), ws.data(),
        accepted.data());

    // Accepted attempts in order. A rejected attempt's value is written where the next
    // accepted one will go, never at or past ir[nr].
    for (int j = 0; j < kB; ++j) {
      ir[done] = ixs[j];
      done += accepted[j];
      if (done == nr) {
        draw.take_through(states[2 * j + 1]);
        return;
      }
    }
    draw.take_through(states[2 * kB - 1]);
  }
}

}  // namespace

void binomial_btpe(std::int32_t nr, BinomialSetup& setup, std::int32_t* ir, UniformStream& stream) {
  BtpeDraw btpe(setup);
  if (nr >= kManyFrom) {
    UniformCursor draw(stream);
    btpe.many(nr, ir, draw);
    return;
  }
  DirectDraw draw{stream};
  for (std::int32_t i = 0; i < nr; ++i) ir[i] = btpe.one(draw);
}

void draw_binomial(std::int32_t nr, std::int32_t n, float p, std::int32_t* ir, UniformStream& stream,
                   BinomialSetup& setup) {
  const BinomialFold fold = fold_binomial(n, p);
  if (binomial_uses_inversion(p, fold)) {
    binomial_inversion(nr, n, fold, ir, stream);
  } else {
    prepare_btpe(n, p, fold, setup);
    binomial_btpe(nr, setup, ir, stream);
  }
  if (fold.mirrored) {
    // Counts of failures under pp are successes under P; integer difference, exact for all N.
    for (std::int32_t i = 0; i < nr; ++i) ir[i] = n - ir[i];
  }
}

std::size_t BinomialSetupCache::find(std::int32_t n, std::uint32_t p) const {
  std::uint32_t mixed = (p ^ static_cast<std::uint32_t>(n) * 0x9E3779B1u) * 0x85EBCA6Bu;
  mixed ^= mixed >> 15;
  const std::size_t mask = slots_.size() - 1;
  std::size_t i = mixed & mask;
  while (slots_[i].setup != nullptr && !(slots_[i].n == n && slots_[i].p == p)) i = (i + 1) & mask;
  return i;
}

BinomialSetup& BinomialSetupCache::for_pair(std::int32_t n, float p) {
  const auto pbits = std::bit_cast<std::uint32_t>(p);
  std::size_t i = find(n, pbits);
  if (slots_[i].setup != nullptr) return *slots_[i].setup;
  if (2 * (setups_.size() + 1) > slots_.size()) {
    grow();
    i = find(n, pbits);
  }
  slots_[i] = {n, pbits, &setups_.emplace_back()};
  return *slots_[i].setup;
}

void BinomialSetupCache::grow() {
  std::vector<Slot> old(2 * slots_.size());
  old.swap(slots_);
  for (const Slot& slot : old) {
    if (slot.setup != nullptr) slots_[find(slot.n, slot.p)] = slot;
  }
}

void BinomialSetupCache::trim() {
  if (setups_.size() <= kKeep) return;
  setups_.clear();
  slots_.assign(kFirstSlots, Slot{});
}

bool prepare_unshared_btpe(std::int32_t n, float p, BinomialSetup& setup) {
  const BinomialFold fold = fold_binomial(n, p);
  if (binomial_uses_inversion(p, fold)) return false;
  prepare_btpe(n, p, fold, setup);
  return true;
}

bool prepare_shared_btpe(std::int32_t n, float p, BinomialSetup& setup) {
  if (!prepare_unshared_btpe(n, p, setup)) return false;
  fill_ratios(setup);
  return true;
}

void draw_singles(std::span<SingleDraw> draws, BinomialSetupCache& setups, UniformStream& stream) {
  // Set-ups referred to below stay where they are until the next trim.
  setups.trim();
  // An attempt outside the triangle, waiting for the acceptance test of its region.
  struct Attempt {
    BinomialSetup* setup;
    std::uint32_t index;  // of its draw
    std::int32_t state;   // of the attempt's second uniform
    float u;
    float v;
  };
  // Kept between calls: no allocation per batch.
  thread_local std::vector<Attempt> attempts;
  thread_local std::vector<std::uint32_t> in_parallelogram, in_left, in_right, far;
  thread_local std::vector<std::int32_t> ixs;
  thread_local std::vector<float> ws;
  thread_local std::vector<std::uint8_t> accepted;
  if (attempts.size() < draws.size()) {
    for (auto* v : {&in_parallelogram, &in_left, &in_right, &far}) v->resize(draws.size());
    attempts.resize(draws.size());
    ixs.resize(draws.size());
    ws.resize(draws.size());
    accepted.resize(draws.size());
  }

  // First attempts: inversion draws whole; BTPE draws their first attempt, which the triangle
  // settles about half the time. The draws' streams are independent, so consecutive
  // iterations overlap; attempts outside the triangle are noted, without a branch.
  std::size_t waiting = 0;
  stream.SEEDSET(1);  // readied, so that its uniforms carry the scale factor
  // The pair of the previous draw without a shared set-up, its fold and its set-up (null
  // under inversion): runs of draws with one pair find it once.
  std::int32_t last_n = 0;  // no valid N
  float last_p = 0.0f;
  BinomialFold last_fold;
  BinomialSetup* last_setup = nullptr;
  for (std::size_t i = 0; i < draws.size(); ++i) {
    SingleDraw& d = draws[i];
    // Only the lazily formed ratios are ever written: a set-up shared between threads has them
    // all, and one used on this thread alone may form them here.
    auto* s = const_cast<BinomialSetup*>(d.shared);
    if (s == nullptr) {
      if (d.n != last_n || d.p != last_p) {
        last_n = d.n;
        last_p = d.p;
        last_fold = fold_binomial(d.n, d.p);
        last_setup = nullptr;
        if (!binomial_uses_inversion(d.p, last_fold)) {
          last_setup = &setups.for_pair(d.n, d.p);
          prepare_btpe(d.n, d.p, last_fold, *last_setup);
        }
      }
      if (last_setup == nullptr) {
        stream.SEEDSET(d.seed);
        binomial_inversion(1, d.n, last_fold, &d.variate, stream);
        if (last_fold.mirrored) d.variate = d.n - d.variate;
        continue;
      }
      s = last_setup;
    }
    const std::int32_t first = UniformStream::next_state(d.seed);
    const std::int32_t second = UniformStream::next_state(first);
    const TriangleTry t = try_triangle(*s, stream.uniform(first), stream.uniform(second));
    d.variate = d.p > 0.5f ? d.n - t.ix : t.ix;  // mirrored as in the fold
    attempts[waiting] = {s, static_cast<std::uint32_t>(i), second, t.u, t.v};
    waiting += t.beyond_p1;
  }

  // Then round after round over the attempts still waiting, as in a block of BTPE attempts:
  // sorted by region, each region decided in a loop of its own, and every rejected attempt
  // followed by the next attempt of its own draw, made from its own stream.
  const RegionLists lists{in_parallelogram.data(), in_left.data(), in_right.data(), far.data()};
  while (waiting > 0) {
    decide_beyond_triangle(
        waiting, [&](std::size_t j) { return AttemptView{attempts[j].setup, attempts[j].u, attempts[j].v}; }, lists,
        ixs.data(), ws.data(), accepted.data());

    // Accepted attempts end their draws; the rejected ones are gathered, without a branch.
    std::size_t rejected = 0;
    for (std::size_t j = 0; j < waiting; ++j) {
      const Attempt& a = attempts[j];
      SingleDraw& d = draws[a.index];
      const std::int32_t ix = ixs[j];
      // A rejected attempt's value is written too, and replaced when its draw ends.
      d.variate = d.p > 0.5f ? d.n - ix : ix;  // mirrored as in the fold
      attempts[rejected] = a;
      rejected += accepted[j] == 0;
    }
    // Each rejected draw makes its next attempt from its own stream; one in the triangle ends
    // the draw, the others wait for the next round.
    std::size_t still = 0;
    for (std::size_t j = 0; j < rejected; ++j) {
      const Attempt a = attempts[j];
      const std::int32_t first = UniformStream::next_state(a.state);
      const std::int32_t second = UniformStream::next_state(first);
      const TriangleTry t = try_triangle(*a.setup, stream.uniform(first), stream.uniform(second));
      SingleDraw& d = draws[a.index];
      d.variate = d.p > 0.5f ? d.n - t.ix : t.ix;
      attempts[still] = {a.setup, a.index, second, t.u, t.v};
      still += t.beyond_p1;
    }
    waiting = still;
  }
}

void RNBIN(std::int32_t nr, std::int32_t n, float p, std::int32_t* ir, UniformStream& stream,
           BinomialSetup& setup, errors::ErrorService& errors) {
  errors.E1PSH("RNBIN");
  if (!binomial_arguments_valid(nr, n, p)) {
    std::int32_t icode = 1;
    IARGCHK(nr, "NR", 1, icode, errors);
    IARGCHK(n, "N", 1, icode, errors);
    if (errors.N1RCD(0) == 0 && !probability_in_range(p)) {
      errors.E1VALR(1, p);
      errors.E1MES(errors::kTerminal, 3, kProbabilityMessage);
    }
    errors.E1POP("RNBIN");
    return;
  }
  draw_binomial(nr, n, p, ir, stream, setup);
  errors.E1POP("RNBIN");
}

}  // namespace oskev::random
