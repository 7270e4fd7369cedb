#include "analysis/batch/batch.hpp"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>

namespace oskev::analysis {

std::vector<AnalysisResult> run_batch(const std::vector<BatchItem>& items, const AnalysisSettings& settings,
                                      const BatchOptions& options) {
  std::vector<AnalysisResult> results(items.size());
  const unsigned jobs = std::max(1u, std::min<unsigned>(options.jobs, static_cast<unsigned>(items.size())));
  std::atomic<std::size_t> next{0};
  std::atomic<std::size_t> done{0};
  std::mutex report;  // progress calls one at a time
  std::exception_ptr failure;
  std::atomic<bool> failed{false};

  auto work = [&] {
    try {
      for (std::size_t i = next++; i < items.size() && !failed; i = next++) {
        const BatchItem& item = items[i];
        AnalysisSettings mine = settings;
        mine.spread = settings.spread && jobs == 1;
        std::optional<QDistribution> distribution;
        mine.on_observed = [&](const AnalysisResult& observed) {
          if (settings.on_observed) settings.on_observed(observed);
          if (options.keep_distributions) distribution.emplace(observed.observed.Q);
        };
        mine.on_runs = [&](std::int64_t first, std::span<const float> qsim) {
          if (settings.on_runs) settings.on_runs(first, qsim);
          if (distribution) distribution->add(qsim);
          if (options.progress) {
            std::lock_guard<std::mutex> lock(report);
            options.progress(done.load(), items.size(), first + static_cast<std::int64_t>(qsim.size()));
          }
        };
        results[i] = analyse(item.studies, mine);
        if (options.done) options.done(i, results[i], distribution ? &*distribution : nullptr);
        const std::size_t finished = ++done;
        if (options.progress) {
          std::lock_guard<std::mutex> lock(report);
          options.progress(finished, items.size(), 0);
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
  return results;
}

}  // namespace oskev::analysis
