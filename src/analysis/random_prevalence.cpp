// Random prevalence of total events: every run first draws the study's total events from its
// pooled proportion, derives the arm probabilities from that total (redrawing totals that
// give a probability outside (0, 1]), then draws both arms. Zero cells are corrected with the
// entered corrections.

#include "analysis/random_prevalence.hpp"

#include <algorithm>
#include <deque>
#include <span>
#include <string>

#include "analysis/run_statistics.hpp"
#include "analysis/simulated_tables.hpp"
#include "analysis/simulation_steps.hpp"

namespace oskev::analysis::random_prevalence {

using simulation_steps::refuse;
using simulation_steps::study_label;

// ---- Stage 1 ----------------------------------------------------------------------------------

ArmProbabilities arm_probabilities(std::int32_t nevt, float rrmh, float s1, float s2, Variant variant) {
  ArmProbabilities a;
  a.parm2 = static_cast<float>(nevt / (double{rrmh} * s1 + s2));
  a.parm1 = static_cast<float>(double{rrmh} * a.parm2);
  // Tested in this order. The probabilities are never negative with non-negative corrections,
  // so the two programs' last two tests then agree.
  const bool redrawn = a.parm2 > 1.0f || a.parm1 > 1.0f ||
                       (variant == Variant::kOskevV10 ? (a.parm2 <= 0.0f || a.parm1 <= 0.0f)
                                                      : (a.parm2 == 0.0f || a.parm1 == 0.0f));
  a.accepted = !redrawn;
  return a;
}

// ---- Stage 2 ----------------------------------------------------------------------------------

namespace {

// Runs read ahead on the private stream: at first, and at most.
constexpr std::size_t kFirstAhead = 64;
constexpr std::size_t kMostAhead = 1024;

// NPOOL of every study. Refuses, before any draw, a study that the model can never simulate.
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

// PPOOL: the study's pooled corrected event proportion.
float pooled_proportion(const std::array<float, 4>& c) {
  return static_cast<float>((double{c[kEvents1]} + c[kEvents2]) / (double{c[kSubjects1]} + c[kSubjects2]));
}

}  // namespace

PlanReader::PlanReader(Variant variant, const StudyTable& table, float rrmh, Generators& generators,
                       const RedrawLimits& limits)
    : variant_(variant), table_(table), rrmh_(rrmh), generators_(generators), limits_(limits),
      npool_(pooled_sizes(table)), ahead_(kFirstAhead) {}

std::size_t PlanReader::read_ahead(std::size_t i, std::size_t runs) {
  const std::size_t b = std::min(ahead_, runs);
  uniforms_.resize(3 * b);
  saved_.resize(3 * b);
  generators_.peek_GETUNI(3 * b, uniforms_.data(), saved_.data());
  const float ppool = pooled_proportion(table_.COUNT[i]);
  totals_.resize(b);
  for (std::size_t j = 0; j < b; ++j) totals_[j] = {npool_[i], ppool, seed_from_uniform(uniforms_[3 * j]), 0};
  totals_worker_.draw_singles(totals_);
  return b;
}

void PlanReader::count_redraw(std::size_t i, std::size_t k, long& in_run) {
  if (++in_run == limits_.per_run) {
    refuse(study_label(i) + ", run " + std::to_string(k + 1) + ": no acceptable total of events in " +
           std::to_string(limits_.per_run) + " draws under random prevalence of total events");
  }
  if (++all_redraws_ == limits_.in_all) {
    refuse(study_label(i) + ", run " + std::to_string(k + 1) + ": " + std::to_string(limits_.in_all) +
           " totals of events redrawn in all under random prevalence of total events; the studies leave "
           "too few acceptable totals");
  }
}

void PlanReader::read(std::size_t i, std::size_t first, std::size_t last, std::vector<PlannedRun>* plan) {
  const auto& raw = table_.NCOUNT[i];
  const auto& c = table_.COUNT[i];
  const std::int32_t s1 = raw[kSubjects1], s2 = raw[kSubjects2];
  const std::int32_t npool = npool_[i];
  const float ppool = pooled_proportion(c);
  // A total RNBIN refuses: the program's own draw writes the error and stops the run.
  if (!random::binomial_arguments_valid(1, npool, ppool)) {
    simulation_steps::stop_at(generators_, npool, ppool, 1, simulation_steps::next_seed(generators_));
  }

  long in_run = 0;  // totals of the current run redrawn so far
  for (std::size_t k = first; k < last;) {
    const std::size_t ahead = read_ahead(i, last - k);
    bool redrawn = false;
    for (std::size_t j = 0; j < ahead; ++j) {
      // The total.
      generators_.take_GETUNI(uniforms_[3 * j], saved_[3 * j]);
      generators_.note_GETBIN(npool, ppool, 1, totals_[j].seed);
      // Its arm probabilities, and whether it is kept. The values read ahead after a redrawn
      // total shift by one: they are read again.
      const std::int32_t nevt = totals_[j].variate;
      const ArmProbabilities a = arm_probabilities(nevt, rrmh_, c[kSubjects1], c[kSubjects2], variant_);
      redrawn = !a.accepted;
      if (redrawn) {
        count_redraw(i, k, in_run);
        break;
      }
      in_run = 0;
      // The arms, each from a seed of its own.
      const std::int32_t seed1 = seed_from_uniform(uniforms_[3 * j + 1]);
      const std::int32_t seed2 = seed_from_uniform(uniforms_[3 * j + 2]);
      generators_.take_GETUNI(uniforms_[3 * j + 1], saved_[3 * j + 1]);
      simulation_steps::plan_or_stop(generators_, s1, a.parm1, 1, seed1);
      generators_.take_GETUNI(uniforms_[3 * j + 2], saved_[3 * j + 2]);
      simulation_steps::plan_or_stop(generators_, s2, a.parm2, 1, seed2);
      if (plan != nullptr) plan->push_back({nevt, a.parm1, a.parm2, seed1, seed2});
      ++k;
    }
    ahead_ = redrawn ? std::max<std::size_t>(ahead_ / 4, 4) : std::min<std::size_t>(ahead_ * 2, kMostAhead);
  }
}

// ---- Stage 3 ----------------------------------------------------------------------------------

namespace {

// Runs of one study handed to the draw executor at a time.
constexpr std::size_t kRunsPerBatch = 4096;
// Totals up to this keep their arms' set-ups; larger ones, rare, find them per pair.
constexpr std::size_t kKeptTotals = 4096;

// A thread's worker for the arm draws. The arm probabilities depend on the drawn total alone,
// and a study's runs draw the same few hundred totals again and again: the worker keeps the
// BTPE set-ups of both arms by total for the study it is drawing, and forgets them when it
// moves on to the next (a study's batches come in order, and a worker never returns to one).
class ArmWorker {
 public:
  // Draws the arms of the planned runs of `study` (index i) into its columns from index first.
  void draw(std::size_t i, const StudyTable& table, std::span<const PlannedRun> runs, SimulatedStudy& study,
            std::size_t first) {
    const std::int32_t s1 = table.NCOUNT[i][kSubjects1], s2 = table.NCOUNT[i][kSubjects2];
    if (i != study_) {
      study_ = i;
      by_total_.assign(std::min<std::size_t>(static_cast<std::size_t>(s1) + s2 + 1, kKeptTotals), TotalSetups{});
      setups_.clear();
    }
    singles_.resize(2 * runs.size());
    for (std::size_t r = 0; r < runs.size(); ++r) {
      const PlannedRun& run = runs[r];
      const TotalSetups t = setups_for(run, s1, s2);
      singles_[2 * r] = {s1, run.parm1, run.seed1, 0, t.arm1};
      singles_[2 * r + 1] = {s2, run.parm2, run.seed2, 0, t.arm2};
    }
    draws_.draw_singles(singles_);
    for (std::size_t r = 0; r < runs.size(); ++r) {
      study.arm1.set(first + r, singles_[2 * r].variate);
      study.arm2.set(first + r, singles_[2 * r + 1].variate);
    }
  }

