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

// Every number of one analysed meta-analysis that R reports. Single-precision values stay
// floats, so that the glue widens them exactly.
struct Numbers {
  std::vector<std::array<float, 4>> corrected;  // corrected counts e1, s1, e2, s2
  std::vector<float> rr, rr_lower, rr_upper, var_log_rr, weight;
  float rrmh = 0.0f, rrmh_lower = 0.0f, rrmh_upper = 0.0f, q = 0.0f;
  double var_log_rrmh = 0.0, df = 0.0, i_squared = 0.0, p_asymptotic = 0.0;
  double p_upper = 0.0, p_lower = 0.0;  // accurate chi-squared tails P(X > Q), P(X <= Q)
  double runs = 0.0, not_above = 0.0, undefined = 0.0;
  bool q_undefined = false;  // the observed Q is not a number: the left-sided P-value means nothing
  float p_left = 0.0f;
  double p_left_plus_one = 0.0, mc_standard_error = 0.0, p_left_lower = 0.0, p_left_upper = 0.0;
};

constexpr int kStatusCancelled = -1;

struct Analysis {
  int status = 0;       // 0, 1 library stop, 3 refused, kStatusCancelled
  std::string message;  // the library's message
  std::string why;      // what stopped it in plain words, when the engine says
  Numbers numbers;
};

Analysis analyse(const Counts& counts, const Request& request, const Watch& watch);

// One column of the rows of `oskev analyse -f csv`: text, or numbers with NaN for an empty
// cell (single-precision values widened exactly).
struct Column {
  std::string name;
  bool text = false;
  std::vector<std::string> texts;
  std::vector<double> numbers;
  std::vector<bool> empty;  // a cell the command leaves empty
};

// The meta-analyses of `groups`, `jobs` side by side, as the columns of `oskev analyse -f csv`
// in its order; nothing once `cancel` is set.
std::vector<Column> analyse_batch(const std::vector<Counts>& groups, const std::vector<std::string>& names,
                                  const std::string& source, const Request& request, unsigned jobs,
                                  const std::atomic<bool>& cancel);

}  // namespace oskev::r_glue
