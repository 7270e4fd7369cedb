#include "analysis/simulation/simulation.hpp"

#include <algorithm>
#include <cmath>

#include "analysis/simulation/fixed_prevalence.hpp"

namespace oskev::analysis {

void simulate_slices(const NullModel& null, const StudyTable& table, float rrmh, Generators& generators,
                     errors::ErrorService& errors, const SliceOptions& slices, const SliceSink& sink,
                     const WorkSink& walked) {
  const std::size_t runs = null.runs > 0 ? static_cast<std::size_t>(null.runs) : 0;
  const std::vector<std::size_t> bounds = slice_bounds(runs, slices);
  if (null.model.prevalence == Prevalence::kFixed) {
    simulate_fixed_prevalence(table, rrmh, null.runs, generators, errors, bounds, slices.spread, sink);
    return;
  }
  const RandomPrevalenceRuns model{null.runs, null.model.cc_one, null.model.cc_both, null.zero_test, null.limits};
  simulate_random_prevalence(model, table, rrmh, generators, errors, bounds, slices.spread, sink, walked);
}

SimulatedRuns simulate(const NullModel& null, const StudyTable& table, float rrmh, Generators& generators,
                       errors::ErrorService& errors) {
  SimulatedRuns result;
  result.QSIM.reserve(null.runs > 0 ? static_cast<std::size_t>(null.runs) : 0);
  simulate_slices(null, table, rrmh, generators, errors, SliceOptions{}, [&](std::size_t, std::span<const float> qsim) {
    result.QSIM.insert(result.QSIM.end(), qsim.begin(), qsim.end());
    return true;
  });
  result.undefined = static_cast<std::int32_t>(
      std::count_if(result.QSIM.begin(), result.QSIM.end(), [](float q) { return std::isnan(q); }));
  return result;
}

}  // namespace oskev::analysis
