#pragma once
// A small pool of threads for work that splits into independent parts. The
// caller is one of the workers: start() queues a piece of work for the
// helper threads and returns at once, so that the caller can do other work
// (read the next rows) before wait() makes it take the parts still left and
// return when every part of that work is done. Work is taken in the order it
// was started. With one thread there are no helpers and wait() does the
// parts in order on the caller.
//
// Each part must touch data of its own: the split decides which thread
// computes which values, never the order of operations on any one value.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace orthaxis::analysis {

class WorkerPool {
  struct Work;

 public:
  // Started work, to wait for.
  class Handle {
   public:
    Handle() = default;
    explicit operator bool() const { return work_ != nullptr; }

   private:
    friend class WorkerPool;
    explicit Handle(std::shared_ptr<Work> w) : work_(std::move(w)) {}
    std::shared_ptr<Work> work_;
  };

  // `threads` counts the caller: threads - 1 helper threads are started.
  explicit WorkerPool(std::size_t threads = 1);
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;
  // Finishes the work still queued, then stops the helpers.
  ~WorkerPool();

  std::size_t size() const { return helpers_.size() + 1; }

  // Queues task(0) .. task(parts - 1).
  Handle start(std::size_t parts, std::function<void(std::size_t)> task);
  // The same, ahead of the work already queued: for work that others will
  // wait for soon and that follows none of the queued work.
  Handle start_first(std::size_t parts, std::function<void(std::size_t)> task);
  // Does parts on the calling thread, oldest work first, until all parts of
  // `work` are done: once they are all handed out, the caller takes any work
  // still queued while other threads finish them, so a part must never wait
  // for the thread that waits here. Rethrows the first exception one of its
  // parts threw. The handle is emptied.
  void wait(Handle& work);
  // Waits, when a scope is left, for work still using that scope's data. On
  // the way out by a failure that failure is already on its way, so a failure
  // of the work itself is dropped here.
  class Settle {
   public:
    Settle(WorkerPool& pool, std::initializer_list<Handle*> work) : pool_(pool), work_(work) {}
    Settle(const Settle&) = delete;
    Settle& operator=(const Settle&) = delete;
    ~Settle() {
      for (Handle* h : work_) {
        try {
          pool_.wait(*h);
        } catch (...) {
        }
      }
    }

   private:
    WorkerPool& pool_;
    std::vector<Handle*> work_;
  };

  // start() and wait().
  void run(std::size_t parts, std::function<void(std::size_t)> task) {
    Handle h = start(parts, std::move(task));
    wait(h);
  }

 private:
  struct Work {
    std::function<void(std::size_t)> task;
    std::size_t parts = 0;
    std::size_t next = 0;       // first part not handed out (under mutex_)
    std::size_t remaining = 0;  // parts not yet done (under mutex_)
    std::atomic<bool> done{false};  // remaining reached 0 (set under mutex_)
    std::exception_ptr failure;
  };

  void helper();
  Handle queue(std::size_t parts, std::function<void(std::size_t)> task, bool first);
  // Takes the next part of the oldest queued work; false when none is left.
  // Called with the lock held.
  bool take(std::shared_ptr<Work>& work, std::size_t& part);
  void do_part(std::unique_lock<std::mutex>& lock, const std::shared_ptr<Work>& work,
               std::size_t part);

  std::vector<std::thread> helpers_;
  std::mutex mutex_;
  std::condition_variable work_ready_, work_done_;
  std::deque<std::shared_ptr<Work>> queue_;  // work with parts not yet handed out
  std::atomic<std::size_t> queued_{0};       // queue_.size(), for looking without the lock
  std::size_t unfinished_ = 0;               // work with parts not yet done
  std::size_t sleeping_ = 0;                 // helpers asleep on work_ready_ (under mutex_)
  bool stop_ = false;
};

}  // namespace orthaxis::analysis
