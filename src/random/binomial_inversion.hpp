#pragma once

// The inversion method: a sequential search up the binomial probabilities from 0 successes
// until their sum reaches the uniform, one uniform per variate, for small means.

#include <cstdint>

#include "random/binomial_fold.hpp"
#include "random/lehmer.hpp"

namespace oskev::random {

// The search after the term for count ix: PK = P(ix), CUM = P(0) + ... + P(ix).
struct InversionWalk {
  std::int32_t ix;
  float pk;
  float cum;
};

// What the search needs for one (N, P).
struct InversionTerms {
  std::int32_t n;
  float epss;  // 2^-24: terms below it end the search
  float onem;  // 1 - 2^-24: a sum above it ends the search
  float qn;    // qq^N, the probability of 0 successes
  float pqr;   // pp/qq and pp/qq·(N + 1): P(k) = P(k - 1)·(G/k - PQR)
  float g;

  // Zero successes is all but certain: no search, the count is 0.
  bool no_search() const { return qn < epss; }

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
    walk.pk = static_cast<float>(walk.pk * (static_cast<double>(g) / walk.ix - pqr));
    walk.cum = static_cast<float>(static_cast<double>(walk.cum) + walk.pk);
    return walk.pk < epss;
  }

  // The search from `walk` for uniform u.
  std::int32_t search(InversionWalk walk, float u) const {
    while (!(u <= walk.cum)) {
      if (step(walk)) break;
    }
    return walk.ix;
  }
};

InversionTerms inversion_terms(std::int32_t n, const BinomialFold& fold);

// One variate: the count of pp-successes (not mirrored) for the stream's next uniform. The
// reference that the table path must equal.
inline std::int32_t inversion_variate(const InversionTerms& terms, Lehmer& stream) {
  const float u = stream.next();  // one uniform per variate in every case
  return terms.no_search() ? 0 : terms.search(InversionWalk{0, terms.qn, terms.qn}, u);
}

// Many variates from one stream with the cumulative probabilities formed once (defined apart,
// in binomial_inversion_table.cpp).
void inversion_table(std::int32_t nr, const InversionTerms& terms, std::int32_t* ir, Lehmer& stream);

// ir[0 ... nr-1] <- counts of pp-successes (not mirrored), one uniform each.
void binomial_inversion(std::int32_t nr, std::int32_t n, const BinomialFold& fold, std::int32_t* ir, Lehmer& stream);

}  // namespace oskev::random
