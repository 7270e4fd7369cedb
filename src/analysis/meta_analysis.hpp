#pragma once

#include <cstdint>
#include <vector>

#include "analysis/engine.hpp"

namespace oskev::analysis {

// One study as counted: events and subjects of arm 1, then of arm 2.
struct StudyCounts {
  std::int32_t e1 = 0;
  std::int32_t s1 = 0;
  std::int32_t e2 = 0;
  std::int32_t s2 = 0;
};

// Analyses one meta-analysis on a library of its own seeded with `settings.seed`: for the same
// studies, corrections, type of estimation, runs and seed every value equals what
// `oskev --seed N` prints and writes. Settings the dialogue would take but no table of
// studies can mean (a type of estimation other than 1 or 2, a negative correction) are refused.
// Never throws for a meta-analysis that cannot be analysed (that is the status); an exception
// from `on_runs` propagates.
AnalysisResult analyse(const std::vector<StudyCounts>& studies, const AnalysisSettings& settings);

}  // namespace oskev::analysis
