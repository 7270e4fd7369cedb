#pragma once

namespace oskev::probability {

// The standard normal quantile: the z with P(Z <= z) = p, for 0 < p < 1 (not-a-number for any
// other p, 0 and 1 included), to a relative error of a few units of 1e-16, down to the smallest
// subnormal p. normal_quantile(0.975) = 1.9599639845400538, the quantile 1.95996398454005386 of
// the double nearest 0.975, rounded. A plain function on the project's own elementary
// functions: the same bits on every platform.
double normal_quantile(double p);

}  // namespace oskev::probability
