#include "driver/options.h"

#include <charconv>
#include <optional>

#include "driver/threads.h"

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
  --verbose           show the full console on a terminal too (by default a
                      person's run on a terminal shows a short summary)
  --csv               also write eigenvalues.csv, objects.csv, variables.csv
  --svg               also write biplot.svg and scree.svg
  --axes-test [N]     how many axes to keep: Kaiser rule, broken stick,
                      parallel analysis and permutation test with N random
                      replicate tables (default 199); a summary line on
                      standard error, axes.csv with --csv, lines on
                      scree.svg with --svg
  --seed S            seed of the replicates (default 12345); the same seed
                      gives the same results for every thread count
  --html              also write report.html: the whole analysis in one page
                      (summary, eigenvalues, an interactive biplot, sortable
                      tables, a reading of the axes, the report)
  --labels WHICH      which points the biplot labels: all, none, top:N (the N
                      with the largest contribution to the plane), cos2:X or
                      contrib:X (quality or contribution on the plane at
                      least X); default: the variables, and the objects when
                      there are at most 500
  --plane A,B         draw axes A and B in the biplot (default 1,2)
  --threads N         use N threads (default: ORTHAXIS_THREADS, or every
                      available core); results do not depend on N
  --engine E          eigenanalysis by jacobi (default) or lapack: the
                      system's LAPACK in double precision, on the smaller
                      side of the table (much faster for wide tables)
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

bool digits_only(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

bool parse_count(std::string_view text, std::int32_t& value) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end && value >= 1;
}

UsageError refused(std::string_view option, std::string_view takes, std::string_view value) {
  return UsageError(std::string(option) + " " + std::string(takes) + ", not \"" +
                    std::string(value) + "\"");
}

// The handlers of the options that take a value; each refuses a value it
// cannot use.
// One rule with ORTHAXIS_THREADS: a whole number from 1 to the most threads.
void take_threads(Options& o, std::string_view v) {
  const std::optional<std::size_t> n = thread_setting(v);
  if (!n) throw UsageError(thread_setting_error("--threads", v));
  o.threads = static_cast<std::int32_t>(*n);
}

void take_labels(Options& o, std::string_view v) {
  const auto choice = svg::parse_label_choice(v);
  if (!choice) throw refused("--labels", "takes all, none, top:N, cos2:X or contrib:X", v);
  o.labels = *choice;
}

void take_plane(Options& o, std::string_view v) {
  const auto comma = v.find(',');
  if (comma == std::string_view::npos || !parse_count(v.substr(0, comma), o.plane1) ||
      !parse_count(v.substr(comma + 1), o.plane2) || o.plane1 == o.plane2)
    throw refused("--plane", "needs two different axes A,B", v);
}

void take_import(Options& o, std::string_view v) {
  if (v.empty()) throw UsageError("--import needs a file name");
  o.import_file = std::string(v);
}

void take_separator(Options& o, std::string_view v) {
  if (v == ",") o.separator = ',';
  else if (v == ";") o.separator = ';';
  else if (v == "tab" || v == "\t" || v == "\\t") o.separator = '\t';
  else throw refused("--sep", "takes ',', ';' or tab", v);
}

void take_decimal(Options& o, std::string_view v) {
  if (v == ".") o.decimal = '.';
  else if (v == ",") o.decimal = ',';
  else throw refused("--dec", "takes '.' or ','", v);
}

void take_analysis(Options& o, std::string_view v) {
  if (v == "correlation") o.analysis = ImportAnalysis::kCorrelation;
  else if (v == "covariance") o.analysis = ImportAnalysis::kCovariance;
  else if (v == "cross-products") o.analysis = ImportAnalysis::kCrossProducts;
  else if (v == "correspondence") o.analysis = ImportAnalysis::kCorrespondence;
  else throw refused("--analysis", "takes correlation, covariance, cross-products or correspondence", v);
}

void take_axes(Options& o, std::string_view v) {
  if (!parse_count(v, o.axes)) throw refused("--axes", "needs a positive whole number", v);
}

void take_sup_rows(Options& o, std::string_view v) {
  if (v.empty()) throw UsageError("--sup-rows needs a list");
  o.sup_rows = std::string(v);
}

void take_sup_cols(Options& o, std::string_view v) {
  if (v.empty()) throw UsageError("--sup-cols needs a list");
  o.sup_cols = std::string(v);
}

void take_groups(Options& o, std::string_view v) {
  if (v.empty()) throw UsageError("--groups needs a name");
  o.groups = std::string(v);
}

void take_engine(Options& o, std::string_view v) {
  if (v == "jacobi") o.engine = Engine::kJacobi;
  else if (v == "lapack") o.engine = Engine::kLapack;
  else throw refused("--engine", "takes jacobi or lapack", v);
}

void take_seed(Options& o, std::string_view v) {
  auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), o.seed);
  if (!digits_only(v) || ec != std::errc() || end != v.data() + v.size())
    throw refused("--seed", "needs a whole number from 0 to 18446744073709551615", v);
}

