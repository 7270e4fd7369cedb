#pragma once

#include <array>
#include <string>
#include <vector>

#include "analysis/estimates/observed.hpp"
#include "analysis/records/list_writer.hpp"
#include "analysis/estimates/study_table.hpp"
#include "analysis/variant.hpp"

namespace oskev::analysis {

// OSKEV's console before the simulation: one record per study with four counts (as read, or
// corrected), then an empty line.
void print_counts(records::ListWriter& console, const std::vector<std::array<float, 4>>& counts);
// The heading, one record per study with its number, RR and limits, then an empty line.
void print_risk_ratios(records::ListWriter& console, const StudyTable& table);
// The "RRMHobs=" and "Qobs=" records, each followed by an empty line.
void print_observed(records::ListWriter& console, const ObservedStatistics& observed);

// The results on the console: OSKEV's two result lines or OSKEV v1.0's framed block, then
// how many runs had an undefined Q, if any did, and whether the observed Q itself is undefined.
void print_results(Variant variant, records::ListWriter& console, const ObservedStatistics& observed, float pemp,
                   std::int32_t undefined_runs, bool q_undefined);

// The 14 records of output.txt.
std::string results_file_text(Variant variant, std::int32_t iopt, const ObservedStatistics& observed, float pemp);


}  // namespace oskev::analysis
