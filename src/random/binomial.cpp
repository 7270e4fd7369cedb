#include "random/binomial.hpp"

#include <string_view>

#include "random/btpe_block.hpp"

namespace oskev::random {

namespace {

constexpr std::string_view kProbabilityMessage =
    "The probability P = %(R1), but P must be greater than 0.0 and less than 1.0.";

// Below this many variates a call draws attempt by attempt: sorting blocks of attempts by
// region would cost more than it saves.
constexpr std::int32_t kBlocksFrom = 64;

bool probability_in_range(float p) { return p > 0.0f && p < 1.0f; }  // false for NaN

}  // namespace

void binomial_btpe(std::int32_t nr, const BinomialSetup& setup, std::int32_t* ir, Lehmer& stream) {
  if (nr >= kBlocksFrom) {
    btpe_block(nr, setup, ir, stream);
    return;
  }
  for (std::int32_t i = 0; i < nr; ++i) ir[i] = btpe_variate(setup, stream);
}

void draw_binomial(std::int32_t nr, std::int32_t n, float p, std::int32_t* ir, Lehmer& stream, BinomialSetup& setup) {
  const BinomialFold fold = fold_binomial(n, p);
  if (binomial_uses_inversion(p, fold)) {
    binomial_inversion(nr, n, fold, ir, stream);
  } else {
    prepare_btpe(n, p, fold, setup);
    binomial_btpe(nr, setup, ir, stream);
  }
  for (std::int32_t i = 0; i < nr; ++i) ir[i] = unfold(fold.mirrored, n, ir[i]);
}

namespace {

// RNBIN's checks, in its order: the count, the trials, then (only when neither was refused)
// the probability. Returns whether the arguments were refused, after posting the messages.
bool refuse_arguments(std::int32_t nr, std::int32_t n, float p, errors::ErrorService& errors) {
  if (binomial_arguments_valid(nr, n, p)) return false;
  std::int32_t icode = 1;
  IARGCHK(nr, "NR", 1, icode, errors);
  IARGCHK(n, "N", 1, icode, errors);
  if (errors.N1RCD(0) == 0 && !probability_in_range(p)) {
    errors.E1VALR(1, p);
    errors.E1MES(errors::kTerminal, 3, kProbabilityMessage);
  }
  return true;
}

}  // namespace

void RNBIN(std::int32_t nr, std::int32_t n, float p, std::int32_t* ir, UniformStream& stream,
           BinomialSetup& setup, errors::ErrorService& errors) {
  errors.E1PSH("RNBIN");
  if (!refuse_arguments(nr, n, p, errors)) draw_binomial(nr, n, p, ir, stream, setup);
  errors.E1POP("RNBIN");
}

void RNBIN(std::int32_t nr, std::int32_t n, float p, std::int32_t* ir, Lehmer& stream, BinomialSetup& setup,
           errors::ErrorService& errors) {
  errors.E1PSH("RNBIN");
  if (!refuse_arguments(nr, n, p, errors)) draw_binomial(nr, n, p, ir, stream, setup);
  errors.E1POP("RNBIN");
}

}  // namespace oskev::random
