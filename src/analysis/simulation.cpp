#include "analysis/simulation.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <stdexcept>
#include <string>

#include "analysis/random_prevalence.hpp"
#include "analysis/run_statistics.hpp"
#include "analysis/simulated_tables.hpp"
#include "analysis/simulation_steps.hpp"
#include "errors/run_stopped.hpp"
#include "random/draw_pool.hpp"
#include "random/uniform_cursor.hpp"

namespace oskev::analysis {

void Generators::start() {
  if (ISAVE_ != 0) return;
  // SEEDSET (0) reads the clock at this moment; the stream was readied at start-up, so the
  // state SEEDGET returns is that clock seed.
  std::int32_t nout = 0;
  errors_.UMACH(2, nout);
  stream_.SEEDSET(0);
  stream_.SEEDGET(ISAVE_);
}

// Each call restores the saved state and draws (the value the previous call returned), saves
// the new state, draws again and returns that; so call m returns the uniform of the
// (m + 1)-th state after the clock seed and saves the m-th.
void Generators::GETUNI(float& r) {
  start();
  ISAVE_ = random::UniformStream::next_state(ISAVE_);
  const std::int32_t state = random::UniformStream::next_state(ISAVE_);
  stream_.SEEDSET(state);
  r = stream_.uniform(state);
  if (recording_) [[unlikely]] calls_.push_back({GeneratorCall::Kind::kUniform, r, 0, 0.0f, 0, 0});
}

void Generators::peek_GETUNI(std::size_t count, float* values, std::int32_t* saved) {
  if (count == 0) return;
  start();
  // Call j saves the (j + 1)-th state after ISAVE and returns the uniform of the next one.
  random::UniformCursor::successors(ISAVE_, saved, count);
  for (std::size_t j = 0; j + 1 < count; ++j) values[j] = stream_.uniform(saved[j + 1]);
  values[count - 1] = stream_.uniform(random::UniformStream::next_state(saved[count - 1]));
}

void Generators::GETBIN(std::int32_t n, float p, std::int32_t* ir, std::int32_t nr, std::int32_t iseed) {
  note_GETBIN(n, p, nr, iseed);
  stream_.SEEDSET(iseed);
  if (random::binomial_arguments_valid(nr, n, p)) {
    // Nothing to report: the draws alone, without the error-service traffic.
    random::draw_binomial(nr, n, p, ir, stream_, setup_);
    return;
  }
  std::int32_t nout = 0;
  errors_.UMACH(2, nout);
  random::RNBIN(nr, n, p, ir, stream_, setup_, errors_);
}


namespace simulation_steps {

void refuse(const std::string& report) { throw errors::RunStopped(errors::kExitRefused, report); }

std::int32_t next_seed(Generators& generators) {
  float ru = 0.0f;
  generators.GETUNI(ru);
  return seed_from_uniform(ru);
}

void stop_at(Generators& generators, std::int32_t n, float p, std::int32_t nr, std::int32_t seed) {
  std::vector<std::int32_t> ir(static_cast<std::size_t>(std::max(nr, 1)));
  generators.GETBIN(n, p, ir.data(), nr, seed);
  throw std::logic_error("RNBIN accepted arguments it refuses");
}

std::vector<std::size_t> slice_bounds(std::size_t runs, const SliceOptions& slices) {
  std::vector<std::size_t> bounds{0};
  std::size_t size = slices.first_runs == 0 ? runs : slices.first_runs;
  const std::size_t most = slices.most_runs == 0 ? size : std::max(slices.most_runs, size);
  for (std::size_t k = 0; k < runs;) {
    k += std::min(std::max<std::size_t>(size, 1), runs - k);
    bounds.push_back(k);
    size = std::min(size > most / 2 ? most : 2 * size, most);
  }
  return bounds;
}

}  // namespace simulation_steps

namespace {

using namespace simulation_steps;

// Fixed prevalence of total events: each arm's event probability is fixed once from the
// study's observed events, arm 1's being RRMH times arm 2's; all runs of an arm come from one
// seed, drawn as one call would draw them (a slice continues where the last one stopped).
// Simulated zero cells are corrected with 0.5 (one arm) and 0.1 (both arms).
void simulate_fixed_prevalence(const RunParameters& p, const StudyTable& table, float rrmh, Generators& generators,
                               const std::vector<std::size_t>& bounds, bool spread, const SliceSink& sink) {
  struct Draw {
    std::int32_t n;
    float p;
    std::int32_t state;  // the seed, then where the arm's stream stands after each slice
  };
  std::vector<Draw> draws;
  for (std::size_t i = 0; i < table.size(); ++i) {
    const auto& raw = table.NCOUNT[i];
    const auto& c = table.COUNT[i];
    const float parm2 = static_cast<float>((double{c[kEvents1]} + c[kEvents2]) /
                                           (double{rrmh} * c[kSubjects1] + c[kSubjects2]));
    const float parm1 = static_cast<float>(double{rrmh} * parm2);
    const std::int32_t seed1 = next_seed(generators);
    plan_or_stop(generators, raw[kSubjects1], parm1, p.NRUNS, seed1);
    draws.push_back({raw[kSubjects1], parm1, seed1});
    const std::int32_t seed2 = next_seed(generators);
    plan_or_stop(generators, raw[kSubjects2], parm2, p.NRUNS, seed2);
    draws.push_back({raw[kSubjects2], parm2, seed2});
  }
  std::vector<SimulatedStudy> studies(table.size());
  for (std::size_t s = 0; s + 1 < bounds.size(); ++s) {
    const std::size_t runs = bounds[s + 1] - bounds[s];
    for (std::size_t i = 0; i < table.size(); ++i) {
      studies[i].prepare(table.NCOUNT[i], runs, double{0.5f}, double{0.1f}, 1.0, double{0.2f});
    }
    random::parallel_for<random::DrawWorker>(
        draws.size(),
        [&](random::DrawWorker& worker, std::size_t j) {
          Draw& draw = draws[j];
          std::vector<std::int32_t> variates(runs);
          draw.state = worker.draw(draw.n, draw.p, variates.data(), static_cast<std::int32_t>(runs), draw.state);
          CountColumn& column = j % 2 == 0 ? studies[j / 2].arm1 : studies[j / 2].arm2;
          for (std::size_t k = 0; k < runs; ++k) column.set(k, variates[k]);
        },
        spread && random::worth_spreading(runs * table.size()));
    const std::vector<float> qsim = run_statistics(studies, runs, spread);
    if (!sink(bounds[s], qsim)) return;
  }
}

}  // namespace

void simulate_slices(Variant variant, const RunParameters& parameters, const StudyTable& table, float rrmh,
                     Generators& generators, const RedrawLimits& limits, const SliceOptions& slices,
                     const SliceSink& sink) {
  const std::vector<std::size_t> bounds = slice_bounds(run_count(parameters), slices);
  if (parameters.IOPT == 1) {
    simulate_fixed_prevalence(parameters, table, rrmh, generators, bounds, slices.spread, sink);
  } else {
    random_prevalence::simulate(variant, parameters, table, rrmh, generators, limits, bounds, slices.spread, sink);
  }
}

SimulatedRuns simulate(Variant variant, const RunParameters& parameters, const StudyTable& table, float rrmh,
                       Generators& generators, const RedrawLimits& limits) {
  SimulatedRuns result;
  result.QSIM.reserve(run_count(parameters));
  simulate_slices(variant, parameters, table, rrmh, generators, limits, SliceOptions{},
                  [&](std::size_t, std::span<const float> qsim) {
                    result.QSIM.insert(result.QSIM.end(), qsim.begin(), qsim.end());
                    return true;
                  });
  result.undefined = static_cast<std::int32_t>(
      std::count_if(result.QSIM.begin(), result.QSIM.end(), [](float q) { return std::isnan(q); }));
  return result;
}

}  // namespace oskev::analysis
