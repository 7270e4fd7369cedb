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
// complete run, non-zero for every run that stops early (see errors/run_stopped.hpp). A
// console that cannot be written stops the run too (status 4, reported on standard error),
// and a --plot picture that cannot be written is refused before the first question.
int run_program(Variant variant, const RunEnvironment& environment, const RunOptions& options = {});

// The program's entry: the command line, then the run. `arguments` excludes the program name.
// --help, --version and `analyse` also fail with status 4 when standard output cannot be
// written.
int program_main(Variant variant, const std::vector<std::string>& arguments, const RunEnvironment& environment);

// The process's own entry for either program: the console, the current folder, the system
// clock and the command line of this process, in the platform's own form.
int process_main(Variant variant, int argc, char** argv);

}  // namespace oskev::analysis
