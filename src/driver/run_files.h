#pragma once
// The files of a run and the part each plays, so that a setup whose names make
// two parts one file is refused before any file is created, emptied or
// deleted: an output written over an input, over another output or over a
// file the run keeps by its fixed name would lose data or fake a result.

#include <span>
#include <string>
#include <vector>

#include "driver/plan.h"
#include "driver/setup.h"
#include "textio/directory.h"

namespace orthaxis::driver {

struct RunFile {
  enum class Kind {
    kFixed,   // kept by its fixed name in the working directory
    kInput,   // named in the setup file and only read
    kOutput,  // named in the setup file and written
  };
  const char* role;  // "data file", "scratch file", ...
  std::string name;  // as the setup gives it (or the fixed name)
  Kind kind;
  std::string path = {};  // as the process reaches it; empty: the name
  const std::string& reached() const { return path.empty() ? name : path; }
};

// The files a run with these values uses: the fixed files first, then the
// named inputs, then the named outputs. Names the run does not use, and
// empty names (their opening fails on its own), are left out.
std::vector<RunFile> files_of_run(const RunPlan& plan, const FileNames& names,
                                  const textio::Directory& dir = {});

// Throws SetupError naming the first two files that are one file while one of
// them is written by the run: an output and any other file, or an input and a
// fixed file. The setup file itself is the fixed file ORTHAXIS.ST$.
void check_distinct(std::span<const RunFile> files);

// Whether two names reach one file: the same path once made absolute and rid
// of ".", ".." and links, or the same existing file (device and inode).
bool same_file(const std::string& a, const std::string& b);

}  // namespace orthaxis::driver
