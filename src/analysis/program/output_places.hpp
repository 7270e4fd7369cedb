#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "analysis/program/run_environment.hpp"

namespace oskev::analysis {

// A file a run is to write: where it is, and how the user named it (with the option that named
// it: "-o r.csv", "--plot plots/{name}.svg").
struct OutputPlace {
  std::filesystem::path path;
  std::string shown;   // the name as given
  std::string option;  // "-o" or "--plot"
};

// Refuses, before any work, outputs that would overwrite a file the run reads or each other,
// compared by the files their names reach (resolved_identity), and then every output whose
// place cannot take the file, so that no result is lost at the end:
//   - an output that is one of `inputs` (names as given; "-" is standard input, whose file is
//     `environment.answers_file`): "-o in.csv would overwrite the input in.csv" (status 64);
//   - two outputs that are one file: "-o r.csv and --plot r.csv are the same file" (64); two
//     pictures of one pattern are reported by the caller, which knows the meta-analyses;
//   - a place that cannot be written: "cannot write x/r.csv: the folder x does not exist" (4).
//     The folders of pictures are made here, as their writing would make them.
// Throws errors::RunStopped with the report.
void check_output_places(const RunEnvironment& environment, const std::vector<std::string>& inputs,
                         const std::vector<OutputPlace>& outputs, bool make_folders);

}  // namespace oskev::analysis
