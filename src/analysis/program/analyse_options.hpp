#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "analysis/batch/batch_output.hpp"
#include "analysis/engine.hpp"
#include "analysis/variant.hpp"

namespace oskev::analysis {

// What `oskev analyse` is asked to do.
struct AnalyseOptions {
  std::vector<std::string> files;  // "-" for standard input
  Model model;
  Run run;                         // run.seed is 0 when no seed was given
  OutputFormat format = OutputFormat::kTable;
  std::optional<std::string> output;  // the results file; none: standard output
  unsigned jobs = 1;
  std::optional<std::string> plot;  // pattern of the pictures' names
};

struct ParsedAnalyse {
  AnalyseOptions options;
  std::optional<int> exit_status;  // set when there is nothing to analyse: help, or a bad line
};

// Reads the command line after "analyse"; --help goes to `out`, a bad option to `err` (status 64).
ParsedAnalyse parse_analyse_options(Variant variant, const std::vector<std::string>& arguments, std::ostream& out,
                                    std::ostream& err);

}  // namespace oskev::analysis
