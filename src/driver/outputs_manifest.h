#pragma once
// The record of the tables and pictures that a person's run wrote into its
// directory (orthaxis.outputs): one line per file with its size and
// modification time. A later person's run removes the files it lists that
// are still as written (same size, same modification time), so that the
// tables and pictures in a directory always come from the last run that
// wrote any; a file the program did not write, or one changed since, is
// never removed. The run without arguments neither reads nor writes it.

#include <functional>
#include <string>
#include <vector>

#include "textio/directory.h"

namespace orthaxis::driver {

inline constexpr const char* kOutputsManifest = "orthaxis.outputs";

// Removes the files that the manifest lists and that are unchanged since,
// except those for which `spared` is true (files the setup names), then the
// manifest itself. Only the names of the tables and pictures count.
void remove_earlier_outputs(const textio::Directory& dir,
                            const std::function<bool(const std::string&)>& spared);

// Records the files `written` (names in `dir`, as they are now); none: no
// manifest.
void write_outputs_manifest(const textio::Directory& dir, const std::vector<std::string>& written);

}  // namespace orthaxis::driver
