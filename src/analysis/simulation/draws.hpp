#pragma once

// What both null models share: their binomial draws checked once, where a model describes them,
// the refusals of studies a model cannot simulate, and the slices of runs.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "errors/error_service.hpp"
#include "errors/run_stopped.hpp"

namespace oskev::analysis {

// Where a draw belongs, for the account in plain words of a draw the generator refuses.
struct DrawPlace {
  std::size_t study = 0;   // 0-based
  int arm = 0;             // 1 or 2; 0 for a study's total of events
  std::int64_t run = -1;   // 0-based; -1 for a call that draws every run
  float rrmh = 0.0f;       // the common risk ratio the probabilities come from
};

// A library stop met at a draw: the library's messages are written, and `why` says in plain
// words which study could not be simulated and why.
class DrawRefused : public errors::RunStopped {
 public:
  explicit DrawRefused(std::string why) : RunStopped(errors::kExitLibraryStop, ""), why_(std::move(why)) {}
  const std::string& why() const noexcept { return why_; }

 private:
  std::string why_;
};

// The one check of a draw's arguments, made where the model describes the draw. A draw the
// generator refuses is handed to RNBIN at once, on the analysis's own error service, which
// writes the library's message and stops the run exactly where the program stops; the stop is
// a DrawRefused. Valid draws are made later, by the executor, with no further check.
void check_draw(std::int32_t n, float p, std::int32_t nr, std::int32_t seed, const DrawPlace& place,
                errors::ErrorService& errors);

// Stops the analysis for a study a model can never simulate, before any draw.
[[noreturn]] void refuse(const std::string& report);

inline std::string study_label(std::size_t i) { return "study " + std::to_string(i + 1); }

// How many runs are drawn and evaluated at a time. Slices start at `first_runs` and double up
// to `most_runs`; only one slice's tables are held at a time, so memory does not grow with
// the number of runs. How the runs are sliced never changes a single value.
struct SliceOptions {
  std::size_t first_runs = 0;  // 0: all runs in one slice
  std::size_t most_runs = 0;   // 0: as first_runs
  bool spread = true;          // whether a slice's draws may be spread over helper threads
};

// The first run of every slice, and the end.
std::vector<std::size_t> slice_bounds(std::size_t runs, const SliceOptions& slices);

// Receives the simulated Q of runs first ... first + qsim.size() - 1, slice after slice in run
// order; returns false to draw no further runs.
using SliceSink = std::function<bool(std::size_t first, std::span<const float> qsim)>;

// Told now and then how much of a model's work is done (0 ... 1); returns false to stop.
using WorkSink = std::function<bool(double share_done)>;

}  // namespace oskev::analysis
