#include "random/binomial_inversion.hpp"

#include <cmath>

namespace oskev::random {

namespace {

// Below this many variates a call searches uniform by uniform: forming the table of cumulative
// probabilities would cost more than it saves.
constexpr std::int32_t kTableFrom = 64;

}  // namespace

InversionTerms inversion_terms(std::int32_t n, const BinomialFold& fold) {
  InversionTerms terms;
  terms.n = n;
  terms.epss = probability::machine::kSingleSpacingMin;
  terms.onem = static_cast<float>(1.0 - terms.epss);
  terms.qn = static_cast<float>(std::pow(static_cast<double>(fold.qq), n));
  terms.pqr = static_cast<float>(static_cast<double>(fold.pp) / fold.qq);
  // N + 1 in double: exact for every N, including 2147483647.
  terms.g = static_cast<float>(terms.pqr * (static_cast<double>(n) + 1.0));
  return terms;
}

void binomial_inversion(std::int32_t nr, std::int32_t n, const BinomialFold& fold, std::int32_t* ir, Lehmer& stream) {
  const InversionTerms terms = inversion_terms(n, fold);
  if (nr >= kTableFrom) {
    inversion_table(nr, terms, ir, stream);
    return;
  }
  for (std::int32_t i = 0; i < nr; ++i) ir[i] = inversion_variate(terms, stream);
}

}  // namespace oskev::random
