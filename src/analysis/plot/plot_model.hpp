#pragma once

// What the picture of one meta-analysis shows: its studies' risk ratios and the null distribution of Q.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "analysis/plot/q_distribution.hpp"

namespace oskev::analysis {

// One study of the forest plot. Values that are not finite are shown as such, not plotted.
struct PlotStudy {
  std::int32_t number = 0;  // 1, 2, ...
  float rr = 0.0f;          // risk ratio
  float rrll = 0.0f;        // lower 95% limit
  float rrul = 0.0f;        // upper 95% limit
  float weight = 0.0f;      // inverse-variance weight: the marker's size
};

// Everything the picture of a complete run shows.
struct PlotData {
  std::string program = "OSKEV";    // the program's name in the title
  std::int32_t iopt = 1;            // type of estimation
  std::vector<PlotStudy> studies;
  float rrmh = 0.0f;                // Mantel-Haenszel summary risk ratio
  float q = 0.0f;                   // observed heterogeneity statistic
  double pasym = 0.0;               // its asymptotic P-value
  float pemp = 0.0f;                // left-sided P-value from the simulation
  std::int32_t nruns = 0;
  std::vector<float> qsim;          // Q of every run; not a number where undefined (left out
                                    // of the histogram and counted in its caption)

  // Set only by a caller that has them; left empty, the picture is the one above.
  std::string title;                // the meta-analysis, named on a line of its own at the top
  std::vector<std::string> labels;  // one for each study, in the order of `studies`, in place of
                                    // its number (UTF-8; a missing or empty one: the number)
  std::optional<std::pair<float, float>> summary_limits;  // 95% limits of RRMH: a diamond
  std::optional<double> chi_squared_df;  // the asymptotic distribution of Q drawn over the histogram
  // The simulated Q of a run too long to list: when set, drawn in place of `qsim`.
  std::optional<QDistribution> distribution;
};

}  // namespace oskev::analysis
