// Random prevalence of total events: every run first draws the study's total events from its
// pooled proportion, derives the arm probabilities from that total (redrawing totals that
// give a probability outside (0, 1]), then draws both arms. Zero cells are corrected with the
// entered corrections.

#include <algorithm>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "random/draw_pool.hpp"
#include "analysis/run_statistics.hpp"
#include "analysis/simulated_tables.hpp"
#include "analysis/simulation_steps.hpp"

namespace oskev::analysis::simulation_steps {

namespace {

// Runs of the random-prevalence model handed to another thread at a time.
constexpr std::size_t kRunsPerBatch = 4096;
// Totals of the random-prevalence model drawn ahead at a time: at first, and at most.
constexpr std::size_t kFirstTotalsBatch = 64;
constexpr std::size_t kMaxTotalsBatch = 1024;

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

// The studies' runs in the order the program draws them: study after study, each study's runs
// one after another from the one private stream.
//
// The totals are drawn a batch of runs at a time: their seeds are read ahead on the private
// stream as if no total of the batch were redrawn, and a redrawn total ends the batch there
// (the seeds after it shift by one). The arm draws of each batch of accepted runs go to the
// pipeline.
class RandomPrevalence {
 public:
  RandomPrevalence(Variant variant, const RunParameters& p, const StudyTable& table, float rrmh,
                   Generators& generators, const RedrawLimits& limits)
      : v10_(variant == Variant::kOskevV10), p_(p), table_(table), rrmh_(rrmh), generators_(generators),
        limits_(limits), npool_(pooled_sizes(table)) {}

  // Runs first ... last - 1 of study i, from the private stream as it stands. With `study`, the
  // arms are drawn too (through `pipeline`) into its columns, run first at index 0; without,
  // only the totals are drawn, which is all that decides where the stream goes.
  void draw_study(std::size_t i, std::size_t first, std::size_t last, SimulatedStudy* study, random::DrawPipeline* pipeline);
  // Draws repeated after a walk through the totals must not count their redraws twice.
  void forget_redraws() { all_redraws_ = 0; }

 private:
  // The arm probabilities and whether they are accepted depend on the drawn total alone:
  // worked out once for each total that comes up, with the arms' BTPE set-ups, which the arm
  // draws of every thread share (and which live as long as any batch of the study).
  struct ArmProbabilities {
    bool known = false;
    bool redrawn = false;
    bool drawable = false;  // both arm draws have arguments RNBIN takes
    float parm1 = 0.0f;
    float parm2 = 0.0f;
    const random::BinomialSetup* setup1 = nullptr;
    const random::BinomialSetup* setup2 = nullptr;
  };

