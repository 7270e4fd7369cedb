#pragma once

// The chi-squared distribution as plain functions of their arguments: both tails computed
// directly (neither as 1 minus the other where it is the smaller), so that a tail far below
// the rounding of 1 keeps its digits down to the smallest doubles, and the density. On the
// project's own elementary functions: the same bits on every platform. Not-a-number in gives
// not-a-number out; so does a number of degrees of freedom that is not positive and finite.

namespace oskev::probability {

// P(X > q) for X chi-squared with `df` degrees of freedom (any real df > 0): 1 for q < 0,
// 0 for q = +inf. Relative error a few units of 1e-16 for any df (among the subnormals, the
// step of their grid); 0 only where the value lies below the smallest subnormal.
double chi_squared_upper(double q, double df);

// P(X <= q), likewise: 0 for q < 0, 1 for q = +inf, accurate also where it is tiny (q far
// below df).
double chi_squared_lower(double q, double df);

// The density at x: 0 below 0 and at +inf; at 0 infinite for df < 2, 1/2 for df = 2 and 0
// for df > 2; not-a-number for x not a number.
double chi_squared_density(double x, double df);

}  // namespace oskev::probability
