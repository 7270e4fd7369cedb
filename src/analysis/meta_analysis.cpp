#include "analysis/meta_analysis.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>

#include "analysis/library.hpp"
#include "analysis/run_parameters.hpp"
#include "analysis/simulation.hpp"
#include "errors/run_stopped.hpp"
#include "random/clock.hpp"

namespace oskev::analysis {

namespace {

// The tables the dialogue holds at most (100 studies x 80000 runs): a slice of this size keeps
// the dialogue's largest simulation in one slice, and bounds the memory of longer ones.
constexpr std::size_t kDefaultTablesPerSlice = static_cast<std::size_t>(kMaxStudies) * kMaxRuns;
// Under sequential stopping the first slices are small, so a P-value decided early costs
// little; they double from here.
constexpr std::size_t kFirstSequentialTables = 1 << 18;

[[noreturn]] void refuse(const std::string& report) { throw errors::RunStopped(errors::kExitRefused, report); }

void check_settings(const AnalysisSettings& s) {
  if (s.iopt != 1 && s.iopt != 2) {
    refuse("the type of estimation must be 1 (fixed prevalence of total events) or 2 (random prevalence of total "
           "events), not " + std::to_string(s.iopt));
  }
  if (!(s.ccone >= 0.0f) || !(s.ccboth >= 0.0f) || !std::isfinite(s.ccone) || !std::isfinite(s.ccboth)) {
    refuse("a continuity correction must be a finite number, 0 or more");
  }
  if (s.seed < 1 || s.seed > 2147483646) refuse("the seed must be from 1 to 2147483646, not " + std::to_string(s.seed));
  if (s.stop_after && *s.stop_after < 1) refuse("the sequential rule needs at least 1 run not above Q");
}

StudyTable table_of(const std::vector<StudyCounts>& studies) {
  StudyTable table;
  table.NCOUNT.reserve(studies.size());
  for (const StudyCounts& s : studies) table.NCOUNT.push_back({s.e1, s.s1, s.e2, s.s2});
  convert_counts(table);
  return table;
}

// The Greenland-Robins variance of ln RRMH, from the counts and study sizes RRMH is formed
// with (the corrected counts and the truncated sizes), and RRMH's 95% limits, formed as each
// study's limits are: 1.96 and the half-width in single precision.
void summary_limits(const StudyTable& table, AnalysisResult& result) {
  double p = 0.0, r = 0.0, s = 0.0;
  for (std::size_t i = 0; i < table.size(); ++i) {
    const auto& c = table.COUNT[i];
    const double e1 = c[kEvents1], s1 = c[kSubjects1], e2 = c[kEvents2], s2 = c[kSubjects2];
    const double n = table.NTOT[i];
    p += (s1 * s2 * (e1 + e2) - e1 * e2 * n) / (n * n);
    r += e1 * s2 / n;
    s += e2 * s1 / n;
  }
  result.log_rrmh_variance = p / (r * s);
  const float se = static_cast<float>(std::sqrt(result.log_rrmh_variance));
  const float h = static_cast<float>(double{1.96f} * se);
  const double log_rrmh = std::log(double{result.observed.RRMH});
  result.rrmh_lower = static_cast<float>(std::exp(log_rrmh - h));
  result.rrmh_upper = static_cast<float>(std::exp(log_rrmh + h));
}

double i_squared(float q, double df) {
  if (std::isnan(q)) return std::numeric_limits<double>::quiet_NaN();
  if (!(q > 0.0f)) return 0.0;
  return std::max(0.0, (double{q} - df) / q) * 100.0;
}

SliceOptions slices_for(const AnalysisSettings& s, std::size_t studies) {
  const std::size_t tables = s.tables_per_slice == 0 ? kDefaultTablesPerSlice : s.tables_per_slice;
  const std::size_t per_study = std::max<std::size_t>(studies, 1);
  SliceOptions slices;
  slices.most_runs = std::max<std::size_t>(tables / per_study, 1);
  slices.first_runs =
      s.stop_after ? std::min(slices.most_runs, std::max<std::size_t>(kFirstSequentialTables / per_study, 1))
                   : slices.most_runs;
  slices.spread = s.spread;
  return slices;
}

void run(const std::vector<StudyCounts>& studies, const AnalysisSettings& settings, std::ostream& messages,
         AnalysisResult& result) {
  check_settings(settings);
  if (studies.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    refuse("too many studies: " + std::to_string(studies.size()));
  }
  // The same library, in the same order of calls, as the dialogue under `--seed`: the seed takes
  // the place of every reading of the clock.
  random::FixedClock clock;
  Library library(messages, clock);
  library.stream.replace_clock_seed(settings.seed);
  library.seed_at_start_up();

  RunParameters parameters;
  parameters.NSTUDY = static_cast<std::int32_t>(studies.size());
  parameters.NRUNS = settings.runs;
  parameters.CCONE = settings.ccone;
  parameters.CCBOTH = settings.ccboth;
  parameters.IOPT = settings.iopt;

  StudyTable& table = result.table;
  table = table_of(studies);
  check_study_table(table);
  apply_continuity_corrections(table, parameters.CCONE, parameters.CCBOTH);
  ObservedStatistics& observed = result.observed;
  estimate(table, parameters.NSTUDY, observed, library.special);
  summary_limits(table, result);
  result.i_squared = i_squared(observed.Q, observed.DF);
  if (settings.on_observed) settings.on_observed(result);

  Generators generators(library.stream, library.binomial, library.errors);
  simulate_slices(settings.variant, parameters, table, observed.RRMH, generators, settings.redraw_limits,
                  slices_for(settings, studies.size()), [&](std::size_t first, std::span<const float> qsim) {
                    std::size_t taken = qsim.size();
                    for (std::size_t j = 0; j < qsim.size(); ++j) {
                      // An ordered comparison: a Q that is not a number is never counted.
                      if (qsim[j] <= observed.Q) {
                        ++result.not_above;
                        if (settings.stop_after && result.not_above == *settings.stop_after) {
                          result.stopped_early = true;
                          taken = j + 1;
                          break;
                        }
                      }
                    }
                    const auto runs = qsim.first(taken);
                    result.undefined += std::count_if(runs.begin(), runs.end(), [](float q) { return std::isnan(q); });
                    result.runs += static_cast<std::int64_t>(taken);
                    if (settings.on_runs) settings.on_runs(static_cast<std::int64_t>(first), runs);
                    return !result.stopped_early;
                  });
  // The dialogue counts in single precision and divides by NRUNS in single precision; for any
  // count the dialogue can reach the two are equal, and beyond 2^24 this stays exact.
  result.pemp = static_cast<float>(static_cast<double>(result.not_above) / static_cast<double>(result.runs));
}

std::string trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \n");
  if (first == std::string::npos) return "";
  const auto last = text.find_last_not_of(" \n");
  return text.substr(first, last - first + 1);
}

}  // namespace

AnalysisResult analyse(const std::vector<StudyCounts>& studies, const AnalysisSettings& settings) {
  AnalysisResult result;
  std::ostringstream messages;  // the library's error-message unit
  try {
    run(studies, settings, messages, result);
  } catch (const errors::RunStopped& stop) {
    result.status = stop.exit_status();
    result.message = stop.report().empty() ? trimmed(messages.str()) : stop.report();
  }
  return result;
}

}  // namespace oskev::analysis
