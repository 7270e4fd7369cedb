#pragma once

#include <filesystem>
#include <vector>

#include "analysis/observed.hpp"
#include "analysis/records/list_writer.hpp"
#include "analysis/run_parameters.hpp"
#include "analysis/simulation.hpp"
#include "analysis/variant.hpp"

namespace oskev::analysis {

// The left-sided ("extreme homogeneity") P-value: the share of runs whose Q does not exceed
// the observed Q. A run whose Q is not a number is not counted; the divisor stays NRUNS.
float empirical_p_value(const std::vector<float>& qsim, float q, std::int32_t nruns);

// The results on the console: OSKEV's two result lines or OSKEV v1.0's framed block, then
// how many runs had an undefined Q, if any did.
void print_results(Variant variant, records::ListWriter& console, const ObservedStatistics& observed, float pemp,
                   std::int32_t undefined_runs);

// The 14 records of output.txt.
std::string results_file_text(Variant variant, std::int32_t iopt, const ObservedStatistics& observed, float pemp);


}  // namespace oskev::analysis
