// Many inversion variates from one stream with the search's cumulative probabilities formed
// once per call.
//
// Must equal: inversion_variate (binomial_inversion.hpp) called nr times on the same stream,
// variate for variate, leaving the stream where those calls leave it. Proved by the tests
// InversionPaths.TableEqualsTheSearch and BinomialTest.ManyVariatesInOneCallEqualOneVariatePerCall.

#include <array>
#include <cstddef>
#include <limits>

#include "random/binomial_inversion.hpp"
#include "random/uniform_cursor.hpp"

namespace oskev::random {

namespace {

// Enough for every search that starts: it starts only when P(0) >= 2^-24, i.e. a mean below
// about 17, and its terms then fall below 2^-24 within some 60 steps. A longer search would
// continue term by term past the table.
constexpr std::int32_t kInversionTable = 128;

}  // namespace

void inversion_table(std::int32_t nr, const InversionTerms& terms, std::int32_t* ir, Lehmer& stream) {
  UniformCursor draw(stream);
  if (terms.no_search()) {
    // Still one uniform per variate.
    for (std::int32_t i = 0; i < nr; ++i) {
      draw.next();
      ir[i] = 0;
    }
    return;
  }

  // The cumulative probabilities the search passes do not depend on the uniform. The search
  // for a uniform u ends at the first count whose CUM is at least u, or at the count `last`
  // where it ends whatever the uniform.
  std::array<float, kInversionTable> cum;
  InversionWalk walk{0, terms.qn, terms.qn};
  cum[0] = terms.qn;
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

}  // namespace oskev::random
