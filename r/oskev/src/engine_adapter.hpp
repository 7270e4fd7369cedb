#pragma once

// The one place where the R package meets the engine's interface: the glue (oskev_glue.cpp)
// speaks only in the terms below.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "analysis/batch/batch_report.hpp"

namespace oskev::r_glue {

struct Counts4 {
  std::int32_t e1 = 0, s1 = 0, e2 = 0, s2 = 0;  // events and subjects of arm 1, then of arm 2
};
using Counts = std::vector<Counts4>;

struct Request {
  std::int32_t runs = 10000;
  float cc_one = 0.5f;
  float cc_both = 0.5f;
  std::int32_t type = 1;  // 1 fixed, 2 random prevalence of total events
  std::int32_t seed = 1;
};

// What the glue is told while an analysis runs, on the analysing thread.
struct Watch {
  std::function<void(std::span<const float> qsim)> on_runs;  // simulated Q, in run order
  std::function<bool()> keep_going;                          // false: abandon the analysis
};

// Per-study values and what the report row does not hold.
struct Numbers {
  std::vector<std::array<float, 4>> corrected;  // corrected counts e1, s1, e2, s2
  std::vector<float> rr, rr_lower, rr_upper, var_log_rr, weight;
  double var_log_rrmh = 0.0;
  bool q_undefined = false;  // the observed Q is not a number: the left-sided P-value means nothing
};

constexpr int kStatusCancelled = -1;

struct Analysis {
  int status = 0;  // 0, 1 library stop, 3 refused, kStatusCancelled
  std::string message;
  Numbers numbers;
  analysis::ReportRow row;  // the row `oskev analyse` reports
};

Analysis analyse(const Counts& counts, const Request& request, const Watch& watch);

// One row per meta-analysis, in the order given, `jobs` analysed side by side; empty once
// `cancel` is set.
std::vector<analysis::ReportRow> analyse_batch(const std::vector<Counts>& groups, const std::vector<std::string>& names,
                                               const std::string& source, const Request& request, unsigned jobs,
                                               const std::atomic<bool>& cancel);

// The names of the settings columns of `oskev analyse -f csv` that differ from the R names.
inline constexpr const char* kColumnType = "iopt";
inline constexpr const char* kColumnCcOne = "ccone";
inline constexpr const char* kColumnCcBoth = "ccboth";

}  // namespace oskev::r_glue