  const bool v10_;
  const RunParameters& p_;
  const StudyTable& table_;
  const float rrmh_;
  Generators& generators_;
  const RedrawLimits& limits_;
  const std::vector<std::int32_t> npool_;
  long long all_redraws_ = 0;
  random::DrawWorker totals_worker_;
  std::vector<float> uniforms_;
  std::vector<std::int32_t> saved_;
  std::vector<random::SingleDraw> totals_;
};

void RandomPrevalence::draw_study(std::size_t i, std::size_t first, std::size_t last, SimulatedStudy* study,
                                  random::DrawPipeline* pipeline) {
  const auto& raw = table_.NCOUNT[i];
  const auto& c = table_.COUNT[i];
  const std::int32_t s1 = raw[kSubjects1], s2 = raw[kSubjects2];
  const std::int32_t npool = npool_[i];
  const float ppool =
      static_cast<float>((double{c[kEvents1]} + c[kEvents2]) / (double{c[kSubjects1]} + c[kSubjects2]));
  // PARM2 is formed with the study's corrected observed sizes.
  const double denominator = double{rrmh_} * c[kSubjects1] + c[kSubjects2];
  const bool with_arms = study != nullptr;

  std::vector<ArmProbabilities> by_total(std::min<std::size_t>(static_cast<std::size_t>(npool) + 1, 4096));
  auto arm_setups = std::make_shared<std::deque<random::BinomialSetup>>();
  // Set-ups read by the arm draws of several threads are complete before any draw; draws on
  // this thread alone complete theirs as attempts need it, which costs less when a study has
  // few runs for its many totals.
  const bool shared_by_threads = with_arms && pipeline->spreads();
  auto shared_setup = [&](std::int32_t n, float parm) -> const random::BinomialSetup* {
    if (!random::binomial_arguments_valid(1, n, parm)) return nullptr;
    random::BinomialSetup& setup = arm_setups->emplace_back();
    const bool btpe = shared_by_threads ? random::prepare_shared_btpe(n, parm, setup)
                                        : random::prepare_unshared_btpe(n, parm, setup);
    return btpe ? &setup : nullptr;
  };
  auto arm_probabilities = [&](std::int32_t nevt, bool with_setups) {
    ArmProbabilities a;
    a.parm2 = static_cast<float>(nevt / denominator);
    a.parm1 = static_cast<float>(double{rrmh_} * a.parm2);
    a.redrawn = a.parm2 > 1.0f || a.parm1 > 1.0f ||
                (v10_ ? (a.parm2 <= 0.0f || a.parm1 <= 0.0f) : (a.parm2 == 0.0f || a.parm1 == 0.0f));
    a.known = true;
    a.drawable = random::binomial_arguments_valid(1, s1, a.parm1) && random::binomial_arguments_valid(1, s2, a.parm2);
    if (with_setups && !a.redrawn) {
      a.setup1 = shared_setup(s1, a.parm1);
      a.setup2 = shared_setup(s2, a.parm2);
    }
    return a;
  };
  if (!random::binomial_arguments_valid(1, npool, ppool)) {
    std::int32_t nevt = 0;
    generators_.GETBIN(npool, ppool, &nevt, 1, next_seed(generators_));  // reports and stops
  }

  auto new_arms = [] {
    auto arms = std::make_shared<std::vector<random::SingleDraw>>();
    arms->reserve(2 * kRunsPerBatch);
    return arms;
  };
  auto arms = new_arms();
  std::size_t arms_first = 0;
  auto hand_over = [&] {
    pipeline->submit([arms, arms_first, study, arm_setups](random::DrawWorker& worker) {
      worker.draw_singles(*arms);
      for (std::size_t j = 0; j < arms->size() / 2; ++j) {
        study->arm1.set(arms_first + j, (*arms)[2 * j].variate);
        study->arm2.set(arms_first + j, (*arms)[2 * j + 1].variate);
      }
    });
    arms = new_arms();
  };

  std::size_t k = first;
  std::size_t batch = kFirstTotalsBatch;
  long redraws = 0;
  while (k < last) {
    const std::size_t b = std::min(batch, last - k);
    uniforms_.resize(3 * b);
    saved_.resize(3 * b);
    generators_.peek_GETUNI(3 * b, uniforms_.data(), saved_.data());
    totals_.resize(b);
    for (std::size_t j = 0; j < b; ++j) totals_[j] = {npool, ppool, seed_from_uniform(uniforms_[3 * j]), 0};
    totals_worker_.draw_singles(totals_);

    bool redrawn = false;
    for (std::size_t j = 0; j < b && !redrawn; ++j) {
      generators_.take_GETUNI(uniforms_[3 * j], saved_[3 * j]);
      generators_.note_GETBIN(npool, ppool, 1, totals_[j].seed);
      const auto nevt = static_cast<std::size_t>(totals_[j].variate);
      ArmProbabilities rare;  // a total too large to keep
      if (nevt < by_total.size()) {
        if (!by_total[nevt].known) [[unlikely]] by_total[nevt] = arm_probabilities(totals_[j].variate, with_arms);
      } else {
        rare = arm_probabilities(totals_[j].variate, false);
      }
      const ArmProbabilities& a = nevt < by_total.size() ? by_total[nevt] : rare;
      redrawn = a.redrawn;
      if (redrawn) {
        if (++redraws == limits_.per_run) {
          refuse(study_label(i) + ", run " + std::to_string(k + 1) + ": no acceptable total of events in " +
                 std::to_string(limits_.per_run) + " draws under random prevalence of total events");
        }
        if (++all_redraws_ == limits_.in_all) {
          refuse(study_label(i) + ", run " + std::to_string(k + 1) + ": " + std::to_string(limits_.in_all) +
                 " totals of events redrawn in all under random prevalence of total events; the studies leave "
                 "too few acceptable totals");
        }
        break;
      }
      redraws = 0;
      const std::int32_t seed1 = seed_from_uniform(uniforms_[3 * j + 1]);
      const std::int32_t seed2 = seed_from_uniform(uniforms_[3 * j + 2]);
      generators_.take_GETUNI(uniforms_[3 * j + 1], saved_[3 * j + 1]);
      if (a.drawable) [[likely]] {
        generators_.note_GETBIN(s1, a.parm1, 1, seed1);
        generators_.take_GETUNI(uniforms_[3 * j + 2], saved_[3 * j + 2]);
        generators_.note_GETBIN(s2, a.parm2, 1, seed2);
      } else {
        plan_or_stop(generators_, s1, a.parm1, 1, seed1);
        generators_.take_GETUNI(uniforms_[3 * j + 2], saved_[3 * j + 2]);
        plan_or_stop(generators_, s2, a.parm2, 1, seed2);
      }
      if (with_arms) {
        if (arms->empty()) arms_first = k - first;
        arms->push_back({s1, a.parm1, seed1, 0, a.setup1});
        arms->push_back({s2, a.parm2, seed2, 0, a.setup2});
        if (arms->size() == 2 * kRunsPerBatch) hand_over();
      }
      ++k;
    }
    // Read ahead less after a redraw, more after a batch without one.
    batch = redrawn ? std::max<std::size_t>(batch / 4, 4) : std::min<std::size_t>(batch * 2, kMaxTotalsBatch);
  }
  if (!arms->empty()) hand_over();
}

}  // namespace

void simulate_random_prevalence(Variant variant, const RunParameters& p, const StudyTable& table, float rrmh,
                                Generators& generators, const RedrawLimits& limits,
                                const std::vector<std::size_t>& bounds, bool spread, const SliceSink& sink) {
  if (p.NRUNS < 1) {
    refuse("the random prevalence of total events needs at least one run, not " + std::to_string(p.NRUNS));
  }
  RandomPrevalence model(variant, p, table, rrmh, generators, limits);
  const std::size_t slices = bounds.size() - 1;
  const std::size_t studies = table.size();

  // With more than one slice, a first walk through the totals alone finds where each study's
  // runs of each slice begin on the private stream (a redrawn total shifts everything after it),
  // and also meets any refusal before a single arm is drawn.
  std::vector<std::int32_t> starts;
  if (slices > 1) {
    starts.resize(studies * slices);
    for (std::size_t i = 0; i < studies; ++i) {
      for (std::size_t s = 0; s < slices; ++s) {
        starts[i * slices + s] = generators.private_state();
        model.draw_study(i, bounds[s], bounds[s + 1], nullptr, nullptr);
      }
    }
    model.forget_redraws();
  }

  std::vector<SimulatedStudy> tables(studies);
  for (std::size_t s = 0; s < slices; ++s) {
    const std::size_t runs = bounds[s + 1] - bounds[s];
    {
      // Destroyed (its threads stopped) before `tables` on every way out.
      random::DrawPipeline pipeline(spread && random::worth_spreading(runs * studies));
      for (std::size_t i = 0; i < studies; ++i) {
        if (slices > 1) generators.restore_private_state(starts[i * slices + s]);
        tables[i].prepare(table.NCOUNT[i], runs, double{p.CCONE}, double{p.CCBOTH}, 2.0 * p.CCONE, 2.0 * p.CCBOTH);
        model.draw_study(i, bounds[s], bounds[s + 1], &tables[i], &pipeline);
      }
      pipeline.finish();
    }
    const std::vector<float> qsim = run_statistics(tables, runs, spread);
    if (!sink(bounds[s], qsim)) return;
  }
}

}  // namespace oskev::analysis::simulation_steps
