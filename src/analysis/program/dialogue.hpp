#pragma once

#include <cstdint>
#include <vector>

#include "analysis/engine.hpp"
#include "analysis/records/list_reader.hpp"
#include "analysis/records/list_writer.hpp"
#include "analysis/program/run_parameters.hpp"
#include "analysis/variant.hpp"

namespace oskev::analysis {

// Prints the banner, asks the five run parameters and echoes each answer. An answer the
// tables cannot hold (more than 100 studies, more than 80000 runs) or a type of estimation
// other than 1 or 2 stops the run right after its echo.
RunParameters run_dialogue(Variant variant, records::ListReader& answers, records::ListWriter& console,
                           std::int32_t run_limit = kMaxRuns);

// The line about the results file, printed once study.txt is open.
void announce_results_file(records::ListWriter& console);

// One read operation of 4 x nstudy integers from study.txt, study after study, each as
// e1 s1 e2 s2 (none for nstudy below 1).
std::vector<Study> read_study_file(records::ListReader& study, std::int32_t nstudy);

}  // namespace oskev::analysis
