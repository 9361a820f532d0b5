#include "analysis/worker_pool.h"

namespace orthaxis::analysis {

WorkerPool::WorkerPool(std::size_t threads) {
  if (threads < 1) threads = 1;
  helpers_.reserve(threads - 1);
  try {
    for (std::size_t t = 1; t < threads; ++t) helpers_.emplace_back([this] { helper(); });
  } catch (...) {
    // Fewer helpers than asked: the work is the same, only slower.
  }
}

WorkerPool::~WorkerPool() {
  if (busy_) {
    try {
      wait();
    } catch (...) {
      // The owner is already leaving; a failure of unfinished work has no one to go to.
    }
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  work_ready_.notify_all();
  for (auto& t : helpers_) t.join();
}

void WorkerPool::start(std::size_t parts, std::function<void(std::size_t)> task) {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    // A helper that woke late for the previous work may still be looking
    // for parts of it; the task is replaced only once it has left.
    work_done_.wait(lock, [&] { return active_ == 0; });
    task_ = std::move(task);
    parts_ = parts;
    remaining_ = parts;
    next_.store(0, std::memory_order_relaxed);
    failure_ = nullptr;
    ++generation_;
  }
  busy_ = true;
  if (!helpers_.empty() && parts > 0) work_ready_.notify_all();
}

void WorkerPool::take_parts() {
  for (;;) {
    const std::size_t k = next_.fetch_add(1, std::memory_order_relaxed);
    if (k >= parts_) return;
    try {
      task_(k);
    } catch (...) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!failure_) failure_ = std::current_exception();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (--remaining_ == 0) work_done_.notify_all();
  }
}

void WorkerPool::helper() {
  std::uint64_t seen = 0;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    work_ready_.wait(lock, [&] { return stop_ || generation_ != seen; });
    if (stop_) return;
    seen = generation_;
    ++active_;
    lock.unlock();
    take_parts();
    lock.lock();
    if (--active_ == 0) work_done_.notify_all();
  }
}

void WorkerPool::wait() {
  if (!busy_) return;
  take_parts();
  std::unique_lock<std::mutex> lock(mutex_);
  // Helpers that are still inside take_parts() must leave it before the
  // next start() replaces the task.
  work_done_.wait(lock, [&] { return remaining_ == 0 && active_ == 0; });
  busy_ = false;
  if (failure_) {
    std::exception_ptr f = failure_;
    failure_ = nullptr;
    std::rethrow_exception(f);
  }
}

}  // namespace orthaxis::analysis
