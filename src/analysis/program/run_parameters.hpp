#pragma once

#include <cstdint>

namespace oskev::analysis {

// The five answers of the dialogue. A slash or an empty answer list leaves a value as it
// was at start: 0.
struct RunParameters {
  std::int32_t NSTUDY = 0;  // number of studies in study.txt
  std::int32_t NRUNS = 0;   // number of simulation runs
  float CCONE = 0.0f;       // continuity correction, zero events in one arm
  float CCBOTH = 0.0f;      // continuity correction, zero events in both arms
  std::int32_t IOPT = 0;    // 1 = fixed, 2 = random prevalence of total events
};

}  // namespace oskev::analysis
