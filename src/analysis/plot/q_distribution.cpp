#include "analysis/plot/q_distribution.hpp"

#include <algorithm>
#include <cmath>

namespace oskev::analysis {

void QSurvey::add(float q) {
  if (std::isnan(q)) {
    ++undefined;
  } else if (std::isinf(q)) {
    ++infinite;
  } else {
    lo = finite == 0 ? q : std::min(lo, static_cast<double>(q));
    hi = finite == 0 ? q : std::max(hi, static_cast<double>(q));
    ++finite;
  }
}

plot_axes::Histogram q_histogram_bins(const QSurvey& survey, float observed_q) {
  double lo = survey.lo, hi = survey.hi;
  const double reach =
      survey.hi > survey.lo ? (survey.hi - survey.lo) / 2.0 : std::max(std::fabs(survey.hi), 1.0) / 2.0;
  if (std::isfinite(observed_q) && observed_q >= lo - reach && observed_q <= hi + reach) {
    lo = std::min(lo, static_cast<double>(observed_q));
    hi = std::max(hi, static_cast<double>(observed_q));
  }
  if (lo >= 0.0 && lo <= hi / 2.0) lo = 0.0;
  const int target = plot_axes::histogram_bin_target(static_cast<std::size_t>(survey.finite));
  return plot_axes::empty_histogram(lo, hi, target);
}

QDistribution::QDistribution(float observed_q) : observed_q_(observed_q) {}

void QDistribution::add(std::span<const float> qsim) {
  // Room for the values to keep, grown geometrically but never beyond the most that are kept.
  if (!bins_) {
    const std::size_t wanted = std::min(kExactRuns, kept_.size() + qsim.size());
    if (wanted > kept_.capacity()) kept_.reserve(std::min(kExactRuns, std::max(wanted, 2 * kept_.capacity())));
  }
  for (float q : qsim) add_one(q);
}

void QDistribution::add_one(float q) {
  ++runs_;
  survey_.add(q);
  if (runs_ <= static_cast<std::int64_t>(kExactRuns)) finite_in_first_runs_ = survey_.finite;
  if (!std::isfinite(q)) return;
  if (bins_) {
    bins_->add(q);
    return;
  }
  // The bins come from the finite values of the first runs. Should none of those be finite,
  // the first kExactRuns finite values that follow take their place, so memory stays bounded
  // either way.
  if (runs_ > static_cast<std::int64_t>(kExactRuns) && (finite_in_first_runs_ > 0 || kept_.size() >= kExactRuns)) {
    fix_bins();
    bins_->add(q);
    return;
  }
  kept_.push_back(q);
}

void QDistribution::fix_bins() {
  QSurvey kept_survey;
  for (float q : kept_) kept_survey.add(q);
  plot_axes::Histogram bins = q_histogram_bins(kept_survey, observed_q_);
  for (float q : kept_) bins.add(q);
  bins_ = std::move(bins);
}

plot_axes::Histogram QDistribution::histogram(float observed_q) const {
  if (bins_) return *bins_;
  if (kept_.empty()) return plot_axes::Histogram{0.0, 1.0, {}};
  // While nothing is binned every finite value is kept, so the survey is theirs.
  plot_axes::Histogram h = q_histogram_bins(survey_, observed_q);
  for (float q : kept_) h.add(q);
  return h;
}

}  // namespace oskev::analysis
