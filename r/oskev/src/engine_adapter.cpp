#include "engine_adapter.hpp"

#include <cmath>
#include <optional>

#include "analysis/batch/batch.hpp"
#include "analysis/batch/batch_report.hpp"
#include "analysis/engine.hpp"

namespace oskev::r_glue {

namespace an = oskev::analysis;

namespace {

// Slices of about a million simulated tables: long simulations report often enough to be
// interrupted without noticeable cost.
constexpr std::size_t kTablesPerSlice = std::size_t{1} << 20;

struct Cancelled {};  // thrown from a batch's report of progress, caught below

std::vector<an::Study> studies_of(const Counts& counts) {
  std::vector<an::Study> studies;
  studies.reserve(counts.size());
  for (const Counts4& c : counts) studies.push_back({c.e1, c.s1, c.e2, c.s2, {}});
  return studies;
}

an::Model model_of(const Request& request) {
  return an::Model{request.type == 2 ? an::Prevalence::kRandom : an::Prevalence::kFixed, request.cc_one,
                   request.cc_both};
}

an::Run run_of(const Request& request) {
  an::Run run;
  run.seed = request.seed;
  run.runs = request.runs;
  run.tuning.tables_per_slice = kTablesPerSlice;
  return run;
}

class Watcher : public an::Observer {
 public:
  explicit Watcher(const Watch& watch) : watch_(watch) {}
  void on_runs(std::int64_t, std::span<const float> qsim) override {
    if (watch_.on_runs) watch_.on_runs(qsim);
  }
  bool on_progress(double) override { return !watch_.keep_going || watch_.keep_going(); }

 private:
  const Watch& watch_;
};

int status_of(an::FailureKind kind) {
  switch (kind) {
    case an::FailureKind::kLibraryStop: return 1;
    case an::FailureKind::kCancelled: return kStatusCancelled;
    case an::FailureKind::kRefused: break;
  }
  return 3;
}


// The columns of `oskev analyse -f csv`, in its order, from the batch layer's rows.
class Columns {
 public:
  explicit Columns(const std::vector<an::ReportRow>& rows) : rows_(rows) {}

