#pragma once
// The working directory of a run. A run opens every file by its name as the
// setup file gives it (or by its fixed name) relative to this directory, and
// names it that way in its messages; the process's own working directory is
// never changed, so that a run can be called in-process on any directory.

#include <string>
#include <string_view>

namespace orthaxis::textio {

class Directory {
 public:
  // The process's working directory.
  Directory() = default;
  explicit Directory(std::string base) : base_(std::move(base)) {}

  bool is_current() const { return base_.empty() || base_ == "."; }
  const std::string& base() const { return base_; }

  // Where the file `name` is reached from the process: the name itself in
  // the current directory, or for an absolute name; otherwise the name below
  // the base.
  std::string path(std::string_view name) const {
    if (is_current() || name.empty() || name.front() == '/') return std::string(name);
    std::string p = base_;
    if (p.back() != '/') p.push_back('/');
    p.append(name);
    return p;
  }

 private:
  std::string base_;
};

}  // namespace orthaxis::textio
