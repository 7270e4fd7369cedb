#pragma once

// The engine's one door: a meta-analysis from its studies, the model it is tested under and
// how the simulation is run, to one result holding every number any face reports, or a failure
// carrying the exact message the dialogue prints. A plain function of values: no console, file,
// clock or state of any earlier analysis.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>

#include "analysis/estimates/model.hpp"
#include "analysis/estimates/observed.hpp"
#include "analysis/estimates/study_table.hpp"
#include "analysis/records/study.hpp"
#include "analysis/result.hpp"
#include "analysis/simulation/redraws.hpp"

namespace oskev::analysis {

// The room of the dialogue's tables. A slice of runs holding this many tables keeps the
// dialogue's largest simulation in one piece, and bounds the memory of longer ones.
inline constexpr std::int32_t kMaxStudies = 100;
inline constexpr std::int32_t kMaxRuns = 80000;

// Knobs of the work that change no value of a result, and the two points where the dialogue
// asks for what only it can mean.
struct Tuning {
  bool spread = true;                // may spread draws over helper threads (off in a batch of many)
  std::size_t tables_per_slice = 0;  // simulated tables held at a time (runs x studies); 0: the dialogue's room
  RedrawLimits redraw_limits;        // the random-prevalence model's bounds on redrawn totals
  ZeroTest zero_test = ZeroTest::kEqualsZero;  // OSKEV's test; OSKEV v1.0 asks for kAtMostZero
  // The number of studies as the dialogue's user answered it, which the degrees of freedom and
  // a library message quoting them follow (below 1 no study is read). Unset: the studies given.
  std::optional<std::int32_t> stated_studies;
};

// How the simulation is run.
struct Run {
  std::int32_t seed = 1;                   // 1 ... 2147483646: where the private stream starts
  std::int32_t runs = 10000;               // the runs (the most, under sequential stopping)
  std::optional<std::int64_t> stop_after;  // Besag-Clifford: stop once h runs are not above Q
  double level = 0.95;                     // of every interval of the result
  Tuning tuning;
};

// Hears an analysis as it goes; every call is made on the calling thread. Optional.
class Observer {
 public:
  virtual ~Observer() = default;
  // The corrected table is complete, before anything is estimated from it.
  virtual void on_table(const StudyTable& /*table*/) {}
  // The observed statistics are known (the table, RRMH, Q, the asymptotic P-values), before
  // the first run.
  virtual void on_observed(const Result& /*observed*/) {}
  // The simulated Q of runs first ... first + qsim.size() - 1, in run order (under sequential
  // stopping only up to the run that decided).
  virtual void on_runs(std::int64_t /*first*/, std::span<const float> /*qsim*/) {}
  // The share of the simulation's work done so far (0 ... 1). Returning false stops the
  // analysis at once: its outcome is then a failure of kind kCancelled.
  virtual bool on_progress(double /*share_done*/) { return true; }
};

enum class FailureKind {
  kLibraryStop,  // the numerical library stopped the run (its message is in `message`)
  kRefused,      // studies or settings the engine cannot work with
  kCancelled,    // the observer asked to stop
};

struct Failure {
  FailureKind kind = FailureKind::kRefused;
  // What the dialogue prints: the library's messages and traceback as the error service writes
  // them (several lines, each ending in a line end) for a library stop, the one-line report for
  // a refusal.
  std::string message;
  // In plain words, when the stop came from one study: which, and why (e.g. no events in either
  // arm and no correction for that). Empty otherwise.
  std::string why;
};

// A result, or why there is none.
class Outcome {
 public:
  Outcome(Result result) : value_(std::move(result)) {}
  Outcome(Failure failure) : value_(std::move(failure)) {}

  bool ok() const noexcept { return std::holds_alternative<Result>(value_); }
  const Result& result() const { return std::get<Result>(value_); }
  Result& result() { return std::get<Result>(value_); }
  const Failure& failure() const { return std::get<Failure>(value_); }

 private:
  std::variant<Result, Failure> value_;
};

// Analyses one meta-analysis: the counts are checked, the table made, the observed statistics
// estimated, and the runs drawn from `run.seed` and counted. For the same studies, model, runs
// and seed every value equals what `oskev --seed N` prints and writes. Never throws for a
// meta-analysis that cannot be analysed; an exception thrown by the observer propagates.
Outcome analyse(std::span<const Study> studies, const Model& model, const Run& run, Observer* observer = nullptr);

// The left-sided ("extreme homogeneity") P-value of b runs of m not above Q, in single
// precision as the dialogue forms it.
float empirical_p_value(std::int64_t not_above, std::int64_t runs);

}  // namespace oskev::analysis
