#pragma once

// Random prevalence of total events: every run first draws the study's total events from its
// pooled proportion, derives the arm probabilities from that total (redrawing totals that
// give a probability outside (0, 1]), then draws both arms.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "analysis/estimates/study_table.hpp"
#include "analysis/simulation/draws.hpp"
#include "analysis/simulation/generators.hpp"
#include "analysis/simulation/random_prevalence.hpp"
#include "errors/error_service.hpp"

namespace oskev::analysis {

// What the random-prevalence model draws with, besides the table and the common risk ratio.
struct RandomPrevalenceRuns {
  std::int32_t runs = 0;  // NRUNS
  float cc_one = 0.0f;    // the entered corrections, for the simulated zero cells
  float cc_both = 0.0f;
  ZeroTest zero_test = ZeroTest::kEqualsZero;
  RedrawLimits limits;
};

// The runs of every study, slice by slice (`bounds`, from slice_bounds), handed to `sink`. With
// more than one slice, a first walk through the totals alone finds where each study's runs of
// each slice begin on the private stream; `walked` hears how far that walk has got.
void simulate_random_prevalence(const RandomPrevalenceRuns& model, const StudyTable& table, float rrmh,
                                Generators& generators, errors::ErrorService& errors,
                                const std::vector<std::size_t>& bounds, bool spread, const SliceSink& sink,
                                const WorkSink& walked);

}  // namespace oskev::analysis
