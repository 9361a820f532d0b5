#pragma once
// One run at a time in a working directory: an exclusive advisory lock
// (flock) on the directory itself, taken without waiting and held until the
// process ends or the lock is destroyed. No file is created for it.

#include <string>

namespace orthaxis::textio {

class DirectoryLock {
 public:
  DirectoryLock() = default;
  DirectoryLock(const DirectoryLock&) = delete;
  DirectoryLock& operator=(const DirectoryLock&) = delete;
  ~DirectoryLock();

  enum class Outcome {
    kHeld,        // this process holds the lock
    kBusy,        // another process holds it
    kUnlockable,  // the directory cannot be opened or locked (the run meets it for itself)
  };
  // `dir` empty: the process's working directory.
  Outcome acquire(const std::string& dir);
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace orthaxis::textio
