#pragma once
// --check: reads the setup file, every value of the data file (through the
// transposition's reads when the columns are the objects) and the label
// files, and says what it found. Nothing is written: the setup file stays a
// setup file, no result, scratch or marker file appears, none is removed.

#include "driver/options.h"
#include "textio/console.h"
#include "textio/directory.h"
#include "textio/messages.h"

namespace orthaxis::driver {

// Returns when everything can be read; throws SetupError or textio::IoError
// otherwise. The summary goes to the console, the warnings to `messages`.
void check(textio::Console& console, const Options& options, textio::Messages& messages,
           const textio::Directory& dir = {});

}  // namespace orthaxis::driver
