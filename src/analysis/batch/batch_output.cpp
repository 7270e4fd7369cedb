#include "analysis/batch/batch_output.hpp"

#include <array>
#include <cmath>
#include <cstdint>
#include <initializer_list>

#include <nlohmann/json.hpp>

#include "analysis/batch/batch_numbers.hpp"

namespace oskev::analysis {

namespace {

bool failed(const ReportRow& row) { return row.status != "ok"; }

// ---- CSV ----

// One CSV record; every field but the first is preceded by a comma, empty fields included.
class CsvLine {
 public:
  void add(std::string_view field) {
    if (fields_++ > 0) text_ += ',';
    if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
      text_ += field;
      return;
    }
    text_ += '"';
    for (const char c : field) {
      if (c == '"') text_ += '"';
      text_ += c;
    }
    text_ += '"';
  }
  // A text from the input (a file's, a meta-analysis's or a study's name, a message quoting
  // one): a spreadsheet that opens the file would take a field that starts with '=', '+',
  // '-', '@', a tab or a carriage return for a formula and run it (=HYPERLINK(...), say), so
  // such a field gets a leading apostrophe, which spreadsheets read as "text follows". A
  // lone "-" (standard input) is no formula and stays. The table and JSON keep every text
  // exact; CSV is for spreadsheets.
  void add_text(std::string_view field) {
    if (field.size() > 1 || (field.size() == 1 && field != "-")) {
      if (std::string_view("=+-@\t\r").find(field.front()) != std::string_view::npos) {
        add("'" + std::string(field));
        return;
      }
    }
    add(field);
  }
  void add_empty(std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) add({});
  }
  std::string finish() { return std::move(text_) + '\n'; }

 private:
  std::string text_;
  std::size_t fields_ = 0;
};

constexpr std::array<std::string_view, 27> kCsvColumns = {
    "source", "name", "status", "message", "studies", "iopt", "ccone", "ccboth", "seed",
    "max_runs", "stop_after", "rrmh", "rrmh_lower", "rrmh_upper", "q", "df", "i_squared",
    "p_asymptotic", "runs", "not_above", "undefined", "p_left", "p_left_plus_one",
    "mc_standard_error", "ci_lower", "ci_upper", "rule"};
constexpr std::size_t kCsvResultColumns = 16;  // rrmh ... rule
static_assert(kCsvColumns.size() == 11 + kCsvResultColumns);

std::string csv_line(const ReportRow& row) {
  CsvLine line;
  for (const std::string& text : {row.source, row.name, row.status, row.message}) line.add_text(text);
  line.add(std::to_string(row.studies));
  line.add(std::to_string(row.iopt));
  line.add(float_text(row.ccone));
  line.add(float_text(row.ccboth));
  line.add(std::to_string(row.seed));
  line.add(std::to_string(row.max_runs));
  line.add(row.stop_after ? std::to_string(*row.stop_after) : std::string());
  if (failed(row)) {
    line.add_empty(kCsvResultColumns);
    return line.finish();
  }
  for (const float value : {row.rrmh, row.rrmh_lower, row.rrmh_upper, row.q}) line.add(float_text(value));
  line.add(double_text(row.df));
  line.add(double_text(row.i_squared));
  line.add(double_text(row.p_asymptotic));
  for (const std::int64_t count : {row.runs, row.not_above, row.undefined}) line.add(std::to_string(count));
  line.add(float_text(row.p_left));
  for (const double value : {row.p_left_plus_one, row.mc_standard_error, row.ci_lower, row.ci_upper}) {
    line.add(double_text(value));
  }
  line.add_text(row.rule);
  return line.finish();
}

// ---- JSON ----

using Json = nlohmann::ordered_json;

Json number(double value) {
  if (std::isfinite(value)) return value;
  return double_text(value);  // "NaN", "Infinity", "-Infinity": JSON has no such numbers
}

// The float's shortest decimal carried in the double nearest to it, so that the double printer
// writes that same short decimal.
Json number(float value) { return number(float_as_short_double(value)); }

Json settings_json(const ReportRow& row) {
  Json settings;
  settings["type"] = row.iopt == 1 ? Json("fixed") : row.iopt == 2 ? Json("random") : Json(nullptr);
  settings["type_code"] = row.iopt;
  settings["cc_one"] = number(row.ccone);
  settings["cc_both"] = number(row.ccboth);
  settings["seed"] = row.seed;
  settings["runs"] = row.max_runs;
  settings["stop_after"] = row.stop_after ? Json(*row.stop_after) : Json(nullptr);
  return settings;
}

Json results_json(const ReportRow& row) {
  Json results;
  results["rrmh"] = number(row.rrmh);
  results["rrmh_ci"] = Json::array({number(row.rrmh_lower), number(row.rrmh_upper)});
  results["q"] = number(row.q);
  results["df"] = number(row.df);
  results["i2"] = number(row.i_squared);
  results["p_asymptotic"] = number(row.p_asymptotic);
  results["runs"] = row.runs;
  results["not_above"] = row.not_above;
  results["undefined_runs"] = row.undefined;
  results["p_left"] = number(row.p_left);
  results["p_left_plus_one"] = number(row.p_left_plus_one);
  results["mc_se"] = number(row.mc_standard_error);
  results["p_left_ci"] = Json::array({number(row.ci_lower), number(row.ci_upper)});
  results["rule"] = row.rule;
  return results;
}

Json row_json(const ReportRow& row) {
  Json entry;
  entry["source"] = row.source;
  entry["name"] = row.name;
  entry["status"] = row.status;
  if (failed(row)) entry["message"] = row.message;
  entry["studies"] = row.studies;
  entry["settings"] = settings_json(row);
  entry["results"] = failed(row) ? Json(nullptr) : results_json(row);
  return entry;
}

}  // namespace

std::optional<OutputFormat> parse_output_format(std::string_view name) {
  if (name == "table") return OutputFormat::kTable;
  if (name == "csv") return OutputFormat::kCsv;
  if (name == "json") return OutputFormat::kJson;
  return std::nullopt;
}

std::string render_csv(const std::vector<ReportRow>& rows) {
  CsvLine header;
  for (const std::string_view column : kCsvColumns) header.add(column);
  std::string text = header.finish();
  for (const ReportRow& row : rows) text += csv_line(row);
  return text;
}

std::string render_json(const std::vector<ReportRow>& rows, const BatchInfo& info) {
  Json document;
  document["program"] = info.program;
  document["version"] = info.version;
  document["meta_analyses"] = Json::array();
  for (const ReportRow& row : rows) document["meta_analyses"].push_back(row_json(row));
  // A file or group name need not be valid UTF-8; the report must still be written, with the
  // bad bytes shown as U+FFFD rather than an exception that loses the whole batch.
  return document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + '\n';
}

std::string render(OutputFormat format, const std::vector<ReportRow>& rows, const BatchInfo& info) {
  switch (format) {
    case OutputFormat::kTable: return render_table(rows);
    case OutputFormat::kCsv: return render_csv(rows);
    case OutputFormat::kJson: return render_json(rows, info);
  }
  return {};
}

}  // namespace oskev::analysis
