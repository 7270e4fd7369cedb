#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>
#include <string_view>

#include "random/clock.hpp"

namespace oskev::analysis {

// Everything a run touches outside itself, so that a whole run can be driven in-process.
struct RunEnvironment {
  std::istream& answers;            // unit 5: the console input (and `analyse -`'s table)
  std::ostream& console;            // unit 6: the console output and the library's messages
  std::ostream& errors;             // standard error: reports of runs that stop early
  std::filesystem::path directory;  // where study.txt is read and output.txt written
  random::Clock& clock;             // the local time of day, for the clock seeds
  bool errors_is_terminal = false;  // whether a person watches standard error (progress lines)
  std::string_view line_end = "\n";  // of output.txt and results files (the console's is the stream's)
  std::string answers_file = {};     // the plain file `answers` reads, if any (resolved_identity's terms)
};

}  // namespace oskev::analysis
