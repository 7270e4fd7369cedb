#include "random/draw_pool.hpp"


namespace oskev::random {

unsigned helper_threads() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores > 1 ? std::min(cores - 1, 7u) : 0u;
}

DrawPipeline::DrawPipeline(bool spread) {
  if (!spread) return;
  for (unsigned t = 0; t < helper_threads(); ++t) helpers_.emplace_back([this] { helper_loop(); });
}

DrawPipeline::~DrawPipeline() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
    waiting_.clear();
  }
  work_ready_.notify_all();
  for (auto& helper : helpers_) helper.join();
}

bool DrawPipeline::run_one(DrawWorker& worker, std::unique_lock<std::mutex>& lock) {
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

void DrawPipeline::helper_loop() {
  DrawWorker worker;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    work_ready_.wait(lock, [this] { return closing_ || !waiting_.empty(); });
    if (closing_) return;
    run_one(worker, lock);
  }
}

void DrawPipeline::submit(Batch batch) {
  std::unique_lock<std::mutex> lock(mutex_);
  waiting_.push_back(std::move(batch));
  work_ready_.notify_one();
  // The producer runs faster than the draws: keep the backlog (and its memory) small.
  while (waiting_.size() > kMaxWaiting || helpers_.empty()) {
    if (!run_one(own_worker_, lock)) break;
  }
}

void DrawPipeline::finish() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (run_one(own_worker_, lock)) {
  }
  work_done_.wait(lock, [this] { return running_ == 0 && waiting_.empty(); });
}

}  // namespace oskev::random
