#pragma once

// The random-prevalence model of the null simulation in three stages: the arm probabilities a
// drawn total of events gives, the plan of draws read from the private stream (here), and the
// plan's execution by the draw executor (random_prevalence_runs.hpp).

#include <cstddef>
#include <cstdint>
#include <vector>

#include "analysis/estimates/study_table.hpp"
#include "analysis/simulation/draws.hpp"
#include "analysis/simulation/generators.hpp"
#include "analysis/simulation/redraws.hpp"
#include "errors/error_service.hpp"
#include "random/draw_pool.hpp"

namespace oskev::analysis::random_prevalence {

// ---- Stage 1: the arm probabilities of a drawn total ----------------------------------------

struct ArmProbabilities {
  float parm1 = 0.0f;     // PARM1 = RRMH·PARM2
  float parm2 = 0.0f;     // PARM2 = NEVT / (RRMH·s1 + s2)
  bool accepted = false;  // false: the total is redrawn
};

// The arm probabilities for a study whose corrected arm sizes are s1 and s2 (those of the
// observed table, whatever the simulated tables' corrections), when its runs draw `nevt` events
// in all. A total is redrawn when either probability is above 1 or is 0 (OSKEV v1.0: 0 or
// below); a probability of exactly 1 is kept.
ArmProbabilities arm_probabilities(std::int32_t nevt, float rrmh, float s1, float s2, ZeroTest zero_test);

// ---- Stage 2: the plan of draws read from the private stream --------------------------------

// One run as the program draws it: its accepted total, the arm probabilities that total gives,
// and the seeds of its two arm draws.
struct PlannedRun {
  std::int32_t nevt = 0;
  float parm1 = 0.0f;
  float parm2 = 0.0f;
  std::int32_t seed1 = 0;
  std::int32_t seed2 = 0;
};

// Reads the runs of the studies from the program's private stream, in the order the program
// draws them: for each run, totals until one is accepted, then the seeds of the two arms. The
// totals decide where the stream goes, so they are drawn here; the arms are left to the plan's
// execution. Every call the program makes is noted with the generators. A study that can never
// be simulated is refused before anything is drawn; arm draws that RNBIN would refuse stop the
// run where the program would stop.
class PlanReader {
 public:
  PlanReader(ZeroTest zero_test, const StudyTable& table, float rrmh, Generators& generators,
             errors::ErrorService& errors, const RedrawLimits& limits);

  // Runs first ... last - 1 of study i, from the private stream as it stands, appended to
  // `plan` when given.
  void read(std::size_t i, std::size_t first, std::size_t last, std::vector<PlannedRun>* plan);
  // Reads repeated after a walk through the totals must not count their redraws twice.
  void forget_redraws() { all_redraws_ = 0; }

 private:
  // The values of the private stream for the next `runs` runs as though none of their totals
  // were redrawn (three GETUNI calls a run), and the totals they draw. Returns how many runs
  // were read ahead.
  std::size_t read_ahead(std::size_t i, std::size_t runs);
  // Counts a redrawn total of run k of study i against the limits.
  void count_redraw(std::size_t i, std::size_t k, long& in_run);

  const ZeroTest zero_test_;
  const StudyTable& table_;
  const float rrmh_;
  Generators& generators_;
  errors::ErrorService& errors_;
  const RedrawLimits limits_;  // a copy: two numbers, and no reference left to outlive its caller
  const std::vector<std::int32_t> npool_;  // NPOOL of every study
  long long all_redraws_ = 0;
  // Runs read ahead at a time: fewer after a redrawn total (whose values shift those after
  // it), more after a read without one.
  std::size_t ahead_;
  random::DrawWorker totals_worker_;
  std::vector<float> uniforms_;
  std::vector<std::int32_t> saved_;
  std::vector<random::SingleDraw> totals_;
};

}  // namespace oskev::analysis::random_prevalence
