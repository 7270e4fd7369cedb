#pragma once

// Fixed prevalence of total events: each arm's event probability is fixed once from the study's
// observed events, arm 1's being the common risk ratio times arm 2's, and every run draws both
// arms from these same probabilities.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "analysis/estimates/study_table.hpp"
#include "analysis/simulation/draws.hpp"
#include "analysis/simulation/generators.hpp"
#include "errors/error_service.hpp"

namespace oskev::analysis {

// The `runs` (NRUNS) runs of every study, slice by slice (`bounds`, from slice_bounds), handed to
// `sink`. All runs of an arm come from one seed and one GETBIN call of NRUNS variates; a slice
// continues where the last one stopped, so slicing changes nothing. Simulated zero cells are
// corrected with 0.5 (one arm) and 0.1 (both arms), whatever the entered corrections.
void simulate_fixed_prevalence(const StudyTable& table, float rrmh, std::int32_t runs, Generators& generators,
                               errors::ErrorService& errors, const std::vector<std::size_t>& bounds, bool spread,
                               const SliceSink& sink);

}  // namespace oskev::analysis
