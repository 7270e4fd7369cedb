#include "engine_adapter.hpp"

#include <cmath>

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
  for (std::size_t i = 0; i < table.size(); ++i) {
    out.numbers.corrected.push_back({table.COUNT[i][an::kEvents1], table.COUNT[i][an::kSubjects1],
                                     table.COUNT[i][an::kEvents2], table.COUNT[i][an::kSubjects2]});
  }
  out.numbers.rr = table.RR;
  out.numbers.rr_lower = table.RRLL;
  out.numbers.rr_upper = table.RRUL;
  out.numbers.var_log_rr = table.VLOGRR;
  out.numbers.weight = table.WEIGHT;
  out.numbers.var_log_rrmh = result.log_rrmh_variance;
  out.numbers.q_undefined = std::isnan(result.observed.Q);
  out.row = an::report_row(result, settings, "R", "", static_cast<std::int64_t>(counts.size()));
  return out;
}

std::vector<an::ReportRow> analyse_batch(const std::vector<Counts>& groups, const std::vector<std::string>& names,
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
  return rows;
}

}  // namespace oskev::r_glue
