// The statistics a result holds beyond the dialogue's: the limits of RRMH, I², the chi-squared
// tails of Q and the left-sided P-value's companions.

#include "analysis/result.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "probability/binomial_interval.hpp"
#include "probability/chi_squared_tails.hpp"
#include "probability/normal_quantile.hpp"

namespace oskev::analysis {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

}  // namespace

bool Result::q_undefined() const { return std::isnan(observed.Q); }

void summary_limits(double level, Result& result) {
  const StudyTable& table = result.table;
  // Greenland and Robins: P, R and S summed over the studies, from the counts and study sizes
  // RRMH is formed with (the corrected counts and the truncated sizes).
  double p = 0.0, r = 0.0, s = 0.0;
  for (std::size_t i = 0; i < table.size(); ++i) {
    const auto& c = table.COUNT[i];
    const double e1 = c[kEvents1], s1 = c[kSubjects1], e2 = c[kEvents2], s2 = c[kSubjects2];
    const double n = table.NTOT[i];
    p += (s1 * s2 * (e1 + e2) - e1 * e2 * n) / (n * n);
    r += e1 * s2 / n;
    s += e2 * s1 / n;
  }
  result.log_rrmh_variance = p / (r * s);
  // Formed as each study's limits are, the half-width in single precision, with the normal
  // quantile of the level (1.959964 at 95%) in place of the studies' 1.96.
  const float se = static_cast<float>(std::sqrt(result.log_rrmh_variance));
  const double z = probability::normal_quantile(0.5 + level / 2.0);
  const float h = static_cast<float>(z * se);
  const double log_rrmh = std::log(double{result.observed.RRMH});
  result.rrmh_lower = static_cast<float>(std::exp(log_rrmh - h));
  result.rrmh_upper = static_cast<float>(std::exp(log_rrmh + h));
}

void heterogeneity_measures(Result& result) {
  const float q = result.observed.Q;
  const double df = result.observed.DF;
  if (std::isnan(q)) {
    result.i_squared = kNaN;
  } else if (!(q > 0.0f)) {
    result.i_squared = 0.0;
  } else {
    result.i_squared = std::max(0.0, (double{q} - df) / q) * 100.0;
  }
  result.p_upper = probability::chi_squared_upper(double{q}, df);
  result.p_lower = probability::chi_squared_lower(double{q}, df);
}

void left_tail_statistics(Result& result) {
  if (result.q_undefined()) {
    result.p_left = std::numeric_limits<float>::quiet_NaN();
    result.p_left_plus_one = result.mc_standard_error = result.p_left_lower = result.p_left_upper = kNaN;
    return;
  }
  const std::int64_t b = result.not_above;
  const std::int64_t m = result.runs;
  result.p_left = result.pemp;
  result.p_left_plus_one = static_cast<double>(b + 1) / static_cast<double>(m + 1);
  result.mc_standard_error = probability::monte_carlo_standard_error(b, m);
  const probability::BinomialInterval interval = probability::clopper_pearson(b, m, result.level);
  result.interval = IntervalKind::kClopperPearson;
  result.p_left_lower = interval.lower;
  result.p_left_upper = interval.upper;
}

}  // namespace oskev::analysis
