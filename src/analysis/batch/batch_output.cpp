#include "analysis/batch/batch_output.hpp"

#include <array>
#include <cmath>
#include <cstdint>
#include <initializer_list>

#include <nlohmann/json.hpp>

#include "analysis/batch/batch_numbers.hpp"

namespace oskev::analysis {

namespace {

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
  void add_empty(std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) add({});
  }
  std::string finish() { return std::move(text_) + '\n'; }

 private:
  std::string text_;
  std::size_t fields_ = 0;
};

constexpr std::array<std::string_view, 33> kCsvColumns = {
    "source", "name", "status", "message", "studies", "type", "cc_one", "cc_both", "seed", "max_runs",
    "stop_after", "level", "rrmh", "rrmh_lower", "rrmh_upper", "q", "df", "i_squared", "p_asymptotic",
    "p_asymptotic_upper", "p_asymptotic_lower", "runs", "not_above", "undefined", "p_left", "p_left_plus_one",
    "mc_standard_error", "p_left_lower", "p_left_upper", "p_left_interval", "rule", "log_rrmh_variance",
    "stopped_early"};
constexpr std::size_t kCsvResultColumns = 21;  // rrmh ... stopped_early
static_assert(kCsvColumns.size() == 12 + kCsvResultColumns);

std::string csv_line(const ReportRow& row) {
  CsvLine line;
  for (const std::string& text : {row.source, row.name, row.status, row.message}) line.add(text);
  line.add(std::to_string(row.studies));
  line.add(type_name(row.model.prevalence));
  line.add(float_text(row.model.cc_one));
  line.add(float_text(row.model.cc_both));
  line.add(std::to_string(row.run.seed));
  line.add(std::to_string(row.run.runs));
  line.add(row.run.stop_after ? std::to_string(*row.run.stop_after) : std::string());
  line.add(double_text(row.run.level));
  if (!row.analysed()) {
    line.add_empty(kCsvResultColumns);
    return line.finish();
  }
  const Result& r = *row.result;
  for (const float value : {r.observed.RRMH, r.rrmh_lower, r.rrmh_upper, r.observed.Q}) line.add(float_text(value));
  for (const double value : {r.observed.DF, r.i_squared, r.observed.PASYM, r.p_upper, r.p_lower}) {
    line.add(double_text(value));
  }
  for (const std::int64_t count : {r.runs, r.not_above, r.undefined}) line.add(std::to_string(count));
  line.add(float_text(r.p_left));
  for (const double value : {r.p_left_plus_one, r.mc_standard_error, r.p_left_lower, r.p_left_upper}) {
    line.add(double_text(value));
  }
  line.add(interval_name(r));
  line.add(rule_name(r));
  line.add(double_text(r.log_rrmh_variance));
  line.add(r.stopped_early ? "true" : "false");
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
  settings["type"] = type_name(row.model.prevalence);
  settings["type_code"] = type_code(row.model.prevalence);
  settings["cc_one"] = number(row.model.cc_one);
  settings["cc_both"] = number(row.model.cc_both);
  settings["seed"] = row.run.seed;
  settings["runs"] = row.run.runs;
  settings["stop_after"] = row.run.stop_after ? Json(*row.run.stop_after) : Json(nullptr);
  settings["level"] = number(row.run.level);
  return settings;
}

Json results_json(const Result& r) {
  Json results;
  results["rrmh"] = number(r.observed.RRMH);
  results["rrmh_ci"] = Json::array({number(r.rrmh_lower), number(r.rrmh_upper)});
  results["log_rrmh_variance"] = number(r.log_rrmh_variance);
  results["q"] = number(r.observed.Q);
  results["df"] = number(r.observed.DF);
  results["i2"] = number(r.i_squared);
  results["p_asymptotic"] = number(r.observed.PASYM);
  results["p_asymptotic_upper"] = number(r.p_upper);
  results["p_asymptotic_lower"] = number(r.p_lower);
  results["runs"] = r.runs;
  results["not_above"] = r.not_above;
  results["undefined_runs"] = r.undefined;
  results["p_left"] = number(r.p_left);
  results["p_left_plus_one"] = number(r.p_left_plus_one);
  results["mc_se"] = number(r.mc_standard_error);
  results["p_left_ci"] = Json::array({number(r.p_left_lower), number(r.p_left_upper)});
  results["p_left_interval"] = interval_name(r);
  results["rule"] = rule_name(r);
  results["stopped_early"] = r.stopped_early;
  return results;
}

Json row_json(const ReportRow& row) {
  Json entry;
  entry["source"] = row.source;
  entry["name"] = row.name;
  entry["status"] = row.status;
  if (!row.message.empty()) entry["message"] = row.message;
  entry["studies"] = row.studies;
  entry["settings"] = settings_json(row);
  entry["results"] = row.analysed() ? results_json(*row.result) : Json(nullptr);
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
