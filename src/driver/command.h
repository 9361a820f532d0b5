#pragma once
// The program for a parsed command line, in-process: the import of a table
// when asked, then the run in its working directory, its outcome mapped to
// the exit status (0 normal end, 1 analysis stop, 2 input/output, setup,
// allocation or usage failure). The process's working directory is never
// changed.

#include "driver/options.h"

namespace orthaxis::driver {

int run_command(const Options& options);

}  // namespace orthaxis::driver
