#pragma once

// Probability layer: the chi-squared distribution function, on the special functions and machine constants beneath it.

#include "probability/special_functions.hpp"

namespace oskev::probability {

// Lower-tail chi-squared distribution function: the probability that a chi-squared variable
// with DF degrees of freedom (any real DF >= 0.5) is at most CHSQ.
// CHSQ < 0 is a NOTE (result 0); DF < 0.5 or not-a-number is a TERMINAL error; a normal
// approximation that underflows is an ALERT (result 0).
double DCHIDF(double chsq, double df, SpecialFunctions& sf);

}  // namespace oskev::probability
