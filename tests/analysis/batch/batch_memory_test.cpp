// The jobs of a batch share one budget of simulated tables: each job's slices shrink as jobs
// are added, so the batch's memory is bounded as a whole, and the results stay the same.
#include <gtest/gtest.h>

#include <atomic>

#include "analysis/batch/batch.hpp"

namespace oskev::analysis {
namespace {

TEST(BatchMemory, TheJobsShareOneBudgetOfSimulatedTables) {
  std::vector<BatchItem> items(2);
  for (BatchItem& item : items) item.studies = {{15, 120, 25, 118, ""}, {5, 54, 3, 60, ""}};
  items[1].studies[0].e1 = 20;
  analysis::Run run;
  run.seed = 7;
  run.runs = 2000;
  run.tuning.tables_per_slice = 1000;  // the batch's budget: 500 runs of 2 studies
  std::vector<std::vector<Outcome>> outcomes;
  for (const unsigned jobs : {1u, 2u}) {
    std::atomic<int> slices{0};
    BatchOptions options;
    options.jobs = jobs;
    options.progress = [&](std::size_t, std::size_t, double share) { slices += share > 0.0 ? 1 : 0; };
    outcomes.push_back(run_batch(items, Model{}, run, options));
    // 500 runs a slice with one job, 250 with two: 2 x 4 or 2 x 8 slices.
    EXPECT_EQ(slices.load(), jobs == 1 ? 8 : 16) << jobs;
  }
  for (std::size_t i = 0; i < items.size(); ++i) {
    ASSERT_TRUE(outcomes[0][i].ok() && outcomes[1][i].ok());
    EXPECT_EQ(outcomes[0][i].result().not_above, outcomes[1][i].result().not_above);
    EXPECT_EQ(outcomes[0][i].result().runs, 2000);
    EXPECT_EQ(outcomes[0][i].result().p_left, outcomes[1][i].result().p_left);
  }
}

}  // namespace
}  // namespace oskev::analysis
