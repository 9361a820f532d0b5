#include "driver/options.h"

#include <charconv>

namespace orthaxis::driver {

namespace {

constexpr std::string_view kUsage = "usage: orthaxis [OPTIONS] [DIR]  (orthaxis --help for details)";

constexpr std::string_view kHelp =
    R"(usage: orthaxis [OPTIONS] [DIR]

Principal component analysis and correspondence analysis of a data matrix.
Runs in DIR (default: the current directory), which holds the setup file
ORTHAXIS.ST$; the report replaces the setup file. Without options the run is
exactly the one the front end starts.

Options:
  -h, --help          show this text and exit
  --version           show the version and exit
  --check             read and validate the setup, data and label files, say
                      what was found, and write nothing
  --quiet             the console shows only the banner, warnings, abnormal
                      ends and the stop line (files are unchanged)
  --csv               also write eigenvalues.csv, objects.csv, variables.csv
  --svg               also write biplot.svg and scree.svg
  --threads N         use N threads (default: ORTHAXIS_THREADS, or every
                      available core); results do not depend on N
  --import FILE.csv   turn a table with a header row (and row names) into the
                      data, label and setup files of DIR, then run there
    --sep SEP         field separator of FILE.csv: ',' (default), ';' or tab
    --dec DEC         decimal mark of FILE.csv: '.' (default) or ','
    --analysis KIND   correlation (default), covariance, cross-products or
                      correspondence
    --axes K          number of axes retained (default 3)
    --force           import into a DIR that already holds a setup file
    --sup-rows LIST   supplementary objects: row names or 1-based positions
                      and ranges (38-41), comma-separated
    --sup-cols LIST   supplementary variables: header names or positions;
                      columns of texts are qualitative and always supplementary
  --groups NAME       colour the biplot's objects by this qualitative variable
                      (default: the first)

Setup file ORTHAXIS.ST$: twelve integers, then six file names, one a line:
   1 rows            rows of the data matrix as stored (1 or more)
   2 columns         columns as stored (1 or more)
   3 type            1 PCA from cross products, 2 PCA from covariances,
                     3 PCA from correlations, 4 correspondence analysis
   4 matrix          0 not saved, 1 or 2 saved (2 writes the matrix file)
   5 components      number of axes retained
   6 CoA scaling     0 objects at centroid of variables, 1 symmetric,
                     2 variables at centroid of objects
   7 object labels   0 none, otherwise read from the object-labels file
   8 var. labels     0 none, 1 read from the variable-labels file
   9 printout        0 short, otherwise detailed
  10 var. scores     0 correlations, 1 covariances, 2 eigenvectors
  11 object scores   0 normalised to lambda, 1 normalised to unity
  12 orientation     1 rows are objects, otherwise columns are objects
  names: data file, object-score file, variable-score file,
         variable-labels file, object-labels file, matrix file

With any argument the run speaks to a person: a read error names the file,
line and field, warnings (values left unread, missing values, cut labels,
variables without spread, axes lowered) go to standard error, and a
progress line is shown when standard error is a terminal and standard
output is not.

Exit status: 0 normal end (SUCCES.ST$ created), 1 the analysis stopped on
its data, 2 an input/output, setup, memory or usage failure.
See orthaxis(1) for the file layouts.
)";

bool parse_count(std::string_view text, std::int32_t& value) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end && value >= 1;
}

}  // namespace

std::string_view usage_line() { return kUsage; }
std::string_view help_text() { return kHelp; }

