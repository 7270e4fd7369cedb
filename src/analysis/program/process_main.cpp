#include <filesystem>
#include <iostream>

#include "analysis/program/platform.hpp"
#include "analysis/program/program.hpp"
#include "random/clock.hpp"

namespace oskev::analysis {

int process_main(Variant variant, int argc, char** argv) {
  report_closed_pipes_as_write_failures();
  const Utf8Console console;
  random::SystemClock clock;
  const RunEnvironment environment{std::cin,
                                   std::cout,
                                   std::cerr,
                                   std::filesystem::current_path(),
                                   clock,
                                   standard_error_is_terminal(),
                                   kNativeLineEnd,
                                   standard_input_identity()};
  return program_main(variant, command_line_arguments(argc, argv), environment);
}

}  // namespace oskev::analysis
