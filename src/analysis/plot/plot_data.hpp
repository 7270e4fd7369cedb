#pragma once

#include <cstdint>
#include <string>

#include "analysis/estimates/observed.hpp"
#include "analysis/plot/plot_model.hpp"
#include "analysis/estimates/study_table.hpp"

namespace oskev::analysis {

// What the picture shows of a run's studies and observed statistics; the caller adds the
// simulated Q (and, without the dialogue, the labels, the summary's limits and the name).
PlotData plot_data(const std::string& program, std::int32_t iopt, const StudyTable& table, const ObservedStatistics& observed,
                   float pemp, std::int32_t nruns);

}  // namespace oskev::analysis
