#pragma once

#include "probability/double_double.hpp"

namespace oskev::probability::elementary {

// The exponential, natural logarithm and power of double precision, correctly rounded (to
// nearest, ties to even), computed with double-double arithmetic alone: the same bits on
// every platform and processor, whatever the C library. The C libraries' own functions
// differ in the last bit, between libraries and, in the GNU one, between processors with
// and without fused multiply-add, and the asymptotic P-value shows 15 or 17 digits of what
// is built on them.
//
// The working precision, about 2^-100 relative, decides the rounding of every argument
// whose exact value does not lie within that distance of a midpoint between two doubles
// (the rare arguments that do are the known hard cases of these functions). pow(x, y) for
// a negative x and an integral y is computed as ±pow(|x|, y); zeros, infinities and
// not-a-number take the values the C standard gives them.
double exp(double x);
double log(double x);
double pow(double x, double y);

// For sums of logarithms that must keep more digits than a double holds (the far tails of
// distributions): ln x for a positive, finite x as hi + lo, to about 2^-100 relative, and
// e^(hi + lo) correctly rounded as exp(double) is (hi + lo decides near the ends of the range).
Wide log_wide(double x);
double exp(Wide x);
// e^(hi + lo) as a double-double, to about 2^-100 relative, where both parts are normal numbers
// (arguments from -600 to 700); beyond, exp(x) with a zero low part.
Wide exp_wide(Wide x);

}  // namespace oskev::probability::elementary
