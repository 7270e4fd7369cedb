#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "analysis/observed.hpp"
#include "analysis/simulation.hpp"
#include "analysis/study_table.hpp"
#include "analysis/variant.hpp"

namespace oskev::analysis {

// One study as counted: events and subjects of arm 1, then of arm 2.
struct StudyCounts {
  std::int32_t e1 = 0;
  std::int32_t s1 = 0;
  std::int32_t e2 = 0;
  std::int32_t s2 = 0;
};

struct AnalysisResult;

// How one meta-analysis is analysed without the dialogue. The defaults are those of the
// command line.
struct AnalysisSettings {
  std::int32_t runs = 10000;  // simulation runs (the most, under sequential stopping)
  float ccone = 0.5f;         // continuity correction, zero events in one arm
  float ccboth = 0.5f;        // continuity correction, zero events in both arms
  std::int32_t iopt = 1;      // 1 = fixed, 2 = random prevalence of total events
  // Takes the place of every reading of the clock, as `oskev --seed` does: 1 ... 2147483646.
  std::int32_t seed = 1;
  // Besag-Clifford sequential stopping: stop as soon as this many runs have a simulated Q not
  // above the observed Q; P = h / L after L runs. Unset: always all runs.
  std::optional<std::int64_t> stop_after;
  // Which program's acceptance test the random-prevalence model uses (both draw alike for
  // non-negative corrections).
  Variant variant = Variant::kOskev;
  RedrawLimits redraw_limits;
  // Whether this analysis may spread its draws over helper threads (off when the caller
  // already runs several analyses side by side).
  bool spread = true;
  // Simulated tables held at a time (runs x studies); 0 for the default. The runs are drawn
  // and evaluated a slice at a time, so memory does not grow with the number of runs.
  std::size_t tables_per_slice = 0;
  // Called on the calling thread after every slice of runs, in run order, with the simulated
  // Q of runs first ... first + qsim.size() - 1 (only up to the stopping run under sequential
  // stopping). It may throw to abandon the analysis (an interrupt, say); the exception
  // reaches the caller.
  std::function<void(std::int64_t first, std::span<const float> qsim)> on_runs;
  // Called on the calling thread once the observed statistics are known, before any run.
  std::function<void(const AnalysisResult& observed)> on_observed;
};

// Outcome of one meta-analysis: status 0 and every value, or the status and message of the
// stop that ended it (the library's own message text for a library stop).
struct AnalysisResult {
  int status = 0;       // 0, errors::kExitLibraryStop or errors::kExitRefused
  std::string message;  // empty when status is 0

  StudyTable table;             // corrected counts, risk ratios, limits, weights
  ObservedStatistics observed;  // RRMH, Q, DF, PASYM
  // Greenland-Robins variance of ln RRMH, from the same corrected counts and study sizes as
  // RRMH itself, and the 95% limits of RRMH (single precision, like RRMH).
  double log_rrmh_variance = 0.0;
  float rrmh_lower = 0.0f;
  float rrmh_upper = 0.0f;
  double i_squared = 0.0;  // max(0, (Q - DF) / Q), as a percentage

  std::int64_t runs = 0;       // runs made: m, or L when the sequential rule stopped early
  std::int64_t not_above = 0;  // b: runs whose simulated Q is not above Q
  std::int64_t undefined = 0;  // runs whose simulated Q is not a number (never counted in b)
  float pemp = 0.0f;           // b / runs in single precision, as the dialogue prints it
  bool stopped_early = false;  // the sequential rule decided before the maximum of runs
};

// Analyses one meta-analysis on the engine of the dialogue: for the same studies, corrections,
// type of estimation, runs and seed every value equals what `oskev --seed N` prints and writes.
// Never throws for a meta-analysis that cannot be analysed (that is the status); an exception
// from `on_runs` propagates.
AnalysisResult analyse(const std::vector<StudyCounts>& studies, const AnalysisSettings& settings);

}  // namespace oskev::analysis
