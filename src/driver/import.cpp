#include "driver/import.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <span>

#include "analysis/missing.h"
#include "driver/import_stream.h"
#include "driver/run.h"
#include "driver/threads.h"
#include "driver/supplementary_import.h"
#include "input/data_matrix.h"
#include "export/csv.h"
#include "export/svg.h"
#include "input/supplementary_files.h"
#include "results/eigen_report.h"
#include "textio/output_file.h"
#include "textio/units.h"

namespace orthaxis::driver {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kChunk = 1 << 16;  // bytes handed to the sink at a time

// Files a run in the directory writes or reads; the table must not be one of them.
constexpr const char* kRunFiles[] = {kSetupFile,
                                     kImportData,
                                     kImportObjectScores,
                                     kImportVariableScores,
                                     kImportVariableLabels,
                                     kImportObjectLabels,
                                     kImportMatrix,
                                     kScratchFile,
                                     kSuccessFile,
                                     results::kEigenvalueFile,
                                     results::kEigenvectorFile,
                                     input::kTransposedName,
                                     input::kSupplementaryObjectsFile,
                                     input::kSupplementaryVariablesFile,
                                     input::kQualitativeFile};
// ... and those of --csv and --svg, when asked for.
constexpr const char* kTableFiles[] = {csv::kEigenvalueTable, csv::kObjectTable,
                                       csv::kVariableTable};
constexpr const char* kPictureFiles[] = {svg::kBiplotFile, svg::kScreeFile};

// A name on one line of a label file or the title: line ends and other
// control characters become blanks.
std::string one_line(std::string_view text) {
  std::string s(text);
  for (char& c : s)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  return s;
}

std::string read_whole(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr)
    throw textio::IoError(std::strerror(errno), "OPEN", textio::units::kImportTable, path);
  std::string text;
  char buf[kChunk];
  std::size_t got;
  while ((got = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, got);
  const bool failed = std::ferror(f) != 0;
  const int error = errno;
  std::fclose(f);
  if (failed)
    throw textio::IoError(std::strerror(error), "READ", textio::units::kImportTable, path);
  return text;
}

void write_text(const fs::path& path, std::string_view text) {
  if (text.empty()) return;
  textio::OutputFile f(textio::units::kSupplementaryInput, path.string());
  f.write_records(text);
  f.close();
}

void write_labels(int unit, const fs::path& path, const std::vector<std::string>& names) {
  textio::OutputFile f(unit, path.string());
  f.write(std::to_string(names.size()));
  for (const auto& name : names) f.write(one_line(name));
  f.close();
}

// The directory may receive the files: it is a directory or can be made
// one, it holds no setup file (unless forced), and the table is not one of
// the files a run there writes.
void check_directory(const fs::path& dir, const Options& options) {
  const std::string shown = options.dir.empty() ? "the current directory" : "\"" + options.dir + "\"";
  std::error_code ec;
  const auto status = fs::status(dir, ec);
  if (fs::exists(status) && !fs::is_directory(status))
    throw SetupError(shown + " is not a directory");
  if (!fs::exists(status)) return;
  if (!options.force && fs::exists(dir / kSetupFile, ec))
    throw SetupError(shown + " already holds a setup file " + kSetupFile +
                     " (--force replaces it)");
  auto refuse_same = [&](std::span<const char* const> names) {
    for (const char* name : names) {
      if (fs::exists(dir / name, ec) && fs::equivalent(options.import_file, dir / name, ec))
        throw SetupError("the table \"" + options.import_file + "\" is the file " + name +
                         " of " + shown + ", which the import or the run would overwrite");
    }
  };
  refuse_same(kRunFiles);
  if (options.csv) refuse_same(kTableFiles);
  if (options.svg) refuse_same(kPictureFiles);
}

}  // namespace

std::int64_t check_for_analysis(const input::CsvTable& table, ImportAnalysis analysis) {
  const bool coa = analysis == ImportAnalysis::kCorrespondence;
  std::int64_t missing = 0;
  for (std::int64_t i = 0; i < table.rows(); ++i) {
    for (std::int64_t j = 0; j < table.columns(); ++j) {
      const float v = table.at(i, j);
      auto refuse = [&](const std::string& reason) {
        throw input::CsvError(reason, table.lines[static_cast<std::size_t>(i)], table.field_of(j),
                              table.variables[static_cast<std::size_t>(j)]);
      };
      if (analysis::missing_cell(v)) {
        if (coa) refuse(active_value_refusal(v, coa));
        ++missing;
      } else if (v < 0.0f) {
        refuse(active_value_refusal(v, coa));
      }
    }
  }
  return missing;
}

