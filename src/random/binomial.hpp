#pragma once

// Binomial variates as the library's RNBIN presents them: the argument checks that post to the
// error service, the choice between inversion and BTPE, and the mirror for P above one half.

#include <cstdint>

#include "errors/error_service.hpp"
#include "random/binomial_fold.hpp"
#include "random/binomial_inversion.hpp"
#include "random/btpe.hpp"
#include "random/lehmer.hpp"
#include "random/uniform_stream.hpp"

namespace oskev::random {

// Whether RNBIN accepts these arguments (draws without posting any message).
inline bool binomial_arguments_valid(std::int32_t nr, std::int32_t n, float p) {
  return nr >= 1 && n >= 1 && p > 0.0f && p < 1.0f;  // false for a probability that is not a number
}

// BTPE: ir[0 ... nr-1] <- counts of pp-successes (not mirrored), two uniforms per attempt, with
// a made set-up: one variate at a time for a few, a block of attempts at a time for many.
void binomial_btpe(std::int32_t nr, const BinomialSetup& setup, std::int32_t* ir, Lehmer& stream);

// RNBIN's draws for arguments known to be valid (nr >= 1, n >= 1, 0 < p < 1), where RNBIN
// would post nothing: the same variates and the same uniforms, without the error service.
// `setup` is the retained BTPE set-up, made anew when (n, p) differs from the pair it holds.
void draw_binomial(std::int32_t nr, std::int32_t n, float p, std::int32_t* ir, Lehmer& stream, BinomialSetup& setup);
inline void draw_binomial(std::int32_t nr, std::int32_t n, float p, std::int32_t* ir, UniformStream& stream,
                          BinomialSetup& setup) {
  draw_binomial(nr, n, p, ir, stream.draws(), setup);
}

// ir[0 ... nr-1] <- binomial (n, p) variates from `stream`. nr < 1, n < 1 and p outside
// (0, 1) (including not-a-number) are TERMINAL errors of RNBIN: nothing is drawn or written.
void RNBIN(std::int32_t nr, std::int32_t n, float p, std::int32_t* ir, UniformStream& stream,
           BinomialSetup& setup, errors::ErrorService& errors);
// The same on a stream that is already seeded, as a draw seeded by GETBIN is.
void RNBIN(std::int32_t nr, std::int32_t n, float p, std::int32_t* ir, Lehmer& stream, BinomialSetup& setup,
           errors::ErrorService& errors);

}  // namespace oskev::random
