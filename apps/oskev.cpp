#include <filesystem>
#include <iostream>
#include <unistd.h>
#include <string>
#include <vector>

#include "analysis/program/program.hpp"

int main(int argc, char** argv) {
  oskev::random::SystemClock clock;
  const oskev::analysis::RunEnvironment environment{std::cin, std::cout, std::cerr, std::filesystem::current_path(),
                                                    clock, ::isatty(STDERR_FILENO) == 1};
  return oskev::analysis::program_main(oskev::analysis::Variant::kOskev, std::vector<std::string>(argv + 1, argv + argc),
                                       environment);
}
