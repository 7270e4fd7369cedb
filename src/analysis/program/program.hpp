#pragma once

// Program layer: the faces of the two programs, the dialogue with its console and output.txt, the options, and the analyse command.

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>

#include "analysis/program/command_line.hpp"
#include "analysis/program/run_environment.hpp"
#include "analysis/variant.hpp"
#include "random/clock.hpp"

namespace oskev::analysis {

// One run from the banner to the last record of output.txt. Returns the exit status: 0 for a
// complete run, non-zero for every run that stops early (see errors/run_stopped.hpp).
int run_program(Variant variant, const RunEnvironment& environment, const RunOptions& options = {});

// The program's entry: the command line, then the run. `arguments` excludes the program name.
int program_main(Variant variant, const std::vector<std::string>& arguments, const RunEnvironment& environment);

}  // namespace oskev::analysis