  template <class Field>
  void text(const char* name, Field field, bool result = false) {
    Column c{name, true, {}, {}, {}};
    for (const an::ReportRow& row : rows_) {
      const bool empty = result && !row.analysed();
      c.texts.push_back(empty ? std::string() : std::string(field(row)));
      c.empty.push_back(empty);
    }
    columns_.push_back(std::move(c));
  }
  template <class Field>
  void number(const char* name, Field field, bool result = false) {
    Column c{name, false, {}, {}, {}};
    for (const an::ReportRow& row : rows_) {
      const std::optional<double> value = result && !row.analysed() ? std::nullopt : field(row);
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
  c.text("type", [](const Row& r) { return an::type_name(r.model.prevalence); });
  c.number("cc_one", [](const Row& r) { return Value(r.model.cc_one); });
  c.number("cc_both", [](const Row& r) { return Value(r.model.cc_both); });
  c.number("seed", [](const Row& r) { return Value(r.run.seed); });
  c.number("max_runs", [](const Row& r) { return Value(r.run.runs); });
  c.number("stop_after", [](const Row& r) { return r.run.stop_after ? Value(*r.run.stop_after) : std::nullopt; });
  c.number("level", [](const Row& r) { return Value(r.run.level); });
  c.number("rrmh", [](const Row& r) { return Value(r.result->observed.RRMH); }, true);
  c.number("rrmh_lower", [](const Row& r) { return Value(r.result->rrmh_lower); }, true);
  c.number("rrmh_upper", [](const Row& r) { return Value(r.result->rrmh_upper); }, true);
  c.number("q", [](const Row& r) { return Value(r.result->observed.Q); }, true);
  c.number("df", [](const Row& r) { return Value(r.result->observed.DF); }, true);
  c.number("i_squared", [](const Row& r) { return Value(r.result->i_squared); }, true);
  c.number("p_asymptotic", [](const Row& r) { return Value(r.result->observed.PASYM); }, true);
  c.number("p_asymptotic_upper", [](const Row& r) { return Value(r.result->p_upper); }, true);
  c.number("p_asymptotic_lower", [](const Row& r) { return Value(r.result->p_lower); }, true);
  c.number("runs", [](const Row& r) { return Value(r.result->runs); }, true);
  c.number("not_above", [](const Row& r) { return Value(r.result->not_above); }, true);
  c.number("undefined", [](const Row& r) { return Value(r.result->undefined); }, true);
  c.number("p_left", [](const Row& r) { return Value(r.result->p_left); }, true);
  c.number("p_left_plus_one", [](const Row& r) { return Value(r.result->p_left_plus_one); }, true);
  c.number("mc_standard_error", [](const Row& r) { return Value(r.result->mc_standard_error); }, true);
  c.number("p_left_lower", [](const Row& r) { return Value(r.result->p_left_lower); }, true);
  c.number("p_left_upper", [](const Row& r) { return Value(r.result->p_left_upper); }, true);
  c.text("p_left_interval", [](const Row& r) { return an::interval_name(*r.result); }, true);
  c.text("rule", [](const Row& r) { return an::rule_name(*r.result); }, true);
  c.number("log_rrmh_variance", [](const Row& r) { return Value(r.result->log_rrmh_variance); }, true);
  c.text("stopped_early", [](const Row& r) { return r.result->stopped_early ? "true" : "false"; }, true);
  return c.take();
}

}  // namespace

Analysis analyse(const Counts& counts, const Request& request, const Watch& watch) {
  Watcher watcher(watch);
  const an::Outcome outcome = an::analyse(studies_of(counts), model_of(request), run_of(request), &watcher);
  Analysis out;
  if (!outcome.ok()) {
    out.status = status_of(outcome.failure().kind);
    out.message = outcome.failure().message;
    out.why = outcome.failure().why;
    return out;
  }
  const an::Result& r = outcome.result();
  const an::StudyTable& table = r.table;
  Numbers& n = out.numbers;
  for (std::size_t i = 0; i < table.size(); ++i) n.corrected.push_back(table.COUNT[i]);
  n.rr = table.RR;
  n.rr_lower = table.RRLL;
  n.rr_upper = table.RRUL;
  n.var_log_rr = table.VLOGRR;
  n.weight = table.WEIGHT;
  n.rrmh = r.observed.RRMH;
  n.rrmh_lower = r.rrmh_lower;
  n.rrmh_upper = r.rrmh_upper;
  n.q = r.observed.Q;
  n.var_log_rrmh = r.log_rrmh_variance;
  n.df = r.observed.DF;
  n.i_squared = r.i_squared;
  n.p_asymptotic = r.observed.PASYM;
  n.p_upper = r.p_upper;
  n.p_lower = r.p_lower;
  n.runs = static_cast<double>(r.runs);
  n.not_above = static_cast<double>(r.not_above);
  n.undefined = static_cast<double>(r.undefined);
  n.q_undefined = r.q_undefined();
  n.p_left = r.p_left;
  n.p_left_plus_one = r.p_left_plus_one;
  n.mc_standard_error = r.mc_standard_error;
  n.p_left_lower = r.p_left_lower;
  n.p_left_upper = r.p_left_upper;
  return out;
}
std::vector<Column> analyse_batch(const std::vector<Counts>& groups, const std::vector<std::string>& names,
                                  const std::string& source, const Request& request, unsigned jobs,
                                  const std::atomic<bool>& cancel) {
  std::vector<an::BatchItem> items(groups.size());
  for (std::size_t g = 0; g < groups.size(); ++g) items[g] = {source, names[g], studies_of(groups[g])};
  const an::Model model = model_of(request);
  const an::Run run = run_of(request);
  an::BatchOptions options;
  options.jobs = jobs;
  // Every analysis reports its progress here, on its own thread: an interrupt ends them all.
  options.progress = [&cancel](std::size_t, std::size_t, double) {
    if (cancel.load()) throw Cancelled{};
  };
  std::vector<an::Outcome> outcomes;
  try {
    outcomes = an::run_batch(items, model, run, options);
  } catch (const Cancelled&) {
    return {};
  }
  std::vector<an::ReportRow> rows;
  rows.reserve(outcomes.size());
  for (std::size_t g = 0; g < outcomes.size(); ++g) {
    rows.push_back(an::report_row(outcomes[g], model, run, source, names[g], static_cast<std::int64_t>(groups[g].size())));
  }
  return csv_columns(rows);
}

}  // namespace oskev::r_glue
