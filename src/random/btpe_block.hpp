#pragma once

// Many BTPE variates from one stream, a block of attempts at a time.
//
// Must equal: btpe_variate (btpe.hpp) called nr times on the same stream, variate for variate,
// and leave the stream where those calls leave it. Proved by the tests
// BinomialTest.ManyVariatesInOneCallEqualOneVariatePerCall and BtpePaths.BlocksEqualTheOneVariateMethod.

#include <cstdint>

#include "random/btpe.hpp"
#include "random/lehmer.hpp"

namespace oskev::random {

// ir[0 ... nr-1] <- counts of pp-successes (not mirrored) with a made set-up.
void btpe_block(std::int32_t nr, const BinomialSetup& setup, std::int32_t* ir, Lehmer& stream);

}  // namespace oskev::random
