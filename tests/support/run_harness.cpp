#include "support/run_harness.hpp"

#include <atomic>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace oskev::testing {

namespace fs = std::filesystem;

ScratchFolder::ScratchFolder() {
  static std::atomic<int> counter{0};
  path_ = fs::temp_directory_path() /
          ("oskev-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
  fs::remove_all(path_);
  fs::create_directories(path_);
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void write_file(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

RunOutcome run_in_scratch(const RunSetup& setup) {
  ScratchFolder folder;
  if (setup.study) write_file(folder.path() / "study.txt", *setup.study);
  if (setup.output_before) write_file(folder.path() / "output.txt", *setup.output_before);
  std::istringstream answers(setup.answers);
  std::ostringstream console, errors;
  FailingStream failing(setup.console_fails_after.value_or(0));
  random::FixedClock clock(setup.time);
  std::ostream& shown = setup.console_fails_after ? static_cast<std::ostream&>(failing) : console;
  analysis::RunEnvironment environment{answers, shown, errors, folder.path(), clock};
  environment.line_end = setup.line_end;

  RunOutcome outcome;
  outcome.status = analysis::run_program(setup.variant, environment);
  outcome.console = setup.console_fails_after ? failing.taken() : console.str();
  outcome.errors = errors.str();
  if (fs::exists(folder.path() / "output.txt")) outcome.output = read_file(folder.path() / "output.txt");
  outcome.study_exists = fs::exists(folder.path() / "study.txt");
  // Nothing else may be left behind (no temporary results file).
  for (const auto& entry : fs::directory_iterator(folder.path())) {
    const std::string name = entry.path().filename().string();
    if (name != "study.txt" && name != "output.txt") outcome.errors += "[left behind: " + name + "]";
  }
  return outcome;
}

CommandOutcome run_command(const std::filesystem::path& folder, const std::vector<std::string>& arguments,
                           const CommandSetup& setup) {
  std::istringstream in(setup.input);
  std::ostringstream out, err;
  random::FixedClock clock(setup.time);
  analysis::RunEnvironment environment{in, out, err, folder, clock, setup.terminal};
  environment.answers_file = setup.answers_file;
  CommandOutcome o;
  o.status = analysis::program_main(analysis::Variant::kOskev, arguments, environment);
  o.out = out.str();
  o.err = err.str();
  return o;
}

}  // namespace oskev::testing
