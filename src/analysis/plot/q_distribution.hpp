#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <vector>

#include "analysis/plot/plot_axes.hpp"

namespace oskev::analysis {

// How many simulated Q are finite, undefined (not a number: a zero cell no correction
// removed) or infinite, and the range of the finite ones.
struct QSurvey {
  std::int64_t finite = 0;
  std::int64_t undefined = 0;
  std::int64_t infinite = 0;
  double lo = 0.0;  // smallest and largest finite value; 0 while there is none
  double hi = 0.0;

  void add(float q);
};

// The bins the picture draws the simulated Q in, from the survey of the values binned and the
// observed Q: the axis takes in the observed Q when it lies within half the simulated range of
// it (farther out the picture points to it with an arrow), and, Q being a sum of squares, an
// axis that would start at no more than half its end starts at 0. About twice the cube root
// of the number of finite values in bins (histogram_bin_target). Every count 0. Needs at
// least one finite value in the survey.
plot_axes::Histogram q_histogram_bins(const QSurvey& survey, float observed_q);

// The simulated Q of a run of any length, in flat memory. The first kExactRuns values are kept
// as they are, so up to that many runs the histogram is the very one drawn from the full list.
// With the first finite value of a later run the bins are fixed from the kept values (and the
// observed Q given here); that and every later finite value are counted into them, a value
// outside them in the nearest end bin. Undefined and infinite values are only counted.
class QDistribution {
 public:
  static constexpr std::size_t kExactRuns = 80000;  // the dialogue's largest number of runs

  // The observed Q is needed only once there are more than kExactRuns runs; without it the
  // bins then span the simulated values alone.
  explicit QDistribution(float observed_q = std::numeric_limits<float>::quiet_NaN());

  // The simulated Q of the next runs, in run order.
  void add(std::span<const float> qsim);

  std::int64_t runs() const { return runs_; }
  std::int64_t finite() const { return survey_.finite; }
  std::int64_t undefined() const { return survey_.undefined; }
  std::int64_t infinite() const { return survey_.infinite; }
  const QSurvey& survey() const { return survey_; }
  // Whether there were too many runs to keep: the bins are fixed.
  bool binned() const { return bins_.has_value(); }
  // The finite values kept (all of them until the bins are fixed), in run order.
  const std::vector<float>& kept() const { return kept_; }

  // The histogram of every finite value. While all are kept its bins follow `observed_q` (as
  // the picture of a list of Q would); once fixed they are those of the constructor's
  // observed Q. No bins at all without a finite value.
  plot_axes::Histogram histogram(float observed_q) const;

 private:
  void add_one(float q);
  void fix_bins();

  float observed_q_;
  std::int64_t runs_ = 0;
  std::int64_t finite_in_first_runs_ = 0;
  QSurvey survey_;
  std::vector<float> kept_;
  std::optional<plot_axes::Histogram> bins_;
};

}  // namespace oskev::analysis
