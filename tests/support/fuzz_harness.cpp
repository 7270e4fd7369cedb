#include "support/fuzz_harness.hpp"

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <vector>

#include <nlohmann/json.hpp>

#include "analysis/program/program.hpp"
#include "analysis/records/list_reader.hpp"
#include "analysis/records/study_tables.hpp"
#include "support/run_harness.hpp"

namespace oskev::testing {

namespace fs = std::filesystem;

namespace {
// A message quotes at most 40 characters of the input (160 bytes of UTF-8) after a prefix of
// under 100, and the reader holds no more than its longest value and a few bytes ahead,
// whatever the length of a line.
constexpr std::size_t kLongestMessage = 300;
constexpr std::size_t kMostHeld = 1024;
}  // namespace

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
      const std::string message = error.what();
      if (message.size() > kLongestMessage) return "a message of " + std::to_string(message.size()) + " bytes";
      for (const char c : message) {
        if (static_cast<unsigned char>(c) < 0x20) return "a control character in the message";
      }
      break;
    }
  }
  if (reader.held_bytes() > kMostHeld) return "the reader held " + std::to_string(reader.held_bytes()) + " bytes";
  return std::nullopt;
}

namespace {

// Whether `word` stands in `text` on its own, not inside a longer word: a coordinate printed
// from a value that is not finite ("nan", "-inf"), but not the caption's "infinite".
bool has_word(const std::string& text, const std::string& word) {
  auto letter = [](char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; };
  for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
    const bool starts = at == 0 || !letter(text[at - 1]);
    const bool ends = at + word.size() == text.size() || !letter(text[at + word.size()]);
    if (starts && ends) return true;
  }
  return false;
}

}  // namespace

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
  // The seed's lowest bit also asks for a picture, so the picture's writer meets every kind of
  // run the fuzzer finds (values that are not finite, undefined runs) while no seed is lost.
  const bool plot = (first >> 1) & 1u;
  if (plot) options.plot = "picture.svg";
  const analysis::Variant variant = (first & 1u) ? analysis::Variant::kOskevV10 : analysis::Variant::kOskev;
  const int status = analysis::run_program(variant, environment, options);

  if (status < 0 || status > 4) return "unknown exit status " + std::to_string(status);
  const fs::path output = folder.path() / "output.txt";
  const fs::path picture = folder.path() / "picture.svg";
  if (status == 0) {
    if (!fs::exists(output)) return "a complete run wrote no output.txt";
    const std::string text = read_file(output);
    if (std::count(text.begin(), text.end(), '\n') != 14) return "output.txt does not hold 14 records";
    if (plot) {
      if (!fs::exists(picture)) return "a complete run wrote no picture";
      const std::string svg = read_file(picture);
      if (svg.rfind("<?xml", 0) != 0 || !svg.ends_with("</svg>\n")) return "the picture is not a whole SVG document";
      if (has_word(svg, "nan") || has_word(svg, "inf")) return "the picture draws a value that is not finite";
    }
  } else {
    if (fs::exists(output)) return "a run that stopped with status " + std::to_string(status) + " wrote output.txt";
    if (fs::exists(picture)) return "a run that stopped with status " + std::to_string(status) + " drew a picture";
  }
  if (status >= 2 && errors.str().empty()) return "status " + std::to_string(status) + " without a report";
  if (errors.str().size() > kLongestMessage) return "a report of " + std::to_string(errors.str().size()) + " bytes";
  for (const auto& entry : fs::directory_iterator(folder.path())) {
    const std::string name = entry.path().filename().string();
    if (name != "study.txt" && name != "output.txt" && name != "picture.svg") return "left behind: " + name;
  }
  return std::nullopt;
}

std::optional<std::string> fuzz_analyse(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return std::nullopt;
  const std::uint8_t first = data[0];
  const std::string table(reinterpret_cast<const char*>(data + 2), size - 2);
  // The reader's own account of the file bounds the work: at most 400 studies in all.
  std::size_t groups = 0;
  try {
    std::istringstream in(table);
    const records::StudyTables tables = records::read_study_tables(in, "-");
    std::size_t studies = 0;
    for (const records::TableGroup& group : tables.groups) {
      if (group.studies.empty()) return "a meta-analysis without studies";
      if (group.studies.size() != group.lines.size()) return "studies and their lines differ in number";
      studies += group.studies.size();
    }
    if (studies > 400) return std::nullopt;
    groups = tables.groups.size();
  } catch (const records::TableError& error) {
    if (std::string(error.what()).rfind("-", 0) != 0) return "a refusal that does not name its file";
    if (error.message().empty()) return "a refusal without a message";
  }

  // The command itself, in-process, on the table as its standard input.
  const char* corrections[] = {"0.5", "0", "0.1", "1"};
  const int runs = 1 + data[1] % 16;
  std::vector<std::string> arguments = {"analyse", "-f", "json", "-j", "1", "--runs", std::to_string(runs),
                                        "--seed", std::to_string(1 + data[1]), "--type", (first & 1u) ? "random" : "fixed",
                                        "--cc-one", corrections[(first >> 1) & 3u],
                                        "--cc-both", corrections[(first >> 3) & 3u]};
  if (first & 0x20u) arguments.insert(arguments.end(), {"--stop-after", std::to_string(1 + ((first >> 6) & 3u))});
  arguments.push_back("-");
  std::istringstream input(table);
  std::ostringstream out, err;
  random::FixedClock clock;
  analysis::RunEnvironment environment{input, out, err, fs::temp_directory_path(), clock};
  const int status = analysis::program_main(analysis::Variant::kOskev, arguments, environment);

  if (groups == 0) {
    if (status != 2) return "an unreadable table gave status " + std::to_string(status);
  } else if (status != 0 && status != 3) {
    return "status " + std::to_string(status) + " for a readable table: " + err.str();
  }
  if (err.str().size() > kLongestMessage) return "a report of " + std::to_string(err.str().size()) + " bytes";
  const auto document = nlohmann::json::parse(out.str(), nullptr, false);
  if (document.is_discarded()) return "the JSON report is not a JSON document";
  const auto& entries = document["meta_analyses"];
  if (entries.size() != groups) return "the JSON report lost a meta-analysis";
  for (const auto& entry : entries) {
    const std::string status_text = entry["status"].get<std::string>();
    const bool analysed = status_text == "ok" || status_text == "Q undefined";
    if (!analysed && status_text != "library stop" && status_text != "refused") return "unknown status " + status_text;
    if (status_text != "ok" && entry.value("message", std::string()).empty()) return "a stop without a message";
    if (analysed != !entry["results"].is_null()) return "results where there should be none, or none where there should";
    if (!analysed) continue;
    const auto& r = entry["results"];
    const std::int64_t made = r["runs"], b = r["not_above"], undefined = r["undefined_runs"];
    if (made < 1 || made > runs) return "runs made: " + std::to_string(made);
    if (b + undefined > made) return "more runs counted than made";
    const bool sequential = entry["settings"]["stop_after"].is_number();
    if (r["stopped_early"].get<bool>() != (sequential && b == entry["settings"]["stop_after"].get<std::int64_t>())) {
      return "the sequential rule stopped where it should not, or did not where it should";
    }
    if ((status_text == "Q undefined") != r["q"].is_string()) return "a status that does not follow the observed Q";
  }
  return std::nullopt;
}

}  // namespace oskev::testing
