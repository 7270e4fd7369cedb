#pragma once

#include "analysis/estimates/study_table.hpp"
#include "probability/special_functions.hpp"

namespace oskev::analysis {

// The observed Mantel-Haenszel summary risk ratio, the heterogeneity statistic Q and its
// asymptotic (chi-squared, NSTUDY - 1 degrees of freedom) P-value.
struct ObservedStatistics {
  float SUMA = 0.0f;   // sum of e1*s2/NTOT
  float SUMC = 0.0f;   // sum of e2*s1/NTOT
  float RRMH = 0.0f;   // SUMA / SUMC
  float Q = 0.0f;      // sum of WEIGHT * (ln RR - ln RRMH)^2
  double DF = 0.0;     // NSTUDY - 1
  double PASYM = 0.0;  // 1 - chi-squared distribution function of Q
};

// SUMA, SUMC and RRMH, from the corrected counts and the truncated study sizes.
void compute_summary(const StudyTable& table, ObservedStatistics& observed);

// Q from the study weights and risk ratios, then DF and PASYM. Fewer than two studies make
// the chi-squared distribution refuse its degrees of freedom, which stops the run.
void compute_heterogeneity(const StudyTable& table, std::int32_t nstudy, ObservedStatistics& observed,
                           probability::SpecialFunctions& special);

// Everything estimated from the complete study table: the summary, then Q and its P-value.
void estimate(const StudyTable& table, std::int32_t nstudy, ObservedStatistics& observed,
              probability::SpecialFunctions& special);

}  // namespace oskev::analysis
