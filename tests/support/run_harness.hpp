#pragma once

#include <filesystem>
#include <optional>
#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

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

// An output stream that takes the first `accepted` bytes and fails every write after them, as
// standard output does on a full disk (/dev/full) or a closed pipe.
class FailingStream : public std::ostream {
 public:
  explicit FailingStream(std::size_t accepted = 0) : std::ostream(nullptr), buffer_(accepted) { rdbuf(&buffer_); }
  // What was written before the failure.
  const std::string& taken() const noexcept { return buffer_.taken; }

 private:
  struct Buffer : std::streambuf {
    explicit Buffer(std::size_t accepted) : room(accepted) {}
    int_type overflow(int_type c) override {
      if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
      if (taken.size() >= room) return traits_type::eof();
      taken += traits_type::to_char_type(c);
      return c;
    }
    std::size_t room;
    std::string taken;
  } buffer_;
};

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
  std::optional<std::size_t> console_fails_after;  // bytes the console takes before it fails
  std::string_view line_end = "\n";                // of output.txt
};

RunOutcome run_in_scratch(const RunSetup& setup);

// What one in-process run of a program with arguments wrote, in `folder`.
struct CommandOutcome {
  int status = -1;
  std::string out;
  std::string err;
};

struct CommandSetup {
  std::string input;                   // standard input
  random::TimeOfDay time{10, 30, 15};  // the clock's reading
  bool terminal = false;               // standard error is a terminal
  std::string answers_file;            // the dialogue's --answers file, if any
};

CommandOutcome run_command(const std::filesystem::path& folder, const std::vector<std::string>& arguments,
                           const CommandSetup& setup = {});

}  // namespace oskev::testing