namespace {

Setup setup_for_counts(std::int64_t rows, std::int64_t columns, bool object_names,
                       const Options& options) {
  // The counts fit: import_table refuses larger tables before this.
  auto count = [](std::int64_t n) { return static_cast<std::int32_t>(n); };
  Setup s;
  RunValues& v = s.values;
  v.rows = count(rows);
  v.columns = count(columns);
  v.analysis_type = static_cast<std::int32_t>(options.analysis);
  v.matrix_option = 0;
  v.components = count(std::min<std::int64_t>(options.axes, columns));
  v.coa_scaling = options.analysis == ImportAnalysis::kCorrespondence ? 1 : 0;
  v.object_labels = object_names ? 1 : 0;
  v.variable_labels = 1;
  v.printout = 0;
  v.variable_score_option = 0;
  v.object_score_norm = options.analysis == ImportAnalysis::kCrossProducts ? 0 : 1;
  v.orientation = 1;
  s.names = {kImportData,          kImportObjectScores, kImportVariableScores,
             kImportVariableLabels, kImportObjectLabels, kImportMatrix};
  return s;
}

}  // namespace

Setup setup_for_table(const input::CsvTable& table, const Options& options) {
  return setup_for_counts(table.rows(), table.columns(), table.has_object_names(), options);
}

std::string import_setup(const input::CsvTable& table, const Options& options) {
  return setup_text(setup_for_table(table, options));
}

namespace {
// The data file's rows of values, in pieces of whole lines after `out`.
void import_rows(const input::CsvTable& table, std::string out,
                 const std::function<void(std::string_view)>& sink) {
  for (std::int64_t i = 0; i < table.rows(); ++i) {
    for (std::int64_t j = 0; j < table.columns(); ++j) {
      if (j > 0) out += ' ';
      const float v = table.at(i, j);
      out += input::shortest_float(analysis::data_value(v));
    }
    out += '\n';
    if (out.size() >= kChunk) {
      sink(out);
      out.clear();
    }
  }
  sink(out);
}
}  // namespace

void import_data(const input::CsvTable& table, const std::string& title,
                 const std::function<void(std::string_view)>& sink) {
  import_rows(table,
              one_line(title) + "\n" + std::to_string(table.rows()) + " " +
                  std::to_string(table.columns()) + "\n",
              sink);
}

namespace {

// What both readings give the writing of the files.
struct ImportedFiles {
  std::int64_t rows = 0, columns = 0;
  bool object_names = false;
  const std::vector<std::string>* variables = nullptr;
  const std::vector<std::string>* objects = nullptr;
  const input::SupplementaryData* supplementary = nullptr;
  std::function<void(const std::function<void(std::string_view)>&)> rows_to;
};

void check_counts(const std::string& file, std::int64_t rows, std::int64_t columns) {
  constexpr auto kMaxCount = std::numeric_limits<std::int32_t>::max();
  if (rows > kMaxCount || columns > kMaxCount)
    throw SetupError(file + ": more than " + std::to_string(kMaxCount) + " rows or columns");
}

void write_files(const fs::path& dir, const Options& options, const ImportedFiles& t,
                 const std::function<void()>& before_writing) {
  const std::string& file = options.import_file;
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec) throw SetupError("cannot create directory \"" + options.dir + "\": " + ec.message());
  if (before_writing) before_writing();
  // The marker of an earlier run goes before anything is written: from here
  // on the directory holds no marker until a run of the new files ends
  // normally. Each file below is renamed into place once complete.
  fs::remove(dir / kSuccessFile, ec);
  if (ec)
    throw textio::IoError(ec.message(), "OPEN", textio::units::kSuccess,
                          (dir / kSuccessFile).string());
  // The supplementary files of an earlier import would be taken for this one's.
  for (const char* name : input::kSupplementaryFiles) {
    fs::remove(dir / name, ec);
    if (ec) throw SetupError("cannot remove \"" + (dir / name).string() + "\": " + ec.message());
  }
  {
    textio::OutputFile data(textio::units::kData, (dir / kImportData).string());
    const std::string title = fs::path(file).filename().string() + ": " +
                              std::to_string(t.rows) + " objects, " +
                              std::to_string(t.columns) + " variables";
    data.write_records(one_line(title) + "\n" + std::to_string(t.rows) + " " +
                       std::to_string(t.columns) + "\n");
    t.rows_to([&](std::string_view piece) { data.write_records(piece); });
    data.close();
  }
  write_labels(textio::units::kVariableLabels, dir / kImportVariableLabels, *t.variables);
  if (t.object_names)
    write_labels(textio::units::kObjectLabels, dir / kImportObjectLabels, *t.objects);
  // The active objects' labels, for the files of supplementary variables
  // and qualitative columns only.
  std::vector<std::string> labels;
  if (!t.supplementary->variable_names.empty() || !t.supplementary->qualitative.empty())
    for (const std::string& name : *t.objects) labels.push_back(one_line(name));
  const input::SupplementaryTexts s = input::supplementary_texts(*t.supplementary, labels, *t.variables);
  write_text(dir / input::kSupplementaryObjectsFile, s.objects);
  write_text(dir / input::kSupplementaryVariablesFile, s.variables);
  write_text(dir / input::kQualitativeFile, s.qualitative);
  // The setup file comes last: a directory with a setup file has its data.
  write_setup((dir / kSetupFile).string(),
              setup_for_counts(t.rows, t.columns, t.object_names, options));
}

