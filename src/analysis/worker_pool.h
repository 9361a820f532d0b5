#pragma once
// A small pool of threads for work that splits into independent parts. The
// caller is one of the workers: start() hands the parts to the helper
// threads and returns at once, so that the caller can do other work (read
// the next block of rows) before wait() makes it take the parts still left
// and return when every part is done. With one thread there are no helpers
// and wait() does all the parts in order on the caller.
//
// Each part must touch data of its own: the split decides which thread
// computes which values, never the order of operations on any one value.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace orthaxis::analysis {

class WorkerPool {
 public:
  // `threads` counts the caller: threads - 1 helper threads are started.
  explicit WorkerPool(std::size_t threads = 1);
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;
  ~WorkerPool();

  std::size_t size() const { return helpers_.size() + 1; }

  // Starts task(0) .. task(parts - 1). The previous work must be finished
  // (wait() returned).
  void start(std::size_t parts, std::function<void(std::size_t)> task);
  // Does parts on the calling thread until none are left, then returns when
  // all are done. Rethrows the first exception a part threw.
  void wait();
  // start() and wait().
  void run(std::size_t parts, std::function<void(std::size_t)> task) {
    start(parts, std::move(task));
    wait();
  }
  bool busy() const { return busy_; }

 private:
  void helper();
  void take_parts();

  std::vector<std::thread> helpers_;
  std::mutex mutex_;
  std::condition_variable work_ready_, work_done_;
  std::function<void(std::size_t)> task_;
  std::size_t parts_ = 0;
  std::atomic<std::size_t> next_{0};
  std::size_t remaining_ = 0;  // parts not yet done (under mutex_)
  std::size_t active_ = 0;     // helpers inside take_parts() (under mutex_)
  std::uint64_t generation_ = 0;
  bool stop_ = false;
  bool busy_ = false;  // started and not yet waited for (caller's thread only)
  std::exception_ptr failure_;
};

}  // namespace orthaxis::analysis
