#include "analysis/batch/batch.hpp"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>

#include "analysis/records/study_tables.hpp"

namespace oskev::analysis {

namespace {

// The most simulated tables a batch holds at once, shared by its jobs: the dialogue's largest
// simulation, 100 studies x 80000 runs.
constexpr std::size_t kBatchTables = std::size_t{100} * 80000;

// What the batch hears of one analysis: its simulated Q for the picture, and its progress.
class ItemObserver final : public Observer {
 public:
  ItemObserver(const BatchOptions& options, std::mutex& report, const std::atomic<std::size_t>& done,
               std::size_t total)
      : options_(options), report_(report), done_(done), total_(total) {}

  void on_observed(const Result& observed) override {
    if (options_.keep_distributions) distribution.emplace(observed.observed.Q);
  }
  void on_runs(std::int64_t, std::span<const float> qsim) override {
    if (distribution) distribution->add(qsim);
  }
  bool on_progress(double share) override {
    if (options_.progress) {
      std::lock_guard<std::mutex> lock(report_);
      options_.progress(done_.load(), total_, share);
    }
    return true;
  }

  std::optional<QDistribution> distribution;

 private:
  const BatchOptions& options_;
  std::mutex& report_;
  const std::atomic<std::size_t>& done_;
  std::size_t total_;
};

}  // namespace

bool read_batch_items(std::istream& in, const std::string& name, std::vector<BatchItem>& items, std::string& report) {
  try {
    records::StudyTables tables = records::read_study_tables(in, name);
    for (records::TableGroup& group : tables.groups) items.push_back({name, group.name, std::move(group.studies)});
  } catch (const records::TableError& error) {
    report = error.what();
    return false;
  }
  return true;
}

std::vector<Outcome> run_batch(const std::vector<BatchItem>& items, const Model& model, const Run& run,
                               const BatchOptions& options) {
  std::vector<std::optional<Outcome>> outcomes(items.size());
  const unsigned jobs = std::max(1u, std::min<unsigned>(options.jobs, static_cast<unsigned>(items.size())));
  std::atomic<std::size_t> next{0};
  std::atomic<std::size_t> done{0};
  std::mutex report;  // progress calls one at a time
  std::exception_ptr failure;
  std::atomic<bool> failed{false};
  Run mine = run;
  mine.tuning.spread = run.tuning.spread && jobs == 1;
  // The jobs share one budget of simulated tables, so that the batch's memory is bounded as a
  // whole, whatever the number of cores: each holds its part of it (and at least one run of
  // its studies). How the runs are sliced never changes a value.
  const std::size_t budget = run.tuning.tables_per_slice == 0 ? kBatchTables : run.tuning.tables_per_slice;
  mine.tuning.tables_per_slice = std::max<std::size_t>(budget / jobs, 1);

  auto work = [&] {
    try {
      for (std::size_t i = next++; i < items.size() && !failed; i = next++) {
        ItemObserver observer(options, report, done, items.size());
        outcomes[i].emplace(analyse(items[i].studies, model, mine, &observer));
        if (options.done) options.done(i, *outcomes[i], observer.distribution ? &*observer.distribution : nullptr);
        const std::size_t finished = ++done;
        if (options.progress) {
          std::lock_guard<std::mutex> lock(report);
          options.progress(finished, items.size(), 0.0);
        }
      }
    } catch (...) {
      std::lock_guard<std::mutex> lock(report);
      if (!failure) failure = std::current_exception();
      failed = true;
    }
  };
  std::vector<std::thread> helpers;
  for (unsigned t = 1; t < jobs; ++t) helpers.emplace_back(work);
  work();
  for (auto& helper : helpers) helper.join();
  if (failure) std::rethrow_exception(failure);
  std::vector<Outcome> results;
  results.reserve(items.size());
  for (auto& outcome : outcomes) results.push_back(std::move(*outcome));
  return results;
}

}  // namespace oskev::analysis