// The threads of the import: those of the run; a setting the run refuses
// is left for the run to refuse, and the import takes one thread.
std::size_t import_threads(const Options& options) {
  try {
    return thread_count(options.threads);
  } catch (const std::exception&) {
    return 1;
  }
}

}  // namespace

ImportSummary import_table(const Options& options, const std::function<void()>& before_writing) {
  const fs::path dir = options.dir.empty() ? fs::path(".") : fs::path(options.dir);
  check_directory(dir, options);
  const std::string& file = options.import_file;
  ImportSummary summary;
  ImportedFiles files;
  std::error_code regular_ec;
  // A pipe or a device cannot be read twice: such a table is read whole.
  if (import_tuning().whole_table || !fs::is_regular_file(file, regular_ec)) {
    // The whole table in memory, read by input::parse_csv.
    input::CsvTable table;
    SplitTable split;
    try {
      split = split_table(input::parse_csv(read_whole(file), {options.separator, options.decimal, true}),
                          options, file);
      table = std::move(split.active);
      summary.missing = check_for_analysis(table, options.analysis);
    } catch (const input::CsvError& e) {
      throw SetupError(e.message(file));
    }
    check_counts(file, table.rows(), table.columns());
    summary.objects = table.rows();
    summary.variables = table.columns();
    summary.object_names = table.has_object_names();
    summary.supplementary_objects = split.supplementary.object_count();
    summary.supplementary_variables = split.supplementary.variable_count();
    summary.qualitative = static_cast<std::int64_t>(split.supplementary.qualitative.size());
    summary.notices = std::move(split.notices);
    files = {table.rows(), table.columns(), table.has_object_names(), &table.variables,
             &table.objects, &split.supplementary,
             [&](const std::function<void(std::string_view)>& sink) {
               import_rows(table, {}, sink);  // write_files writes the heading
             }};
    write_files(dir, options, files, before_writing);
    return summary;
  }
  const StreamedImport table(options, file, import_threads(options));
  check_counts(file, table.rows(), table.columns());
  summary.objects = table.rows();
  summary.variables = table.columns();
  summary.missing = table.missing();
  summary.object_names = table.object_names();
  summary.supplementary_objects = table.supplementary().object_count();
  summary.supplementary_variables = table.supplementary().variable_count();
  summary.qualitative = static_cast<std::int64_t>(table.supplementary().qualitative.size());
  summary.notices = table.notices();
  files = {table.rows(), table.columns(), table.object_names(), &table.variables(),
           &table.objects(), &table.supplementary(),
           [&](const std::function<void(std::string_view)>& sink) { table.write_rows(sink); }};
  write_files(dir, options, files, before_writing);
  return summary;
}

std::string import_failure(const textio::IoError& e) {
  const char* what = e.unit() == textio::units::kImportTable ? "cannot read \"" : "cannot write \"";
  return what + e.file() + "\": " + e.reason();
}

}  // namespace orthaxis::driver
