#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "analysis/program/platform.hpp"
#include "analysis/program/program.hpp"

int main(int argc, char** argv) {
  namespace analysis = oskev::analysis;
  const analysis::Utf8Console console;
  oskev::random::SystemClock clock;
  const analysis::RunEnvironment environment{std::cin,
                                             std::cout,
                                             std::cerr,
                                             std::filesystem::current_path(),
                                             clock,
                                             analysis::standard_error_is_terminal(),
                                             analysis::kNativeLineEnd};
  return analysis::program_main(analysis::Variant::kOskevV10, analysis::command_line_arguments(argc, argv), environment);
}
