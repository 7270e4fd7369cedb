#include "analysis/program/output_places.hpp"

#include <map>

#include "analysis/program/platform.hpp"
#include "analysis/program/replace_file.hpp"
#include "errors/run_stopped.hpp"
#include "text/utf8.hpp"

namespace oskev::analysis {

namespace fs = std::filesystem;

void check_output_places(const RunEnvironment& environment, const std::vector<std::string>& inputs,
                         const std::vector<OutputPlace>& outputs, bool make_folders) {
  auto refuse = [](const std::string& why) { throw errors::RunStopped(errors::kExitUsage, why); };
  auto named = [](const OutputPlace& o) { return o.option + " " + text::shown_name(o.shown); };

  std::map<std::string, std::string> read;  // identity -> the input's name
  for (const std::string& input : inputs) {
    const fs::path path = environment.directory / path_from_utf8(input);
    std::error_code error;
    // A file that does not exist is reported as unread, and overwrites nothing.
    if (input != "-" && !fs::exists(path, error)) continue;
    const std::string identity = input == "-" ? environment.answers_file : resolved_identity(path);
    if (!identity.empty()) read.emplace(identity, input);
  }
  std::map<std::string, const OutputPlace*> written;
  for (const OutputPlace& output : outputs) {
    const std::string identity = resolved_identity(output.path);
    if (identity.empty()) continue;  // a device, a pipe: written to, never replaced
    if (const auto input = read.find(identity); input != read.end()) {
      refuse(named(output) + " would overwrite the input " +
             (input->second == "-" ? std::string("on standard input") : text::shown_name(input->second)));
    }
    if (const auto [earlier, fresh] = written.emplace(identity, &output); !fresh && earlier->second->option != output.option) {
      refuse(named(*earlier->second) + " and " + named(output) + " are the same file");
    }
  }
  for (const OutputPlace& output : outputs) {
    if (make_folders && output.option == "--plot" && output.path.has_parent_path()) {
      std::error_code ignored;  // a folder that cannot be made shows in the check below
      fs::create_directories(output.path.parent_path(), ignored);
    }
    check_replaceable(output.path, output.shown);
  }
}

}  // namespace oskev::analysis