Options parse_options(std::span<const std::string_view> args) {
  Options o;
  o.for_person = !args.empty();
  bool have_dir = false;
  bool import_setting = false;  // an option that only --import uses
  bool options_end = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view a = args[i];
    if (options_end || a.empty() || a[0] != '-' || a == "-") {
      if (have_dir) throw UsageError("more than one directory given: \"" + std::string(a) + "\"");
      o.dir = std::string(a);
      have_dir = true;
      continue;
    }
    // --name=value is the same as --name value.
    std::string_view name = a;
    std::string_view inline_value;
    bool has_inline = false;
    if (a.starts_with("--")) {
      if (auto eq = a.find('='); eq != std::string_view::npos) {
        name = a.substr(0, eq);
        inline_value = a.substr(eq + 1);
        has_inline = true;
      }
    }
    auto value = [&]() -> std::string_view {
      if (has_inline) return inline_value;
      if (i + 1 >= args.size()) throw UsageError("option " + std::string(name) + " needs a value");
      return args[++i];
    };
    auto flag = [&](bool& target) {
      if (has_inline) throw UsageError("option " + std::string(name) + " takes no value");
      target = true;
    };
    if (a == "--") {
      options_end = true;
    } else if (name == "-h" || name == "--help") {
      flag(o.help);
    } else if (name == "--version") {
      flag(o.version);
    } else if (name == "--check") {
      flag(o.check);
    } else if (name == "--quiet") {
      flag(o.quiet);
    } else if (name == "--csv") {
      flag(o.csv);
    } else if (name == "--svg") {
      flag(o.svg);
    } else if (name == "--force") {
      flag(o.force);
      import_setting = true;
    } else if (name == "--threads") {
      std::string_view v = value();
      if (!parse_count(v, o.threads))
        throw UsageError("--threads needs a positive whole number, not \"" + std::string(v) + "\"");
    } else if (name == "--import") {
      std::string_view v = value();
      if (v.empty()) throw UsageError("--import needs a file name");
      o.import_file = std::string(v);
    } else if (name == "--sep") {
      std::string_view v = value();
      if (v == ",") o.separator = ',';
      else if (v == ";") o.separator = ';';
      else if (v == "tab" || v == "\t" || v == "\\t") o.separator = '\t';
      else throw UsageError("--sep takes ',', ';' or tab, not \"" + std::string(v) + "\"");
      import_setting = true;
    } else if (name == "--dec") {
      std::string_view v = value();
      if (v == ".") o.decimal = '.';
      else if (v == ",") o.decimal = ',';
      else throw UsageError("--dec takes '.' or ',', not \"" + std::string(v) + "\"");
      import_setting = true;
    } else if (name == "--analysis") {
      std::string_view v = value();
      if (v == "correlation") o.analysis = ImportAnalysis::kCorrelation;
      else if (v == "covariance") o.analysis = ImportAnalysis::kCovariance;
      else if (v == "cross-products") o.analysis = ImportAnalysis::kCrossProducts;
      else if (v == "correspondence") o.analysis = ImportAnalysis::kCorrespondence;
      else
        throw UsageError("--analysis takes correlation, covariance, cross-products or "
                         "correspondence, not \"" + std::string(v) + "\"");
      import_setting = true;
    } else if (name == "--sup-rows" || name == "--sup-cols") {
      std::string_view v = value();
      if (v.empty()) throw UsageError(std::string(name) + " needs a list");
      (name == "--sup-rows" ? o.sup_rows : o.sup_cols) = std::string(v);
      import_setting = true;
    } else if (name == "--groups") {
      std::string_view v = value();
      if (v.empty()) throw UsageError("--groups needs a name");
      o.groups = std::string(v);
    } else if (name == "--axes") {
      std::string_view v = value();
      if (!parse_count(v, o.axes))
        throw UsageError("--axes needs a positive whole number, not \"" + std::string(v) + "\"");
      import_setting = true;
    } else {
      throw UsageError("unknown option \"" + std::string(a) + "\"");
    }
  }
  if (import_setting && !o.importing())
    throw UsageError("--sep, --dec, --analysis, --axes, --force, --sup-rows and --sup-cols go with --import");
  if (o.separator == o.decimal)
    throw UsageError("the separator and the decimal mark must differ");
  return o;
}

}  // namespace orthaxis::driver
