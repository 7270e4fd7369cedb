#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "analysis/run_parameters.hpp"
#include "analysis/study_table.hpp"
#include "analysis/variant.hpp"
#include "errors/error_service.hpp"
#include "random/binomial.hpp"
#include "random/uniform_stream.hpp"
#include "text/bit_cast.hpp"

namespace oskev::analysis {

// The seed handed to GETBIN before every binomial draw: the bit pattern of the uniform RU
// read as a 32-bit integer (not its converted value), always within the seeds SEEDSET takes.
inline std::int32_t seed_from_uniform(float ru) { return text::bit_cast<std::int32_t>(ru); }

// One call of the generator subroutines, as tests follow the simulation's draws.
struct GeneratorCall {
  enum class Kind { kUniform, kBinomial };
  Kind kind = Kind::kUniform;
  float uniform = 0.0f;  // GETUNI: the value returned
  std::int32_t n = 0;    // GETBIN: trials, probability, number of variates, seed
  float p = 0.0f;
  std::int32_t nr = 0;
  std::int32_t seed = 0;
};

// The program's two generator subroutines between the simulation and the library.
class Generators {
 public:
  Generators(random::UniformStream& stream, random::BinomialSetup& setup, errors::ErrorService& errors)
      : stream_(stream), setup_(setup), errors_(errors) {}

  // The next uniform of a private stream: each call restores the state it saved, so other
  // use of the shared stream between calls never changes what it returns. Its first call
  // seeds the stream from the clock.
  void GETUNI(float& r);
  // ir[0 ... nr-1] <- binomial (n, p) variates from the shared stream seeded with `iseed`.
  void GETBIN(std::int32_t n, float p, std::int32_t* ir, std::int32_t nr, std::int32_t iseed);
  // A GETBIN call with checked arguments that another thread makes on a stream of its own:
  // noted here, in the order the program makes it.
  void note_GETBIN(std::int32_t n, float p, std::int32_t nr, std::int32_t iseed) {
    if (recording_) [[unlikely]] calls_.push_back({GeneratorCall::Kind::kBinomial, 0.0f, n, p, nr, iseed});
  }

  // Reads the private stream ahead, which depends on nothing else: values[j] is what the
  // (j + 1)-th next GETUNI call returns, and saved[j] the state it saves.
  void peek_GETUNI(std::size_t count, float* values, std::int32_t* saved);
  // Makes the next GETUNI call, read ahead as `value` saving `saved`. Unlike GETUNI it leaves
  // the shared stream alone: every GETBIN seeds the shared stream first, so where GETUNI
  // leaves it is never seen.
  void take_GETUNI(float value, std::int32_t saved) {
    ISAVE_ = saved;
    if (recording_) [[unlikely]] calls_.push_back({GeneratorCall::Kind::kUniform, value, 0, 0.0f, 0, 0});
  }

  // Where the private stream stands: the state the last GETUNI call saved (the clock seed
  // before the first call, which is then seeded as that call would be). Restoring it makes the
  // next GETUNI calls repeat what followed it.
  std::int32_t private_state() {
    start();
    return ISAVE_;
  }
  void restore_private_state(std::int32_t saved) noexcept { ISAVE_ = saved; }

  // From now on every call is kept, in the order the program makes it, for a test to follow.
  void record_calls() { recording_ = true; }
  const std::vector<GeneratorCall>& calls() const noexcept { return calls_; }

 private:
  random::UniformStream& stream_;
  random::BinomialSetup& setup_;
  errors::ErrorService& errors_;
  // The first call seeds the private stream from the clock: ISAVE then holds the clock seed,
  // the state before the stream's first value.
  void start();

  std::int32_t ISAVE_ = 0;
  bool recording_ = false;
  std::vector<GeneratorCall> calls_;
};

// Heterogeneity statistics of the simulated runs.
struct SimulatedRuns {
  std::vector<float> QSIM;     // Q of every run; not a number where zero cells remained
  std::int32_t undefined = 0;  // runs whose Q is not a number
};

// Bounds on the random-prevalence model's redraws of totals: per run, and in all. A table
// that leaves almost no acceptable total would otherwise keep the program busy for hours.
struct RedrawLimits {
  long per_run = 1'000'000;
  long long in_all = 50'000'000;
};

// Draws NRUNS sets of study tables under a common risk ratio RRMH (fixed prevalence of total
// events for IOPT 1, random prevalence for IOPT 2) and computes each set's own Mantel-Haenszel
// summary and Q. Draws whose arguments are known to be valid are spread over the machine's
// cores; every draw depends only on its arguments and seed, so the result does not.
SimulatedRuns simulate(Variant variant, const RunParameters& parameters, const StudyTable& table, float rrmh,
                       Generators& generators, const RedrawLimits& limits = {});

// How many runs are drawn and evaluated at a time. Slices start at `first_runs` and double up
// to `most_runs`; only one slice's tables are held at a time, so memory does not grow with
// the number of runs. How the runs are sliced never changes a single value.
struct SliceOptions {
  std::size_t first_runs = 0;  // 0: all runs in one slice
  std::size_t most_runs = 0;   // 0: as first_runs
  bool spread = true;          // whether a slice's draws may be spread over helper threads
};

// Receives the simulated Q of runs first ... first + qsim.size() - 1, slice after slice in run
// order; returns false to draw no further runs.
using SliceSink = std::function<bool(std::size_t first, std::span<const float> qsim)>;

// The simulation of `simulate`, handed to `sink` a slice at a time.
void simulate_slices(Variant variant, const RunParameters& parameters, const StudyTable& table, float rrmh,
                     Generators& generators, const RedrawLimits& limits, const SliceOptions& slices,
                     const SliceSink& sink);

}  // namespace oskev::analysis
