#pragma once

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>

#include "analysis/command_line.hpp"
#include "analysis/variant.hpp"
#include "random/clock.hpp"

namespace oskev::analysis {

// Everything a run touches outside itself, so that a whole run can be driven in-process.
struct RunEnvironment {
  std::istream& answers;            // unit 5: the console input
  std::ostream& console;            // unit 6: the console output and the library's messages
  std::ostream& errors;             // standard error: reports of runs that stop early
  std::filesystem::path directory;  // where study.txt is read and output.txt written
  random::Clock& clock;             // the local time of day, for the clock seeds
};

// One run from the banner to the last record of output.txt. Returns the exit status: 0 for a
// complete run, non-zero for every run that stops early (see errors/run_stopped.hpp).
int run_program(Variant variant, const RunEnvironment& environment, const RunOptions& options = {});

// The program's entry: the command line, then the run. `arguments` excludes the program name.
int program_main(Variant variant, const std::vector<std::string>& arguments, const RunEnvironment& environment);

}  // namespace oskev::analysis
