#include "analysis/worker_pool.h"

#include <algorithm>
#include <chrono>

#include "analysis/spin_wait.h"

#if defined(__GLIBC__)
#include <malloc.h>
#include <pthread.h>
#include <sys/resource.h>
#endif

namespace orthaxis::analysis {

namespace {
// A thread that runs out of work looks for more for this long before it
// sleeps: work comes in quick succession during a pass, and waking a
// sleeping thread costs more than the look.
constexpr std::chrono::microseconds kLookBeforeSleep{50};

// Looks until `ready()` or the time is up, at the clock after each round of
// looks; true when ready.
template <typename Ready>
bool look_for(const Ready& ready) {
  const auto until = std::chrono::steady_clock::now() + kLookBeforeSleep;
  SpinWait spin;
  for (;;) {
    if (ready()) return true;
    if (spin.pause() && std::chrono::steady_clock::now() >= until) return ready();
  }
}

// Helpers need a few kilobytes of stack. Left to the C library, each would
// reserve address space for a stack as large as the process's stack limit
// (often 8 MB) and for a heap of its own (64 MB). Under an address-space
// limit (ulimit -v, a batch system's memory limit) that room, times the
// threads, is taken from the run's arrays, and a run that fits on one thread
// could fail on many. While a LeanThreads lives, new threads get a stack of
// kHelperStack bytes, and under such a limit all threads share one heap.
// Without one, each thread keeps a heap of its own, as the C library
// arranges: the score lines are formatted on every thread and allocate as
// they go, and separate heaps keep those threads from locking each other.
constexpr std::size_t kHelperStack = std::size_t{1} << 20;

class LeanThreads {
 public:
  LeanThreads() {
#if defined(__GLIBC__)
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
      mallopt(M_ARENA_MAX, 1);
    }
    if (pthread_getattr_default_np(&old_) != 0) return;
    have_old_ = true;
    pthread_attr_t lean;
    if (pthread_attr_init(&lean) != 0) return;
    if (pthread_attr_setstacksize(&lean, kHelperStack) == 0) {
      restore_ = pthread_setattr_default_np(&lean) == 0;
    }
    pthread_attr_destroy(&lean);
#endif
  }
  LeanThreads(const LeanThreads&) = delete;
  LeanThreads& operator=(const LeanThreads&) = delete;
  ~LeanThreads() {
#if defined(__GLIBC__)
    if (restore_) pthread_setattr_default_np(&old_);
    if (have_old_) pthread_attr_destroy(&old_);
#endif
  }

 private:
#if defined(__GLIBC__)
  pthread_attr_t old_{};
  bool have_old_ = false;
  bool restore_ = false;
#endif
};
}  // namespace

WorkerPool::WorkerPool(std::size_t threads) {
  if (threads < 1) threads = 1;
  if (threads == 1) return;
  helpers_.reserve(threads - 1);
  const LeanThreads lean;
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
  return queue(parts, std::move(task), false);
}

WorkerPool::Handle WorkerPool::start_first(std::size_t parts,
                                           std::function<void(std::size_t)> task) {
  return queue(parts, std::move(task), true);
}

WorkerPool::Handle WorkerPool::queue(std::size_t parts, std::function<void(std::size_t)> task,
                                     bool first) {
  auto work = std::make_shared<Work>();
  work->task = std::move(task);
  work->parts = parts;
  work->remaining = parts;
  if (parts == 0) return Handle(std::move(work));
  std::size_t wake = 0;
  bool all = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (first) {
      queue_.push_front(work);
    } else {
      queue_.push_back(work);
    }
    queued_.store(queue_.size(), std::memory_order_release);
    ++unfinished_;
    wake = std::min(sleeping_, parts);
    all = wake == sleeping_;
  }
  // One sleeping helper for each part: more would wake only to find nothing.
  if (all && wake > 0) {
    work_ready_.notify_all();
  } else {
    for (std::size_t k = 0; k < wake; ++k) work_ready_.notify_one();
  }
  return Handle(std::move(work));
}

bool WorkerPool::take(std::shared_ptr<Work>& work, std::size_t& part) {
  if (queue_.empty()) return false;
  work = queue_.front();
  part = work->next++;
  if (work->next == work->parts) {
    queue_.pop_front();
    queued_.store(queue_.size(), std::memory_order_release);
  }
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
    work->done.store(true, std::memory_order_release);
    work_done_.notify_all();
  }
}

void WorkerPool::helper() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (!stop_ && queue_.empty()) {
      lock.unlock();
      look_for([&] { return queued_.load(std::memory_order_acquire) != 0; });
      lock.lock();
      ++sleeping_;
      work_ready_.wait(lock, [&] { return stop_ || !queue_.empty(); });
      --sleeping_;
    }
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
  // Once every part of this work is handed out, the caller goes on with
  // whatever else is queued while other threads finish those parts, and
  // sleeps only when nothing is left to take.
  while (mine->remaining != 0) {
    std::shared_ptr<Work> work;
    std::size_t part = 0;
    if (take(work, part)) {
      do_part(lock, work, part);
      continue;
    }
    lock.unlock();
    look_for([&] {
      return mine->done.load(std::memory_order_acquire) ||
             queued_.load(std::memory_order_acquire) != 0;
    });
    lock.lock();
    if (mine->remaining == 0 || !queue_.empty()) continue;
    work_done_.wait(lock, [&] { return mine->remaining == 0; });
  }
  if (mine->failure) std::rethrow_exception(mine->failure);
}

}  // namespace orthaxis::analysis
