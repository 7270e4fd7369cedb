#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "analysis/program/run_parameters.hpp"
#include "analysis/engine.hpp"
#include "analysis/variant.hpp"

namespace oskev::analysis {

// How a run is made beyond the five answers. The defaults are a run exactly as without any
// option.
struct RunOptions {
  // Every reading of the time of day (the start-up seeding and the first draw of the
  // simulation's private stream) yields this seed instead: the same answers, file and seed
  // give the same run on any machine at any time.
  std::optional<std::int32_t> seed;
  // After a complete run, a picture of the result, written like output.txt.
  std::optional<std::filesystem::path> plot;
  // The most runs the dialogue accepts, and the bounds on redrawn totals (lower only for
  // tests and fuzzing, which want many short runs).
  std::int32_t run_limit = kMaxRuns;
  RedrawLimits redraw_limits;
};

// What the command line asks for: a run with these options, or an answer given at once
// (--help, --version, a bad option) and the exit status to end with.
struct CommandLine {
  RunOptions options;
  std::optional<int> exit_status;
};

CommandLine parse_command_line(Variant variant, const std::vector<std::string>& arguments, std::ostream& out,
                               std::ostream& err);

std::string usage_text(Variant variant);
std::string version_text(Variant variant);

}  // namespace oskev::analysis
