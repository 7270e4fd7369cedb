#pragma once

// Batch layer: many meta-analyses analysed side by side on the engine, and their report as a table, CSV or JSON.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "analysis/meta_analysis.hpp"
#include "analysis/plot/q_distribution.hpp"

namespace oskev::analysis {

// One meta-analysis of a batch, as read from its file.
struct BatchItem {
  std::string source;               // the file ("-" for standard input)
  std::string name;                 // the group, or the file when the file is one meta-analysis
  std::vector<StudyCounts> studies;
  std::vector<std::string> labels;  // one per study, or none
};

// Called on the thread that analysed item `index`, as soon as it is done. `distribution` holds
// its simulated Q when the batch was asked to keep them (for its picture, which may take them
// over), else it is null.
using ItemDone =
    std::function<void(std::size_t index, const AnalysisResult& result, QDistribution* distribution)>;

// Progress of a batch: meta-analyses done, and runs made of the analysis in hand.
using BatchProgress = std::function<void(std::size_t done, std::size_t total, std::int64_t runs)>;

struct BatchOptions {
  unsigned jobs = 1;              // meta-analyses analysed side by side
  bool keep_distributions = false;
  ItemDone done;                  // may be empty
  BatchProgress progress;         // may be empty; called from any thread, one call at a time
};

// Analyses every item with `settings` and returns the results in input order. Every analysis is
// determined by its studies and settings alone, so the results do not depend on the jobs. With
// several items and jobs, each analysis keeps to its own thread; a lone item may spread its
// draws over the cores instead.
std::vector<AnalysisResult> run_batch(const std::vector<BatchItem>& items, const AnalysisSettings& settings,
                                      const BatchOptions& options);

}  // namespace oskev::analysis