 private:
  // Null where inversion draws the arm, or where the total is not kept.
  struct TotalSetups {
    bool made = false;
    const random::BinomialSetup* arm1 = nullptr;
    const random::BinomialSetup* arm2 = nullptr;
  };

  TotalSetups setups_for(const PlannedRun& run, std::int32_t s1, std::int32_t s2) {
    const auto nevt = static_cast<std::size_t>(run.nevt);
    if (nevt >= by_total_.size()) return {};
    TotalSetups& t = by_total_[nevt];
    if (!t.made) [[unlikely]] t = {true, made_setup(s1, run.parm1), made_setup(s2, run.parm2)};
    return t;
  }

  const random::BinomialSetup* made_setup(std::int32_t n, float p) {
    random::BinomialSetup setup;
    if (!random::prepare_btpe_setup(n, p, setup)) return nullptr;
    return &setups_.emplace_back(setup);
  }

  random::DrawWorker draws_;
  std::size_t study_ = static_cast<std::size_t>(-1);
  std::vector<TotalSetups> by_total_;
  std::deque<random::BinomialSetup> setups_;  // where they stay while the worker draws the study
  std::vector<random::SingleDraw> singles_;
};

}  // namespace

void simulate(Variant variant, const RunParameters& p, const StudyTable& table, float rrmh, Generators& generators,
              const RedrawLimits& limits, const std::vector<std::size_t>& bounds, bool spread, const SliceSink& sink) {
  if (p.NRUNS < 1) {
    refuse("the random prevalence of total events needs at least one run, not " + std::to_string(p.NRUNS));
  }
  PlanReader reader(variant, table, rrmh, generators, limits);
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
        reader.read(i, bounds[s], bounds[s + 1], nullptr);
      }
    }
    reader.forget_redraws();
  }

  std::vector<SimulatedStudy> tables(studies);
  for (std::size_t s = 0; s < slices; ++s) {
    const std::size_t runs = bounds[s + 1] - bounds[s];
    {
      // Destroyed (its threads stopped) before `tables` on every way out.
      random::DrawPipeline<ArmWorker> pipeline(spread && random::worth_spreading(runs * studies));
      for (std::size_t i = 0; i < studies; ++i) {
        if (slices > 1) generators.restore_private_state(starts[i * slices + s]);
        tables[i].prepare(table.NCOUNT[i], runs, double{p.CCONE}, double{p.CCBOTH}, 2.0 * p.CCONE, 2.0 * p.CCBOTH);
        for (std::size_t k = bounds[s]; k < bounds[s + 1]; k += kRunsPerBatch) {
          std::vector<PlannedRun> plan;
          plan.reserve(kRunsPerBatch);
          reader.read(i, k, std::min(k + kRunsPerBatch, bounds[s + 1]), &plan);
          SimulatedStudy* study = &tables[i];
          const std::size_t first = k - bounds[s];
          pipeline.submit([i, &table, plan = std::move(plan), study, first](ArmWorker& worker) {
            worker.draw(i, table, plan, *study, first);
          });
        }
      }
      pipeline.finish();
    }
    const std::vector<float> qsim = run_statistics(tables, runs, spread);
    if (!sink(bounds[s], qsim)) return;
  }
}

}  // namespace oskev::analysis::random_prevalence
