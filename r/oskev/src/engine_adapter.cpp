#include "engine_adapter.hpp"

#include <cmath>
#include <optional>

#include "analysis/batch/batch.hpp"
#include "analysis/batch/report_row.hpp"
#include "analysis/meta_analysis.hpp"

namespace oskev::r_glue {

namespace an = oskev::analysis;

namespace {

// Slices of about a million simulated tables: long simulations report often enough to be
// interrupted without noticeable cost.
constexpr std::size_t kTablesPerSlice = std::size_t{1} << 20;

struct Cancelled {};  // thrown through the engine from a report of runs, caught below

std::vector<an::StudyCounts> studies_of(const Counts& counts) {
  std::vector<an::StudyCounts> studies;
  studies.reserve(counts.size());
  for (const Counts4& c : counts) studies.push_back({c.e1, c.s1, c.e2, c.s2});
  return studies;
}

an::AnalysisSettings settings_of(const Request& request) {
  an::AnalysisSettings settings;
  settings.runs = request.runs;
  settings.ccone = request.cc_one;
  settings.ccboth = request.cc_both;
  settings.iopt = request.type;
  settings.seed = request.seed;
  settings.tables_per_slice = kTablesPerSlice;
  return settings;
}

// The columns of `oskev analyse -f csv`, in its order, from its rows.
class Columns {
 public:
  explicit Columns(const std::vector<an::ReportRow>& rows) : rows_(rows) {}

  template <class Field>
  void text(const char* name, Field field, bool result = false) {
    Column c{name, true, {}, {}, {}};
    for (const an::ReportRow& row : rows_) {
      const bool empty = result && row.status != "ok";
      c.texts.push_back(empty ? std::string() : std::string(field(row)));
      c.empty.push_back(empty);
    }
    columns_.push_back(std::move(c));
  }
  template <class Field>
  void number(const char* name, Field field, bool result = false) {
    Column c{name, false, {}, {}, {}};
    for (const an::ReportRow& row : rows_) {
      const std::optional<double> value = result && row.status != "ok" ? std::nullopt : field(row);
      c.numbers.push_back(value ? *value : std::nan(""));
      c.empty.push_back(!value);
    }
    columns_.push_back(std::move(c));
  }
  std::vector<Column> take() { return std::move(columns_); }

