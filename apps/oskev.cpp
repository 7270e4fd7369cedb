#include <filesystem>
#include <iostream>

#include "analysis/program.hpp"

int main() {
  oskev::random::SystemClock clock;
  oskev::analysis::RunEnvironment environment{std::cin, std::cout, std::cerr, std::filesystem::current_path(), clock};
  return oskev::analysis::run_program(oskev::analysis::Variant::kOskev, environment);
}
