#include "textio/output_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "textio/io_error.h"

namespace orthaxis::textio {

namespace {

// ".orthaxis-NAME.PID.tmp" in the directory of `path`: a name no run or
// import uses, and one per process. None for a name that stands for
// something other than a regular file (a device, a pipe, a symbolic link):
// that is written in place, as it was asked for.
std::string temporary_beside(const std::string& path) {
  struct stat s;
  if (::lstat(path.c_str(), &s) == 0 && !S_ISREG(s.st_mode)) return {};
  const std::size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return dir + ".orthaxis-" + name + "." + std::to_string(::getpid()) + ".tmp";
}

}  // namespace

OutputFile::OutputFile(int unit, std::string path)
    : final_(path),
      temporary_(temporary_beside(final_)),
      file_(unit, std::move(path), temporary_.empty() ? final_ : temporary_) {}

OutputFile::OutputFile(int unit, const Directory& dir, std::string name)
    : final_(dir.path(name)),
      temporary_(temporary_beside(final_)),
      file_(unit, std::move(name), temporary_.empty() ? final_ : temporary_) {}

OutputFile::~OutputFile() {
  if (temporary_.empty() || renamed_) return;
  try {
    RecordFile dropped = std::move(file_);
  } catch (...) {
  }
  std::remove(temporary_.c_str());
}

void OutputFile::close() {
  if (temporary_.empty() || renamed_) {
    file_.close();
    return;
  }
  file_.close();
  errno = 0;
  if (std::rename(temporary_.c_str(), final_.c_str()) != 0) {
    const std::string reason = errno != 0 ? std::strerror(errno) : "cannot rename";
    std::remove(temporary_.c_str());
    renamed_ = true;
    throw IoError(reason, "CLOSE", file_.unit(), file_.path());
  }
  renamed_ = true;
}

}  // namespace orthaxis::textio
