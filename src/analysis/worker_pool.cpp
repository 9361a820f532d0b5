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
  {
    std::unique_lock<std::mutex> lock(mutex_);
    std::shared_ptr<Work> work;
    std::size_t part = 0;
    while (take(work, part)) do_part(lock, work, part);
    work_done_.wait(lock, [&] { return unfinished_ == 0; });
    stop_ = true;
  }
  work_ready_.notify_all();
  for (auto& t : helpers_) t.join();
}

WorkerPool::Handle WorkerPool::start(std::size_t parts, std::function<void(std::size_t)> task) {
  auto work = std::make_shared<Work>();
  work->task = std::move(task);
  work->parts = parts;
  work->remaining = parts;
  if (parts == 0) return Handle(std::move(work));
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(work);
    ++unfinished_;
  }
  if (!helpers_.empty()) work_ready_.notify_all();
  return Handle(std::move(work));
}

bool WorkerPool::take(std::shared_ptr<Work>& work, std::size_t& part) {
  if (queue_.empty()) return false;
  work = queue_.front();
  part = work->next++;
  if (work->next == work->parts) queue_.pop_front();
  return true;
}

void WorkerPool::do_part(std::unique_lock<std::mutex>& lock, const std::shared_ptr<Work>& work,
                         std::size_t part) {
  lock.unlock();
  std::exception_ptr failure;
  try {
    work->task(part);
  } catch (...) {
    failure = std::current_exception();
  }
  lock.lock();
  if (failure && !work->failure) work->failure = failure;
  if (--work->remaining == 0) {
    --unfinished_;
    work_done_.notify_all();
  }
}

void WorkerPool::helper() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    work_ready_.wait(lock, [&] { return stop_ || !queue_.empty(); });
    if (stop_) return;
    std::shared_ptr<Work> work;
    std::size_t part = 0;
    if (take(work, part)) do_part(lock, work, part);
  }
}

void WorkerPool::wait(Handle& handle) {
  const std::shared_ptr<Work> mine = std::move(handle.work_);
  if (!mine) return;
  std::unique_lock<std::mutex> lock(mutex_);
  // Older work first: it was started first and may be what this work follows.
  while (mine->next < mine->parts) {
    std::shared_ptr<Work> work;
    std::size_t part = 0;
    if (!take(work, part)) break;
    do_part(lock, work, part);
  }
  work_done_.wait(lock, [&] { return mine->remaining == 0; });
  if (mine->failure) std::rethrow_exception(mine->failure);
}

}  // namespace orthaxis::analysis
