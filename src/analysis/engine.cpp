#include "analysis/engine.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "analysis/run_parameters.hpp"

namespace oskev::analysis {

namespace {

// The tables the dialogue holds at most (100 studies x 80000 runs): a slice of this size keeps
// the dialogue's largest simulation in one slice, and bounds the memory of longer ones.
constexpr std::size_t kDefaultTablesPerSlice = static_cast<std::size_t>(kMaxStudies) * kMaxRuns;
// Under sequential stopping the first slices are small, so a P-value decided early costs
// little; they double from here.
constexpr std::size_t kFirstSequentialTables = 1 << 18;

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

}  // namespace

void run_engine(Library& library, StudyCountRows counts, std::int32_t nstudy, const AnalysisSettings& settings,
                AnalysisResult& result) {
  RunParameters parameters;
  parameters.NSTUDY = nstudy;
  parameters.NRUNS = settings.runs;
  parameters.CCONE = settings.ccone;
  parameters.CCBOTH = settings.ccboth;
  parameters.IOPT = settings.iopt;

  check_study_counts(counts);
  StudyTable& table = result.table;
  table = make_study_table(std::move(counts), parameters.CCONE, parameters.CCBOTH);
  if (settings.on_table) settings.on_table(table);

  ObservedStatistics& observed = result.observed;
  estimate(table, parameters.NSTUDY, observed, library.special);
  summary_limits(table, result);
  result.i_squared = i_squared(observed.Q, observed.DF);
  if (settings.on_observed) settings.on_observed(result);

  Generators generators(library.stream, library.binomial, library.errors);
  simulate_slices(settings.variant, parameters, table, observed.RRMH, generators, settings.redraw_limits,
                  slices_for(settings, table.size()), [&](std::size_t first, std::span<const float> qsim) {
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
  result.pemp = empirical_p_value(result.not_above, result.stopped_early ? result.runs : parameters.NRUNS);
}

float empirical_p_value(std::int64_t not_above, std::int64_t runs) {
  // The dialogue counts in single precision and divides by NRUNS in single precision; both
  // are exact for any count it can reach, and a quotient formed in double and then rounded to
  // single is the single-precision quotient. Beyond 2^24 runs this stays exact.
  return static_cast<float>(static_cast<double>(not_above) / static_cast<double>(runs));
}

float empirical_p_value(const std::vector<float>& qsim, float q, std::int32_t nruns) {
  return empirical_p_value(std::count_if(qsim.begin(), qsim.end(), [q](float value) { return value <= q; }), nruns);
}

}  // namespace oskev::analysis
