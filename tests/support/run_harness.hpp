#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "analysis/program/program.hpp"
#include "random/clock.hpp"

namespace oskev::testing {

// A scratch folder that disappears with the test.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::filesystem::path& path() const noexcept { return path_; }

 private:
  std::filesystem::path path_;
};

std::string read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, const std::string& text);

// What one in-process run left behind.
struct RunOutcome {
  int status = -1;
  std::string console;
  std::string errors;
  std::optional<std::string> output;  // output.txt after the run, if there is one
  bool study_exists = false;          // study.txt after the run
};

struct RunSetup {
  analysis::Variant variant = analysis::Variant::kOskev;
  std::string answers;
  std::optional<std::string> study;          // study.txt before the run; none: missing
  std::optional<std::string> output_before;  // an output.txt left from an earlier run
  random::TimeOfDay time{10, 30, 15};
  std::string_view line_end = "\n";  // of output.txt
};

RunOutcome run_in_scratch(const RunSetup& setup);

}  // namespace oskev::testing
