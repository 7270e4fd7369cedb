// Random prevalence of total events, stage 3: the plan of every slice of runs read from the
// private stream (stage 2) and its arm draws made by the draw executor, each slice's tables
// then evaluated. Zero cells are corrected with the entered corrections.

#include "analysis/simulation/random_prevalence_runs.hpp"

#include <deque>
#include <span>
#include <string>

#include "analysis/simulation/random_prevalence.hpp"
#include "analysis/simulation/run_statistics.hpp"
#include "analysis/simulation/simulated_tables.hpp"
#include "random/draw_pool.hpp"

namespace oskev::analysis {

using random_prevalence::PlannedRun;
using random_prevalence::PlanReader;

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

void simulate_random_prevalence(const RandomPrevalenceRuns& model, const StudyTable& table, float rrmh,
                                Generators& generators, errors::ErrorService& errors,
                                const std::vector<std::size_t>& bounds, bool spread, const SliceSink& sink,
                                const WorkSink& walked) {
  if (model.runs < 1) {
    refuse("the random prevalence of total events needs at least one run, not " + std::to_string(model.runs));
  }
  PlanReader reader(model.zero_test, table, rrmh, generators, errors, model.limits);
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
        if (walked && !walked(static_cast<double>(i * slices + s + 1) / static_cast<double>(studies * slices))) return;
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
        tables[i].prepare(table.NCOUNT[i], runs, double{model.cc_one}, double{model.cc_both}, 2.0 * model.cc_one,
                          2.0 * model.cc_both);
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

}  // namespace oskev::analysis
