#pragma once

// Batch layer: many meta-analyses analysed side by side on the engine, and their report as a table, CSV or JSON.

#include <cstdint>
#include <functional>
#include <istream>
#include <string>
#include <vector>

#include "analysis/engine.hpp"
#include "analysis/plot/q_distribution.hpp"

namespace oskev::analysis {

// One meta-analysis of a batch, as read from its file.
struct BatchItem {
  std::string source;          // the file ("-" for standard input)
  std::string name;            // the group, or the file when the file is one meta-analysis
  std::vector<Study> studies;  // with their labels when the file has them
};

// Appends the meta-analyses of the table `in`, read from the file `name`, to `items`; or, when
// it cannot be read, leaves `items` as it was and puts why into `report`.
bool read_batch_items(std::istream& in, const std::string& name, std::vector<BatchItem>& items, std::string& report);

// Called on the thread that analysed item `index`, as soon as it is done. `distribution` holds
// its simulated Q when the batch was asked to keep them (for its picture, which may take them
// over), else it is null.
using ItemDone = std::function<void(std::size_t index, const Outcome& outcome, QDistribution* distribution)>;

// Progress of a batch: meta-analyses done, and the share done of the one in hand.
using BatchProgress = std::function<void(std::size_t done, std::size_t total, double share_of_next)>;

struct BatchOptions {
  unsigned jobs = 1;              // meta-analyses analysed side by side
  bool keep_distributions = false;
  ItemDone done;                  // may be empty
  BatchProgress progress;         // may be empty; called from any thread, one call at a time
};

// Analyses every item with `model` and `run` and returns the outcomes in input order. Every
// analysis is determined by its studies, model and run alone, so the outcomes do not depend on
// the jobs. With several items and jobs, each analysis keeps to its own thread; a lone item may
// spread its draws over the cores instead.
std::vector<Outcome> run_batch(const std::vector<BatchItem>& items, const Model& model, const Run& run,
                               const BatchOptions& options);

}  // namespace oskev::analysis
