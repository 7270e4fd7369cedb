#pragma once

// The parallel draw executor: workers that make binomial draws on threads of their own, a
// parallel loop over independent tasks, and a pipeline of batches handed to helper threads.

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "random/binomial.hpp"
#include "random/binomial_setup_cache.hpp"
#include "random/binomial_singles.hpp"
#include "random/lehmer.hpp"

namespace oskev::random {

// What a thread needs to make binomial draws: a draw is fully determined by its arguments and
// the seed it starts from, so which thread makes it, and in which order, cannot change a single
// variate. Only draws whose arguments were checked come here; they post no message.
class DrawWorker {
 public:
  DrawWorker() = default;
  DrawWorker(const DrawWorker&) = delete;
  DrawWorker& operator=(const DrawWorker&) = delete;

  // What GETBIN does for checked arguments: seed the stream, then draw. Returns the stream's
  // state after the last variate, from which a later call continues the same draws: nr
  // variates from a seed are the first a variates from it and then b variates from the state
  // after them, for any a + b = nr.
  std::int32_t draw(std::int32_t n, float p, std::int32_t* ir, std::int32_t nr, std::int32_t seed) {
    Lehmer stream{seed};
    setups_.trim();
    draw_binomial(nr, n, p, ir, stream, setups_.for_pair(n, p));
    return stream.state;
  }
  // Many GETBIN calls of one variate each, with checked arguments.
  void draw_singles(std::span<SingleDraw> draws) { random::draw_singles(draws, setups_, scratch_); }

 private:
  // The BTPE set-up depends on (N, P) alone, and the same pairs come back call after call:
  // each keeps its own set-up instead of recomputing the one retained set-up every call.
  BinomialSetupCache setups_;
  SingleDrawScratch scratch_;
};

// Threads besides the calling one that share draw work: one fewer than the machine's cores.
unsigned helper_threads();

// Whether a simulation of this many tables is worth spreading over threads: starting them
// costs more than a small simulation takes.
inline bool worth_spreading(std::size_t tables) { return tables >= 65536; }

// Runs task(state, index) for every index in [0, count), on the calling thread and the
// helper threads, each thread with a State of its own (a DrawWorker, say). Returns when all
// are done. Tasks must not throw.
template <typename State, typename Task>
void parallel_for(std::size_t count, Task&& task, bool spread = true) {
  std::atomic<std::size_t> next{0};
  auto work = [&] {
    State state;
    for (std::size_t i = next++; i < count; i = next++) task(state, i);
  };
  std::vector<std::thread> helpers;
  const std::size_t wanted = spread ? std::min<std::size_t>(helper_threads(), count > 0 ? count - 1 : 0) : 0;
  for (std::size_t t = 0; t < wanted; ++t) helpers.emplace_back(work);
  work();
  for (auto& helper : helpers) helper.join();
}

// Batches of work handed from the calling thread to helper threads as they are produced, each
// run with a Worker of the thread that runs it (a DrawWorker, or a caller's own worker holding
// whatever its batches reuse from one to the next). The calling thread takes a batch itself
// whenever too many wait, and finishes the rest in finish(); the helpers stop when the pipeline
// is destroyed, also when the run stops early.
template <typename Worker>
class DrawPipeline {
 public:
  using Batch = std::function<void(Worker&)>;

  // Without `spread`, every batch runs on the calling thread as it is submitted.
  explicit DrawPipeline(bool spread) {
    if (!spread) return;
    for (unsigned t = 0; t < helper_threads(); ++t) helpers_.emplace_back([this] { helper_loop(); });
  }
  ~DrawPipeline() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      closing_ = true;
      waiting_.clear();
    }
    work_ready_.notify_all();
    for (auto& helper : helpers_) helper.join();
  }
  DrawPipeline(const DrawPipeline&) = delete;
  DrawPipeline& operator=(const DrawPipeline&) = delete;

  void submit(Batch batch) {
    std::unique_lock<std::mutex> lock(mutex_);
    waiting_.push_back(std::move(batch));
    work_ready_.notify_one();
    // The producer runs faster than the draws: keep the backlog (and its memory) small.
    while (waiting_.size() > kMaxWaiting || helpers_.empty()) {
      if (!run_one(own_worker_, lock)) break;
    }
  }

  void finish() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (run_one(own_worker_, lock)) {
    }
    work_done_.wait(lock, [this] { return running_ == 0 && waiting_.empty(); });
  }

  // Whether batches run on helper threads (else each runs on the calling thread).
  bool spreads() const noexcept { return !helpers_.empty(); }

 private:
  static constexpr std::size_t kMaxWaiting = 8;

  bool run_one(Worker& worker, std::unique_lock<std::mutex>& lock) {
    if (waiting_.empty()) return false;
    Batch batch = std::move(waiting_.front());
    waiting_.pop_front();
    ++running_;
    lock.unlock();
    batch(worker);
    lock.lock();
    --running_;
    work_done_.notify_all();
    return true;
  }

  void helper_loop() {
    Worker worker;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      work_ready_.wait(lock, [this] { return closing_ || !waiting_.empty(); });
      if (closing_) return;
      run_one(worker, lock);
    }
  }

  Worker own_worker_;
  std::mutex mutex_;
  std::condition_variable work_ready_;
  std::condition_variable work_done_;
  std::deque<Batch> waiting_;
  std::size_t running_ = 0;
  bool closing_ = false;
  std::vector<std::thread> helpers_;
};

}  // namespace oskev::random
