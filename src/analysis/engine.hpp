#pragma once

// The engine: one meta-analysis from the counts of its studies to its simulated Q, as a plain
// function of the counts, the settings and a readied library. No console, file or clock: the
// library's messages go to the error unit its bundle was made with.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "analysis/library.hpp"
#include "analysis/observed.hpp"
#include "analysis/simulation.hpp"
#include "analysis/study_table.hpp"
#include "analysis/variant.hpp"

namespace oskev::analysis {

struct AnalysisResult;

// How one meta-analysis is analysed without the dialogue. The defaults are those of the
// command line.
struct AnalysisSettings {
  std::int32_t runs = 10000;  // simulation runs (the most, under sequential stopping)
  float ccone = 0.5f;         // continuity correction, zero events in one arm
  float ccboth = 0.5f;        // continuity correction, zero events in both arms
  std::int32_t iopt = 1;      // 1 = fixed, 2 = random prevalence of total events
  // Takes the place of every reading of the clock, as `oskev --seed` does: 1 ... 2147483646.
  // Read by `analyse`, which seeds a library of its own; `run_engine` draws from the library
  // it is given, as it stands.
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
  // Called on the calling thread once the study table is complete, before anything is
  // estimated from it.
  std::function<void(const StudyTable& table)> on_table;
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

// The work of one meta-analysis on `library`, whose stream is already seeded (from the clock at
// the dialogue's start, or from a seed): the counts are checked, the table made, the observed
// statistics estimated, and the runs drawn and counted, calling the settings' hooks on the way.
// `nstudy` is the number of studies as the user gave it, which the degrees of freedom follow.
// Throws errors::RunStopped for a library stop or a refusal, after the library's messages.
void run_engine(Library& library, StudyCountRows counts, std::int32_t nstudy, const AnalysisSettings& settings,
                AnalysisResult& result);

// The left-sided ("extreme homogeneity") P-value: the share of runs whose Q does not exceed
// the observed Q. A run whose Q is not a number is not counted; the divisor is the number of
// runs asked for (the runs made when a sequential rule stopped early).
float empirical_p_value(std::int64_t not_above, std::int64_t runs);
float empirical_p_value(const std::vector<float>& qsim, float q, std::int32_t nruns);

}  // namespace oskev::analysis
