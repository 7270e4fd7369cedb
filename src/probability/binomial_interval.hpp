#pragma once

#include <cstdint>

namespace oskev::probability {

// A two-sided interval for a binomial probability.
struct BinomialInterval {
  double lower;
  double upper;
};

// Exact (Clopper-Pearson) two-sided interval for `successes` out of `trials` at confidence
// `level` (0.95 for a 95% interval): each tail holds (1 - level) / 2. The lower limit is 0 when
// there are no successes, the upper limit 1 when every trial is a success. Both limits are
// not-a-number for no trials, a count outside 0 ... trials, or a level outside (0, 1).
// Never throws and never touches errno.
BinomialInterval clopper_pearson(std::int64_t successes, std::int64_t trials, double level = 0.95);

// Exact two-sided interval for p after inverse binomial sampling: Bernoulli trials were made
// until the `successes`-th success, which came at trial `trials` (the Besag-Clifford rule
// stopping after h runs not above Q, at run L). The number of trials L is then the random
// quantity, so the limits come from its distribution: the lower limit solves
// P(X_L >= h) = (1 - level) / 2 (the Clopper-Pearson lower limit of h of L) and the upper limit
// solves P(X_{L-1} <= h - 1) = (1 - level) / 2 (the Clopper-Pearson upper limit of h - 1 of
// L - 1), X_n binomial with n trials. The upper limit is 1 when every trial was a success.
// Combined with clopper_pearson for a simulation that reached its maximum of runs before the
// h-th success, the interval covers p with at least the stated level. Both limits are
// not-a-number for no successes, more successes than trials, or a level outside (0, 1).
// Never throws and never touches errno.
BinomialInterval inverse_binomial(std::int64_t successes, std::int64_t trials, double level = 0.95);

// Standard error of p = h / L after inverse binomial sampling (h successes reached at trial L):
// sqrt(p^2 (1 - p) / h), the large-sample standard deviation of h / L when the number of
// trials is the random quantity, evaluated at p = h / L. (At that p it equals
// sqrt(p (1 - p) / L), the binomial formula for the same counts.) Not-a-number for no successes
// or more successes than trials.
double inverse_binomial_standard_error(std::int64_t successes, std::int64_t trials);

// Monte Carlo standard error of p = successes / trials: sqrt(p (1 - p) / trials).
// Not-a-number for no trials or a count outside 0 ... trials.
double monte_carlo_standard_error(std::int64_t successes, std::int64_t trials);

}  // namespace oskev::probability
