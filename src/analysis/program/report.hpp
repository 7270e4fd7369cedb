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

// Replaces `path` with `text` as a whole: the text goes to a temporary file in the same
// folder, which is then renamed over `path`, so a reader never sees a half-written file and a
// failed write leaves an earlier file untouched. A device or pipe such as /dev/null is written
// to instead, never replaced. A failure stops the run (exit status 4).
void replace_file(const std::filesystem::path& path, const std::string& text);

}  // namespace oskev::analysis
