#pragma once

// One analysed meta-analysis: every number any face reports, and how the result forms its own
// statistics from the observed table and the counted runs.

#include <cstdint>

#include "analysis/estimates/observed.hpp"
#include "analysis/estimates/study_table.hpp"

namespace oskev::analysis {

// Which exact interval a result gives for the left-sided P-value.
enum class IntervalKind {
  kClopperPearson,   // b of a fixed number m of runs
  kInverseBinomial,  // the sequential rule reached h runs not above Q at run L
};

// Every number of one analysed meta-analysis, computed once, here.
struct Result {
  StudyTable table;             // corrected counts, per-study risk ratios, limits, weights
  ObservedStatistics observed;  // RRMH, Q, DF and PASYM = 1 - DCHIDF, as the dialogue prints it
  // The chi-squared tails of Q with DF degrees of freedom, accurate down to the smallest
  // doubles: the upper P(X > Q), the usual test of heterogeneity, formed as a complement, and
  // the lower P(X <= Q), the asymptotic counterpart of the left-sided P-value.
  double p_upper = 0.0;
  double p_lower = 0.0;
  // Greenland-Robins variance of ln RRMH, from the same corrected counts and study sizes as
  // RRMH itself, and the limits of RRMH at the run's level (the normal quantile of that level;
  // single precision, like RRMH).
  double log_rrmh_variance = 0.0;
  float rrmh_lower = 0.0f;
  float rrmh_upper = 0.0f;
  double i_squared = 0.0;  // max(0, (Q - DF) / Q), as a percentage

  std::int64_t runs = 0;       // runs made: m, or L when the sequential rule stopped early
  std::int64_t not_above = 0;  // b: runs whose simulated Q is not above Q
  std::int64_t undefined = 0;  // runs whose simulated Q is not a number (never counted in b)
  bool stopped_early = false;  // the sequential rule decided before the last run
  float pemp = 0.0f;           // b / m in single precision: what the dialogue prints and writes

  // The left-sided P-value for everyone but the dialogue: b / m, (b + 1) / (m + 1), the Monte
  // Carlo standard error and the exact interval at the run's level. All not a number when the
  // observed Q is not (no simulated Q can then be "not above" it).
  float p_left = 0.0f;
  double p_left_plus_one = 0.0;
  double mc_standard_error = 0.0;
  double p_left_lower = 0.0;
  double p_left_upper = 0.0;
  IntervalKind interval = IntervalKind::kClopperPearson;

  std::int32_t seed = 0;  // the run's seed, so that it can be repeated
  double level = 0.95;

  bool q_undefined() const;  // the observed Q is not a number: the left-sided P-value means nothing
};

// The Greenland-Robins variance of ln RRMH and the limits of RRMH at `level`.
void summary_limits(double level, Result& result);

// I² and the two chi-squared tails of the observed Q.
void heterogeneity_measures(Result& result);

// P left = b/m, (b+1)/(m+1), the Monte Carlo standard error and the exact interval at the
// result's level; not a number throughout when the observed Q is not.
void left_tail_statistics(Result& result);

}  // namespace oskev::analysis
