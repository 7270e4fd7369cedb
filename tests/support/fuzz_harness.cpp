#include "support/fuzz_harness.hpp"

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <vector>

#include "analysis/program.hpp"
#include "analysis/records/list_reader.hpp"
#include "support/run_harness.hpp"

namespace oskev::testing {

namespace fs = std::filesystem;

std::optional<std::string> fuzz_list_reader(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return std::nullopt;
  const std::uint8_t pattern = data[0];
  std::istringstream in(std::string(reinterpret_cast<const char*>(data + 1), size - 1));
  records::ListReader reader(in, 10, "fuzz.txt");
  const std::size_t per_read = 1 + (pattern & 7u);
  std::vector<std::int32_t> integers(per_read, 0);
  std::vector<float> reals(per_read, 0.0f);
  std::vector<records::ListReader::Target> targets;
  for (std::size_t j = 0; j < per_read; ++j) {
    if ((pattern >> (3 + j % 5)) & 1u) {
      targets.emplace_back(&reals[j]);
    } else {
      targets.emplace_back(&integers[j]);
    }
  }
  for (int read = 0; read < 64; ++read) {
    try {
      reader.read(targets);
    } catch (const records::InputError& error) {
      const std::string text = error.condition_text();
      const bool known = text == "end-of-file during read, unit 10, file fuzz.txt" ||
                         text == "input conversion error, unit 10, file fuzz.txt" ||
                         text == "list-directed I/O syntax error, unit 10, file fuzz.txt";
      if (!known) return "unexpected condition text: " + text;
      return std::nullopt;
    }
  }
  return std::nullopt;
}

std::optional<std::string> fuzz_whole_run(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return std::nullopt;
  static ScratchFolder folder;
  for (const auto& entry : fs::directory_iterator(folder.path())) fs::remove_all(entry.path());

  const std::uint8_t first = data[0];
  const char* bytes = reinterpret_cast<const char*>(data + 1);
  const std::string rest(bytes, size - 1);
  const std::size_t zero = rest.find('\0');
  std::istringstream answers(rest.substr(0, zero));
  if (zero != std::string::npos) write_file(folder.path() / "study.txt", rest.substr(zero + 1));

  std::ostringstream console, errors;
  random::FixedClock clock;
  analysis::RunEnvironment environment{answers, console, errors, folder.path(), clock};
  analysis::RunOptions options;
  options.seed = 1 + (first >> 1);
  options.run_limit = 30;
  options.redraw_limits = {10'000, 200'000};
  const analysis::Variant variant = (first & 1u) ? analysis::Variant::kOskevV10 : analysis::Variant::kOskev;
  const int status = analysis::run_program(variant, environment, options);

  if (status < 0 || status > 4) return "unknown exit status " + std::to_string(status);
  const fs::path output = folder.path() / "output.txt";
  if (status == 0) {
    if (!fs::exists(output)) return "a complete run wrote no output.txt";
    const std::string text = read_file(output);
    if (std::count(text.begin(), text.end(), '\n') != 14) return "output.txt does not hold 14 records";
  } else if (fs::exists(output)) {
    return "a run that stopped with status " + std::to_string(status) + " wrote output.txt";
  }
  if (status >= 2 && errors.str().empty()) return "status " + std::to_string(status) + " without a report";
  for (const auto& entry : fs::directory_iterator(folder.path())) {
    const std::string name = entry.path().filename().string();
    if (name != "study.txt" && name != "output.txt") return "left behind: " + name;
  }
  return std::nullopt;
}

}  // namespace oskev::testing
