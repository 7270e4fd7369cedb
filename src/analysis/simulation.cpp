#include "analysis/simulation.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <deque>
#include <memory>
#include <stdexcept>
#include <string>

#include "analysis/draw_pool.hpp"
#include "analysis/simulated_tables.hpp"
#include "errors/run_stopped.hpp"

namespace oskev::analysis {

std::int32_t seed_from_uniform(float ru) { return std::bit_cast<std::int32_t>(ru); }

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
  if (log != nullptr) log->push_back({GeneratorCall::Kind::kUniform, r, 0, 0.0f, 0, 0});
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


namespace {

// Runs of the random-prevalence model handed to another thread at a time.
constexpr std::size_t kRunsPerBatch = 4096;
// Totals of the random-prevalence model drawn ahead at a time: at first, and at most.
constexpr std::size_t kFirstTotalsBatch = 64;
constexpr std::size_t kMaxTotalsBatch = 1024;

[[noreturn]] void refuse(const std::string& report) { throw errors::RunStopped(errors::kExitRefused, report); }

std::string study_label(std::size_t i) { return "study " + std::to_string(i + 1); }

std::size_t run_count(const RunParameters& p) { return p.NRUNS > 0 ? static_cast<std::size_t>(p.NRUNS) : 0; }

// Draws the uniform and the seed for one GETBIN call.
std::int32_t next_seed(Generators& generators) {
  float ru = 0.0f;
  generators.GETUNI(ru);
  return seed_from_uniform(ru);
}

// A draw the program is about to make: made here when its arguments are valid (later, on
// any thread), else made at once on the program's own library, which writes the error and
// stops the run exactly where the program would.
[[noreturn]] void stop_at(Generators& generators, std::int32_t n, float p, std::int32_t nr, std::int32_t seed) {
  std::vector<std::int32_t> ir(static_cast<std::size_t>(std::max(nr, 1)));
  generators.GETBIN(n, p, ir.data(), nr, seed);
  throw std::logic_error("RNBIN accepted arguments it refuses");
}

inline void plan_or_stop(Generators& generators, std::int32_t n, float p, std::int32_t nr, std::int32_t seed) {
  if (!random::binomial_arguments_valid(nr, n, p)) [[unlikely]] stop_at(generators, n, p, nr, seed);
  generators.note_GETBIN(n, p, nr, seed);
}

// Fixed prevalence of total events: each arm's event probability is fixed once from the
// study's observed events, arm 1's being RRMH times arm 2's; all runs of an arm are drawn in
// one call. Simulated zero cells are corrected with 0.5 (one arm) and 0.1 (both arms).
void simulate_fixed_prevalence(const RunParameters& p, const StudyTable& table, float rrmh,
                               Generators& generators, std::vector<SimulatedStudy>& studies) {
  struct Draw {
    std::int32_t n;
    float p;
    std::int32_t seed;
    CountColumn* column;
  };
  std::vector<Draw> draws;
  const std::size_t runs = run_count(p);
  for (std::size_t i = 0; i < table.size(); ++i) {
    const auto& raw = table.NCOUNT[i];
    const auto& c = table.COUNT[i];
    const float parm2 = static_cast<float>((double{c[kEvents1]} + c[kEvents2]) /
                                           (double{rrmh} * c[kSubjects1] + c[kSubjects2]));
    const float parm1 = static_cast<float>(double{rrmh} * parm2);
    SimulatedStudy& study = studies[i];
    study.prepare(raw, runs, double{0.5f}, double{0.1f}, 1.0, double{0.2f});

    const std::int32_t seed1 = next_seed(generators);
    plan_or_stop(generators, raw[kSubjects1], parm1, p.NRUNS, seed1);
    draws.push_back({raw[kSubjects1], parm1, seed1, &study.arm1});
    const std::int32_t seed2 = next_seed(generators);
    plan_or_stop(generators, raw[kSubjects2], parm2, p.NRUNS, seed2);
    draws.push_back({raw[kSubjects2], parm2, seed2, &study.arm2});
  }
  parallel_for<DrawWorker>(
      draws.size(),
      [&](DrawWorker& worker, std::size_t j) {
        const Draw& draw = draws[j];
        std::vector<std::int32_t> variates(runs);
        worker.draw(draw.n, draw.p, variates.data(), p.NRUNS, draw.seed);
        for (std::size_t k = 0; k < runs; ++k) draw.column->set(k, variates[k]);
      },
      worth_spreading(runs * table.size()));
}

// Refuses, before any draw, a study that the random-prevalence model can never simulate.
std::vector<std::int32_t> pooled_sizes(const StudyTable& table) {
  std::vector<std::int32_t> npool(table.size());
  for (std::size_t i = 0; i < table.size(); ++i) {
    const auto& raw = table.NCOUNT[i];
    const auto& c = table.COUNT[i];
    const long long pooled = static_cast<long long>(raw[kSubjects1]) + raw[kSubjects2];
    if (pooled > 2147483647LL) {
      refuse(study_label(i) + " cannot be simulated under random prevalence of total events: its " +
             std::to_string(pooled) + " participants exceed the generator's limit of 2147483647");
    }
    // No total can then be accepted: the program would redraw for ever.
    if (static_cast<double>(pooled) <= double{c[kEvents1]} + c[kEvents2]) {
      refuse(study_label(i) + " cannot be simulated under random prevalence of total events: its " +
             std::to_string(pooled) + " participants do not exceed its corrected events");
    }
    npool[i] = static_cast<std::int32_t>(pooled);
  }
  return npool;
}

// Random prevalence of total events: every run first draws the study's total events from its
// pooled proportion, derives the arm probabilities from that total (redrawing totals that
// give a probability outside (0, 1]), then draws both arms. Zero cells are corrected with the
// entered corrections.
//
// The totals are drawn here, in order, a batch of runs at a time: their seeds are read ahead
// on the private stream as if no total of the batch were redrawn, and a redrawn total ends
// the batch there (the seeds after it shift by one). The arm draws of each batch of accepted
// runs go to the pipeline.
void simulate_random_prevalence(Variant variant, const RunParameters& p, const StudyTable& table, float rrmh,
                                Generators& generators, std::vector<SimulatedStudy>& studies,
                                const RedrawLimits& limits) {
  if (p.NRUNS < 1) {
    refuse("the random prevalence of total events needs at least one run, not " + std::to_string(p.NRUNS));
  }
  const std::vector<std::int32_t> npool = pooled_sizes(table);
  const std::size_t runs = run_count(p);
  const bool v10 = variant == Variant::kOskevV10;

  long long all_redraws = 0;
  DrawWorker totals_worker;
  std::vector<float> uniforms;
  std::vector<std::int32_t> saved;
  std::vector<random::SingleDraw> totals;
  // Destroyed (its threads stopped) before `studies` on every way out.
  DrawPipeline pipeline(worth_spreading(runs * table.size()));
  for (std::size_t i = 0; i < table.size(); ++i) {
    const auto& raw = table.NCOUNT[i];
    const auto& c = table.COUNT[i];
    const std::int32_t s1 = raw[kSubjects1], s2 = raw[kSubjects2];
    const float ppool = static_cast<float>((double{c[kEvents1]} + c[kEvents2]) /
                                           (double{c[kSubjects1]} + c[kSubjects2]));
    // PARM2 is formed with the study's corrected observed sizes.
    const double denominator = double{rrmh} * c[kSubjects1] + c[kSubjects2];
    SimulatedStudy& study = studies[i];
    study.prepare(raw, runs, double{p.CCONE}, double{p.CCBOTH}, 2.0 * p.CCONE, 2.0 * p.CCBOTH);
    // The arm probabilities and whether they are accepted depend on the drawn total alone:
    // worked out once for each total that comes up, with the arms' BTPE set-ups, which the
    // arm draws of every thread share (and which live as long as any batch of the study).
    struct ArmProbabilities {
      bool known = false;
      bool redrawn = false;
      float parm1 = 0.0f;
      float parm2 = 0.0f;
      const random::BinomialSetup* setup1 = nullptr;
      const random::BinomialSetup* setup2 = nullptr;
    };
    std::vector<ArmProbabilities> by_total(std::min<std::size_t>(static_cast<std::size_t>(npool[i]) + 1, 4096));
    auto arm_setups = std::make_shared<std::deque<random::BinomialSetup>>();
    auto shared_setup = [&](std::int32_t n, float parm) -> const random::BinomialSetup* {
      if (!random::binomial_arguments_valid(1, n, parm)) return nullptr;
      random::BinomialSetup& setup = arm_setups->emplace_back();
      return random::prepare_shared_btpe(n, parm, setup) ? &setup : nullptr;
    };
    auto arm_probabilities = [&](std::int32_t nevt, bool with_setups) {
      ArmProbabilities a;
      a.parm2 = static_cast<float>(nevt / denominator);
      a.parm1 = static_cast<float>(double{rrmh} * a.parm2);
      a.redrawn = a.parm2 > 1.0f || a.parm1 > 1.0f ||
                  (v10 ? (a.parm2 <= 0.0f || a.parm1 <= 0.0f) : (a.parm2 == 0.0f || a.parm1 == 0.0f));
      a.known = true;
      if (with_setups && !a.redrawn) {
        a.setup1 = shared_setup(s1, a.parm1);
        a.setup2 = shared_setup(s2, a.parm2);
      }
      return a;
    };
    if (!random::binomial_arguments_valid(1, npool[i], ppool)) {
      std::int32_t nevt = 0;
      generators.GETBIN(npool[i], ppool, &nevt, 1, next_seed(generators));  // reports and stops
    }

    auto new_arms = [] {
      auto arms = std::make_shared<std::vector<random::SingleDraw>>();
      arms->reserve(2 * kRunsPerBatch);
      return arms;
    };
    auto arms = new_arms();
    std::size_t arms_first = 0;
    auto hand_over = [&] {
      pipeline.submit([arms, arms_first, &study, arm_setups](DrawWorker& worker) {
        worker.draw_singles(*arms);
        for (std::size_t j = 0; j < arms->size() / 2; ++j) {
          study.arm1.set(arms_first + j, (*arms)[2 * j].variate);
          study.arm2.set(arms_first + j, (*arms)[2 * j + 1].variate);
        }
      });
      arms = new_arms();
    };

    std::size_t k = 0;
    std::size_t batch = kFirstTotalsBatch;
    long redraws = 0;
    while (k < runs) {
      const std::size_t b = std::min(batch, runs - k);
      uniforms.resize(3 * b);
      saved.resize(3 * b);
      generators.peek_GETUNI(3 * b, uniforms.data(), saved.data());
      totals.resize(b);
      for (std::size_t j = 0; j < b; ++j) totals[j] = {npool[i], ppool, seed_from_uniform(uniforms[3 * j]), 0};
      totals_worker.draw_singles(totals);

      bool redrawn = false;
      for (std::size_t j = 0; j < b && !redrawn; ++j) {
        generators.take_GETUNI(uniforms[3 * j], saved[3 * j]);
        generators.note_GETBIN(npool[i], ppool, 1, totals[j].seed);
        const auto nevt = static_cast<std::size_t>(totals[j].variate);
        ArmProbabilities a;
        if (nevt < by_total.size()) {
          if (!by_total[nevt].known) by_total[nevt] = arm_probabilities(totals[j].variate, true);
          a = by_total[nevt];
        } else {
          a = arm_probabilities(totals[j].variate, false);
        }
        const float parm1 = a.parm1, parm2 = a.parm2;
        redrawn = a.redrawn;
        if (redrawn) {
          if (++redraws == limits.per_run) {
            refuse(study_label(i) + ", run " + std::to_string(k + 1) + ": no acceptable total of events in " +
                   std::to_string(limits.per_run) + " draws under random prevalence of total events");
          }
          if (++all_redraws == limits.in_all) {
            refuse(study_label(i) + ", run " + std::to_string(k + 1) + ": " + std::to_string(limits.in_all) +
                   " totals of events redrawn in all under random prevalence of total events; the studies leave "
                   "too few acceptable totals");
          }
          break;
        }
        redraws = 0;
        const std::int32_t seed1 = seed_from_uniform(uniforms[3 * j + 1]);
        generators.take_GETUNI(uniforms[3 * j + 1], saved[3 * j + 1]);
        plan_or_stop(generators, s1, parm1, 1, seed1);
        const std::int32_t seed2 = seed_from_uniform(uniforms[3 * j + 2]);
        generators.take_GETUNI(uniforms[3 * j + 2], saved[3 * j + 2]);
        plan_or_stop(generators, s2, parm2, 1, seed2);
        if (arms->empty()) arms_first = k;
        arms->push_back({s1, parm1, seed1, 0, a.setup1});
        arms->push_back({s2, parm2, seed2, 0, a.setup2});
        ++k;
        if (arms->size() == 2 * kRunsPerBatch) hand_over();
      }
      // Read ahead less after a redraw, more after a batch without one.
      batch = redrawn ? std::max<std::size_t>(batch / 4, 4) : std::min<std::size_t>(batch * 2, kMaxTotalsBatch);
    }
    if (!arms->empty()) hand_over();
  }
  pipeline.finish();
}

}  // namespace

SimulatedRuns simulate(Variant variant, const RunParameters& parameters, const StudyTable& table, float rrmh,
                       Generators& generators, const RedrawLimits& limits) {
  std::vector<SimulatedStudy> studies(table.size());
  if (parameters.IOPT == 1) {
    simulate_fixed_prevalence(parameters, table, rrmh, generators, studies);
  } else {
    simulate_random_prevalence(variant, parameters, table, rrmh, generators, studies, limits);
  }
  SimulatedRuns result;
  result.QSIM = run_statistics(studies, run_count(parameters));
  result.undefined = static_cast<std::int32_t>(
      std::count_if(result.QSIM.begin(), result.QSIM.end(), [](float q) { return std::isnan(q); }));
  return result;
}

}  // namespace oskev::analysis
