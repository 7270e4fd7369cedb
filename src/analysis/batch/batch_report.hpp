#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace oskev::analysis {

// One meta-analysis of a batch as `oskev analyse` reports it: where it came from, how it was
// analysed, and either its results or why it could not be analysed.
struct ReportRow {
  std::string source;  // the file it was read from ("-" for standard input)
  std::string name;    // the meta-analysis: its group name, or the file name when ungrouped
  std::string status;  // "ok", "library stop", "refused" or "input error"
  std::string message; // why it could not be analysed; empty when status is "ok"
  std::int64_t studies = 0;

  // Settings.
  std::int32_t iopt = 1;  // 1 fixed, 2 random prevalence of total events
  float ccone = 0.5f;
  float ccboth = 0.5f;
  std::int32_t seed = 0;
  std::int64_t max_runs = 0;               // runs asked for (the most, under sequential stopping)
  std::optional<std::int64_t> stop_after;  // h of the Besag-Clifford rule, when asked for

  // Results; meaningful only when status is "ok".
  float rrmh = 0.0f;
  float rrmh_lower = 0.0f;  // 95% limits from the Greenland-Robins variance
  float rrmh_upper = 0.0f;
  float q = 0.0f;
  double df = 0.0;
  double i_squared = 0.0;  // percent
  double p_asymptotic = 0.0;
  std::int64_t runs = 0;       // m (L when the sequential rule stopped early)
  std::int64_t not_above = 0;  // b
  std::int64_t undefined = 0;  // runs with an undefined simulated Q
  float p_left = 0.0f;         // b / m, single precision, as the dialogue prints it
  double p_left_plus_one = 0.0;  // (b + 1) / (m + 1)
  double mc_standard_error = 0.0;  // sqrt(p (1 - p) / m) for p = b / m
  double ci_lower = 0.0;           // exact 95% Clopper-Pearson interval for b of m
  double ci_upper = 0.0;
  std::string rule;  // "fixed runs" or "Besag-Clifford"
};

}  // namespace oskev::analysis
