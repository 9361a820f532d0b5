#include "textio/directory_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace orthaxis::textio {

DirectoryLock::~DirectoryLock() {
  if (fd_ >= 0) ::close(fd_);
}

DirectoryLock::Outcome DirectoryLock::acquire(const std::string& dir) {
  if (fd_ >= 0) return Outcome::kHeld;
  const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return Outcome::kUnlockable;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const bool busy = errno == EWOULDBLOCK;
    ::close(fd);
    return busy ? Outcome::kBusy : Outcome::kUnlockable;
  }
  fd_ = fd;
  return Outcome::kHeld;
}

}  // namespace orthaxis::textio