// --axes-test [N]: the count is optional; a next argument of digits only is
// the count.
void take_axes_test(std::span<const std::string_view> args, std::size_t& i,
                    std::string_view inline_value, bool has_value, Options& o) {
  std::string_view v = has_value ? inline_value : std::string_view("199");
  if (!has_value && i + 1 < args.size() && digits_only(args[i + 1])) v = args[++i];
  if (!parse_count(v, o.axes_test))
    throw UsageError("--axes-test needs a positive whole number, not \"" + std::string(v) + "\"");
}

// An option of the command line: a flag, which takes no value, or one whose
// value goes to its handler.
struct OptionRule {
  std::string_view name;
  bool Options::*flag;
  void (*take)(Options&, std::string_view);
  bool import_setting;  // only --import uses it
};

constexpr OptionRule kOptions[] = {
    {"-h", &Options::help, nullptr, false},
    {"--help", &Options::help, nullptr, false},
    {"--version", &Options::version, nullptr, false},
    {"--check", &Options::check, nullptr, false},
    {"--quiet", &Options::quiet, nullptr, false},
    {"--csv", &Options::csv, nullptr, false},
    {"--svg", &Options::svg, nullptr, false},
    {"--verbose", &Options::verbose, nullptr, false},
    {"--html", &Options::html, nullptr, false},
    {"--force", &Options::force, nullptr, true},
    {"--threads", nullptr, take_threads, false},
    {"--labels", nullptr, take_labels, false},
    {"--plane", nullptr, take_plane, false},
    {"--import", nullptr, take_import, false},
    {"--sep", nullptr, take_separator, true},
    {"--dec", nullptr, take_decimal, true},
    {"--analysis", nullptr, take_analysis, true},
    {"--axes", nullptr, take_axes, true},
    {"--seed", nullptr, take_seed, false},
    {"--engine", nullptr, take_engine, false},
    {"--sup-rows", nullptr, take_sup_rows, true},
    {"--sup-cols", nullptr, take_sup_cols, true},
    {"--groups", nullptr, take_groups, false},
};

const OptionRule* find_option(std::string_view name) {
  for (const OptionRule& rule : kOptions)
    if (rule.name == name) return &rule;
  return nullptr;
}

// An argument that names an option: its name, and the value given with it
// as --name=value.
struct OptionArgument {
  std::string_view name;
  std::string_view value;
  bool has_value = false;
};

OptionArgument split_option(std::string_view a) {
  OptionArgument arg{a, {}, false};
  if (a.starts_with("--")) {
    if (auto eq = a.find('='); eq != std::string_view::npos) {
      arg.name = a.substr(0, eq);
      arg.value = a.substr(eq + 1);
      arg.has_value = true;
    }
  }
  return arg;
}

// The option at args[i] applied to o; i moves past a value given as the
// next argument. True for an option that only --import uses.
bool apply_option(std::span<const std::string_view> args, std::size_t& i, Options& o) {
  const std::string_view a = args[i];
  const OptionArgument arg = split_option(a);
  if (arg.name == "--axes-test") {
    take_axes_test(args, i, arg.value, arg.has_value, o);
    return false;
  }
  const OptionRule* rule = find_option(arg.name);
  if (rule == nullptr) throw UsageError("unknown option \"" + std::string(a) + "\"");
  if (rule->flag != nullptr) {
    if (arg.has_value) throw UsageError("option " + std::string(arg.name) + " takes no value");
    o.*(rule->flag) = true;
  } else if (arg.has_value) {
    rule->take(o, arg.value);
  } else {
    if (i + 1 >= args.size()) throw UsageError("option " + std::string(arg.name) + " needs a value");
    rule->take(o, args[++i]);
  }
  return rule->import_setting;
}

bool is_operand(std::string_view a) { return a.empty() || a[0] != '-' || a == "-"; }

}  // namespace

std::string_view usage_line() { return kUsage; }
std::string_view help_text() { return kHelp; }

Options parse_options(std::span<const std::string_view> args) {
  Options o;
  o.for_person = !args.empty();
  bool have_dir = false;
  bool import_setting = false;  // an option that only --import uses
  bool options_end = false;
  bool seed_given = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view a = args[i];
    if (options_end || is_operand(a)) {
      if (have_dir) throw UsageError("more than one directory given: \"" + std::string(a) + "\"");
      o.dir = std::string(a);
      have_dir = true;
    } else if (a == "--") {
      options_end = true;
    } else {
      seed_given = seed_given || split_option(a).name == "--seed";
      if (apply_option(args, i, o)) import_setting = true;
    }
  }
  if (import_setting && !o.importing())
    throw UsageError("--sep, --dec, --analysis, --axes, --force, --sup-rows and --sup-cols go with --import");
  if (seed_given && o.axes_test == 0) throw UsageError("--seed goes with --axes-test");
  if (o.separator == o.decimal)
    throw UsageError("the separator and the decimal mark must differ");
  return o;
}

}  // namespace orthaxis::driver
