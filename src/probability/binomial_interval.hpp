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

// Monte Carlo standard error of p = successes / trials: sqrt(p (1 - p) / trials).
// Not-a-number for no trials or a count outside 0 ... trials.
double monte_carlo_standard_error(std::int64_t successes, std::int64_t trials);

}  // namespace oskev::probability
