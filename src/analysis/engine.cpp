#include "analysis/engine.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>

#include "analysis/result.hpp"
#include "analysis/simulation/draws.hpp"
#include "analysis/simulation/generators.hpp"
#include "analysis/simulation/simulation.hpp"
#include "errors/error_service.hpp"
#include "errors/run_stopped.hpp"
#include "probability/special_functions.hpp"

namespace oskev::analysis {

namespace {

constexpr std::size_t kDefaultTablesPerSlice = static_cast<std::size_t>(kMaxStudies) * kMaxRuns;
// Under sequential stopping the first slices are small, so a P-value decided early costs
// little; they double from here.
constexpr std::size_t kFirstSequentialTables = 1 << 18;
// Of a random-prevalence simulation in several slices, the share of the work its first walk
// through the totals takes: one draw of the three each run makes.
constexpr double kWalkShare = 1.0 / 3.0;

void check_settings(std::span<const Study> studies, const Model& model, const Run& run) {
  if (!(model.cc_one >= 0.0f) || !(model.cc_both >= 0.0f) || !std::isfinite(model.cc_one) ||
      !std::isfinite(model.cc_both)) {
    refuse("a continuity correction must be a finite number, 0 or more");
  }
  if (run.seed < 1 || run.seed > 2147483646) refuse("the seed must be from 1 to 2147483646, not " + std::to_string(run.seed));
  if (run.stop_after && *run.stop_after < 1) refuse("the sequential rule needs at least 1 run not above Q");
  if (!(run.level > 0.0 && run.level < 1.0)) refuse("the level of the intervals must lie between 0 and 1");
  if (studies.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    refuse("too many studies: " + std::to_string(studies.size()));
  }
}

SliceOptions slices_for(const Run& run, std::size_t studies) {
  const Tuning& t = run.tuning;
  const std::size_t tables = t.tables_per_slice == 0 ? kDefaultTablesPerSlice : t.tables_per_slice;
  const std::size_t per_study = std::max<std::size_t>(studies, 1);
  SliceOptions slices;
  slices.most_runs = std::max<std::size_t>(tables / per_study, 1);
  slices.first_runs = run.stop_after ? std::min(slices.most_runs,
                                                std::max<std::size_t>(kFirstSequentialTables / per_study, 1))
                                     : slices.most_runs;
  slices.spread = t.spread;
  return slices;
}

// The runs handed back slice by slice: counted, stopped by the sequential rule, passed on to
// the observer, and the observer asked whether to go on.
class RunCounter {
 public:
  RunCounter(const Run& run, Result& result, Observer* observer, bool walks_first)
      : run_(run), result_(result), observer_(observer), first_share_(walks_first ? kWalkShare : 0.0) {}

  bool take(std::size_t first, std::span<const float> qsim) {
    std::size_t taken = qsim.size();
    for (std::size_t j = 0; j < qsim.size(); ++j) {
      // An ordered comparison: a Q that is not a number is never counted.
      if (qsim[j] <= result_.observed.Q) {
        ++result_.not_above;
        if (run_.stop_after && result_.not_above == *run_.stop_after) {
          result_.stopped_early = true;
          taken = j + 1;
          break;
        }
      }
    }
    const auto runs = qsim.first(taken);
    result_.undefined += std::count_if(runs.begin(), runs.end(), [](float q) { return std::isnan(q); });
    result_.runs += static_cast<std::int64_t>(taken);
    if (observer_ == nullptr) return !result_.stopped_early;
    observer_->on_runs(static_cast<std::int64_t>(first), runs);
    if (result_.stopped_early) return false;
    const double done = static_cast<double>(first + taken) / std::max<double>(run_.runs, 1.0);
    return go_on(first_share_ + (1.0 - first_share_) * done);
  }

  bool walked(double share) { return go_on(first_share_ * share); }

  bool go_on(double share) {
    if (observer_ != nullptr && !observer_->on_progress(std::min(share, 1.0))) cancelled_ = true;
    return !cancelled_;
  }
  bool cancelled() const noexcept { return cancelled_; }

 private:
  const Run& run_;
  Result& result_;
  Observer* observer_;
  double first_share_;
  bool cancelled_ = false;
};

// The degrees of freedom follow the number of studies; fewer than two leave none.
std::string why_library_stopped(const Result& result) {
  if (result.observed.DF < 1.0) {
    return "at least two studies are needed: Q has one degree of freedom fewer than there are studies";
  }
  return "";
}

// The work of the door; a stop unwinds as errors::RunStopped.
bool analyse_into(std::span<const Study> studies, const Model& model, const Run& run, Observer* observer,
                  errors::ErrorService& errors, Result& result) {
  check_settings(studies, model, run);
  result.seed = run.seed;
  result.level = run.level;
  check_study_counts(studies);
  result.table = make_study_table(studies, model.cc_one, model.cc_both);
  if (observer != nullptr) observer->on_table(result.table);

  probability::SpecialFunctions special(errors);
  const std::int32_t nstudy = run.tuning.stated_studies.value_or(static_cast<std::int32_t>(studies.size()));
  result.observed.DF = static_cast<double>(nstudy) - 1.0;  // for the account of a stop below
  estimate(result.table, nstudy, result.observed, special);
  summary_limits(run.level, result);
  heterogeneity_measures(result);
  if (observer != nullptr) observer->on_observed(result);

  const NullModel null{model, run.runs, run.tuning.zero_test, run.tuning.redraw_limits};
  const SliceOptions slices = slices_for(run, result.table.size());
  const bool walks_first = model.prevalence == Prevalence::kRandom &&
                           slice_bounds(run.runs > 0 ? static_cast<std::size_t>(run.runs) : 0, slices).size() > 2;
  RunCounter counter(run, result, observer, walks_first);
  Generators generators(run.seed);
  simulate_slices(
      null, result.table, result.observed.RRMH, generators, errors, slices,
      [&](std::size_t first, std::span<const float> qsim) { return counter.take(first, qsim); },
      [&](double share) { return counter.walked(share); });
  if (counter.cancelled()) return false;
  // The dialogue divides by the runs asked for; the sequential rule by the runs it made.
  result.pemp = empirical_p_value(result.not_above, result.stopped_early ? result.runs : run.runs);
  left_tail_statistics(result);
  return true;
}

}  // namespace

Outcome analyse(std::span<const Study> studies, const Model& model, const Run& run, Observer* observer) {
  std::ostringstream messages;  // the library's error-message unit
  errors::ErrorService errors(messages);
  Result result;
  try {
    if (!analyse_into(studies, model, run, observer, errors, result)) {
      return Failure{FailureKind::kCancelled, "the analysis was stopped before its end", ""};
    }
  } catch (const DrawRefused& stop) {
    return Failure{FailureKind::kLibraryStop, messages.str(), stop.why()};
  } catch (const errors::RunStopped& stop) {
    if (stop.exit_status() == errors::kExitLibraryStop) {
      return Failure{FailureKind::kLibraryStop, messages.str(), why_library_stopped(result)};
    }
    return Failure{FailureKind::kRefused, stop.report(), ""};
  }
  return result;
}

float empirical_p_value(std::int64_t not_above, std::int64_t runs) {
  // The dialogue counts in single precision and divides by NRUNS in single precision; both
  // are exact for any count it can reach, and a quotient formed in double and then rounded to
  // single is the single-precision quotient. Beyond 2^24 runs this stays exact.
  return static_cast<float>(static_cast<double>(not_above) / static_cast<double>(runs));
}

}  // namespace oskev::analysis
