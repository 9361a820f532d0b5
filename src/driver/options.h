#pragma once
// The command line: `orthaxis [OPTIONS] [DIR]`. Parsed once, before anything
// is read or written; with no arguments the result is the empty value and the
// run is the one the front end starts. Nothing below the driver reads argv.

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "export/label_choice.h"

namespace orthaxis::driver {

inline constexpr std::string_view kVersion = "1.1.0";

// What `--import` writes into the setup file as the analysis type.
// Who does the eigenanalysis: the program's own Jacobi method, or the
// system's LAPACK (loaded at run time).
enum class Engine { kJacobi, kLapack };

enum class ImportAnalysis { kCrossProducts = 1, kCovariance = 2, kCorrelation = 3, kCorrespondence = 4 };

struct Options {
  // Any argument given: the run talks to a person (located messages, warnings
  // on standard error, progress on a terminal). Without arguments every byte
  // on every stream is the front end's.
  bool for_person = false;
  bool help = false;     // -h, --help: usage on standard output, nothing else
  bool version = false;  // --version
  bool check = false;    // --check: validate the inputs, write nothing
  bool quiet = false;    // --quiet: console keeps banner, warnings, abnormal ends, stop line
  bool csv = false;      // --csv: full-precision tables beside the report
  bool svg = false;      // --svg: biplot and scree pictures beside the report
  std::int32_t axes_test = 0;    // --axes-test [N]: N replicates; 0 no test
  std::uint64_t seed = 12345;    // --seed S: the replicates' random numbers
  bool html = false;     // --html: report.html, the whole analysis in one page
  bool verbose = false;  // --verbose: the full console on a terminal too
  // Set by the command, not by an argument: standard output is a terminal.
  bool terminal = false;
  svg::LabelChoice labels;   // --labels: which points of the biplot carry a label
  std::int32_t plane1 = 1, plane2 = 2;  // --plane A,B: the axes of the biplot, 1-based
  std::int32_t threads = 0;  // --threads N; 0: ORTHAXIS_THREADS or every available core
  Engine engine = Engine::kJacobi;  // --engine jacobi|lapack
  std::string dir;           // working directory; empty: the current one

  // --import FILE.csv and the settings of the table it names.
  std::string import_file;
  char separator = ',';  // --sep ',' ';' or tab
  char decimal = '.';    // --dec '.' or ','
  ImportAnalysis analysis = ImportAnalysis::kCorrelation;  // --analysis
  std::int32_t axes = 3;                                   // --axes
  bool force = false;  // --force: import into a directory that holds a setup file
  std::string sup_rows, sup_cols;  // --sup-rows LIST, --sup-cols LIST: supplementary parts
  std::string groups;  // --groups NAME: the qualitative variable that colours the biplot

  bool importing() const { return !import_file.empty(); }
};

// A command line that cannot be run: the message is one line for standard
// error, followed by the usage line.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The arguments after the program name.
Options parse_options(std::span<const std::string_view> args);

// One line naming the command's form, for usage errors.
std::string_view usage_line();
// The text of --help.
std::string_view help_text();

}  // namespace orthaxis::driver
