#pragma once
// The run in its fixed order: banner, setup file, data settled (optionally
// transposed), work arrays, labels and parameter report, data pass,
// resemblance matrix (or the correspondence matrix), eigenanalysis,
// eigenvalue report, scores, normal end.

#include <stdexcept>

#include "driver/options.h"
#include "textio/console.h"
#include "textio/directory.h"

namespace orthaxis::driver {

// The analysis stopped on its data (zero variance, an undefined resemblance,
// a table that correspondence analysis cannot take); the report and the
// console already carry the reason.
class AnalysisStop : public std::exception {
 public:
  const char* what() const noexcept override { return "analysis stopped"; }
};

// The work arrays do not fit in memory.
class AllocationError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr const char* kSetupFile = "ORTHAXIS.ST$";
inline constexpr const char* kScratchFile = "T.TMP";
inline constexpr const char* kSuccessFile = "SUCCES.ST$";

// Runs the program in the working directory `dir` (the process's own is
// never changed). Returns at the normal end (SUCCES.ST$ created); throws
// AnalysisStop, SetupError, AllocationError or textio::IoError otherwise.
// Empty options give the front end's run.
void run(textio::Console& console, const Options& options = {},
         const textio::Directory& dir = {});

}  // namespace orthaxis::driver
