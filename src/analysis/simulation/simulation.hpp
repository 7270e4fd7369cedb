#pragma once

// The null simulation: NRUNS sets of study tables drawn under a common risk ratio, by the
// model the type of estimation names, each set evaluated for its own Mantel-Haenszel summary
// and Q, a slice of runs at a time.

#include <cstdint>
#include <vector>

#include "analysis/estimates/model.hpp"
#include "analysis/estimates/study_table.hpp"
#include "analysis/simulation/draws.hpp"
#include "analysis/simulation/generators.hpp"
#include "analysis/simulation/random_prevalence_runs.hpp"
#include "errors/error_service.hpp"

namespace oskev::analysis {

// What the simulation draws with, besides the table and the common risk ratio.
struct NullModel {
  Model model;
  std::int32_t runs = 0;  // NRUNS
  ZeroTest zero_test = ZeroTest::kEqualsZero;
  RedrawLimits limits;
};

// The simulation, handed to `sink` a slice at a time. Draws whose arguments were checked are
// spread over the machine's cores; every draw depends only on its arguments and seed, so the
// result does not. A draw the generator refuses stops the simulation on `errors`.
void simulate_slices(const NullModel& null, const StudyTable& table, float rrmh, Generators& generators,
                     errors::ErrorService& errors, const SliceOptions& slices, const SliceSink& sink,
                     const WorkSink& walked = {});

// Heterogeneity statistics of the simulated runs, all of them at once.
struct SimulatedRuns {
  std::vector<float> QSIM;     // Q of every run; not a number where zero cells remained
  std::int32_t undefined = 0;  // runs whose Q is not a number
};

// The whole simulation in one piece, as the dialogue's arrays would hold it.
SimulatedRuns simulate(const NullModel& null, const StudyTable& table, float rrmh, Generators& generators,
                       errors::ErrorService& errors);

}  // namespace oskev::analysis
