#pragma once

// The statistics of every simulated run: its Mantel-Haenszel summary risk ratio and its
// heterogeneity statistic Q, from the simulated tables of all studies.

#include <cstddef>
#include <vector>

#include "analysis/simulation/simulated_tables.hpp"

namespace oskev::analysis {

// QSIM of every run: its Mantel-Haenszel summary from all studies' tables, then the
// inverse-variance weighted squared distances of the studies' log risk ratios from it.
// Large sets are spread over helper threads when `may_spread`.
std::vector<float> run_statistics(const std::vector<SimulatedStudy>& studies, std::size_t runs,
                                  bool may_spread = true);

}  // namespace oskev::analysis