 private:
  const std::vector<an::ReportRow>& rows_;
  std::vector<Column> columns_;
};

std::vector<Column> csv_columns(const std::vector<an::ReportRow>& rows) {
  using Row = an::ReportRow;
  using Value = std::optional<double>;
  Columns c(rows);
  c.text("source", [](const Row& r) { return r.source; });
  c.text("name", [](const Row& r) { return r.name; });
  c.text("status", [](const Row& r) { return r.status; });
  c.text("message", [](const Row& r) { return r.message; });
  c.number("studies", [](const Row& r) { return Value(r.studies); });
  c.number("iopt", [](const Row& r) { return Value(r.iopt); });
  c.number("ccone", [](const Row& r) { return Value(r.ccone); });
  c.number("ccboth", [](const Row& r) { return Value(r.ccboth); });
  c.number("seed", [](const Row& r) { return Value(r.seed); });
  c.number("max_runs", [](const Row& r) { return Value(r.max_runs); });
  c.number("stop_after", [](const Row& r) { return r.stop_after ? Value(*r.stop_after) : std::nullopt; });
  c.number("rrmh", [](const Row& r) { return Value(r.rrmh); }, true);
  c.number("rrmh_lower", [](const Row& r) { return Value(r.rrmh_lower); }, true);
  c.number("rrmh_upper", [](const Row& r) { return Value(r.rrmh_upper); }, true);
  c.number("q", [](const Row& r) { return Value(r.q); }, true);
  c.number("df", [](const Row& r) { return Value(r.df); }, true);
  c.number("i_squared", [](const Row& r) { return Value(r.i_squared); }, true);
  c.number("p_asymptotic", [](const Row& r) { return Value(r.p_asymptotic); }, true);
  c.number("runs", [](const Row& r) { return Value(r.runs); }, true);
  c.number("not_above", [](const Row& r) { return Value(r.not_above); }, true);
  c.number("undefined", [](const Row& r) { return Value(r.undefined); }, true);
  c.number("p_left", [](const Row& r) { return Value(r.p_left); }, true);
  c.number("p_left_plus_one", [](const Row& r) { return Value(r.p_left_plus_one); }, true);
  c.number("mc_standard_error", [](const Row& r) { return Value(r.mc_standard_error); }, true);
  c.number("ci_lower", [](const Row& r) { return Value(r.ci_lower); }, true);
  c.number("ci_upper", [](const Row& r) { return Value(r.ci_upper); }, true);
  c.text("rule", [](const Row& r) { return r.rule; }, true);
  return c.take();
}

}  // namespace

Analysis analyse(const Counts& counts, const Request& request, const Watch& watch) {
  an::AnalysisSettings settings = settings_of(request);
  settings.on_runs = [&watch](std::int64_t, std::span<const float> slice) {
    if (watch.on_runs) watch.on_runs(slice);
    if (watch.keep_going && !watch.keep_going()) throw Cancelled{};
  };
  Analysis out;
  an::AnalysisResult result;
  try {
    result = an::analyse(studies_of(counts), settings);
  } catch (const Cancelled&) {
    out.status = kStatusCancelled;
    return out;
  }
  out.status = result.status;
  out.message = result.message;
  if (result.status != 0) return out;
  const an::StudyTable& table = result.table;
  Numbers& n = out.numbers;
  for (std::size_t i = 0; i < table.size(); ++i) {
    n.corrected.push_back({table.COUNT[i][an::kEvents1], table.COUNT[i][an::kSubjects1],
                           table.COUNT[i][an::kEvents2], table.COUNT[i][an::kSubjects2]});
  }
  n.rr = table.RR;
  n.rr_lower = table.RRLL;
  n.rr_upper = table.RRUL;
  n.var_log_rr = table.VLOGRR;
  n.weight = table.WEIGHT;
  // The numbers of the row `oskev analyse` reports.
  const an::ReportRow row = an::report_row(result, settings, "R", "", static_cast<std::int64_t>(counts.size()));
  n.rrmh = row.rrmh;
  n.rrmh_lower = row.rrmh_lower;
  n.rrmh_upper = row.rrmh_upper;
  n.q = row.q;
  n.var_log_rrmh = result.log_rrmh_variance;
  n.df = row.df;
  n.i_squared = row.i_squared;
  n.p_asymptotic = row.p_asymptotic;
  n.runs = static_cast<double>(row.runs);
  n.not_above = static_cast<double>(row.not_above);
  n.undefined = static_cast<double>(row.undefined);
  n.q_undefined = std::isnan(result.observed.Q);
  n.p_left = row.p_left;
  n.p_left_plus_one = row.p_left_plus_one;
  n.mc_standard_error = row.mc_standard_error;
  n.p_left_lower = row.ci_lower;
  n.p_left_upper = row.ci_upper;
  return out;
}

std::vector<Column> analyse_batch(const std::vector<Counts>& groups, const std::vector<std::string>& names,
                                  const std::string& source, const Request& request, unsigned jobs,
                                  const std::atomic<bool>& cancel) {
  std::vector<an::BatchItem> items(groups.size());
  for (std::size_t g = 0; g < groups.size(); ++g) items[g] = {source, names[g], studies_of(groups[g]), {}};
  an::AnalysisSettings settings = settings_of(request);
  settings.on_runs = [&cancel](std::int64_t, std::span<const float>) {
    if (cancel.load()) throw Cancelled{};
  };
  an::BatchOptions options;
  options.jobs = jobs;
  std::vector<an::AnalysisResult> results;
  try {
    results = an::run_batch(items, settings, options);
  } catch (const Cancelled&) {
    return {};
  }
  std::vector<an::ReportRow> rows;
  rows.reserve(results.size());
  for (std::size_t g = 0; g < results.size(); ++g) {
    rows.push_back(an::report_row(results[g], settings, source, names[g], static_cast<std::int64_t>(groups[g].size())));
  }
  return csv_columns(rows);
}

}  // namespace oskev::r_glue
