#include "driver/run.h"

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "analysis/lapack_engine.h"
#include "analysis/worker_pool.h"
#include "driver/analysis_phase.h"
#include "driver/axes_phase.h"
#include "driver/check.h"
#include "driver/data_phase.h"
#include "driver/eigen_engines.h"
#include "driver/extras.h"
#include "driver/outputs_manifest.h"
#include "driver/summary.h"
#include "results/eigen_report.h"
#include "export/charts.h"
#include "export/html.h"
#include "textio/output_file.h"
#include "driver/plan.h"
#include "driver/run_context.h"
#include "driver/run_files.h"
#include "driver/setup.h"
#include "driver/supplementary_phase.h"
#include "driver/threads.h"
#include "textio/units.h"
#include "driver/warnings.h"
#include "export/csv.h"
#include "export/svg.h"
#include "input/data_matrix.h"
#include "input/labels.h"
#include "input/run_report.h"
#include "input/scratch_file.h"
#include "textio/free_format.h"
#include "textio/io_error.h"
#include "textio/messages.h"
#include "textio/printer.h"
#include "textio/record_file.h"

namespace orthaxis::driver {

namespace {

using textio::RecordFile;
using Open = RecordFile::Open;

constexpr std::string_view kBanner[] = {
    "***  KEL-VOX PROGRAM ORTHAXIS - ver. Oct  00 ***",
    "***          PRINCIPAL COMPONENT             ***",
    "***      AND CORRESPONDENCE ANALYSIS         ***",
};

// What a quiet console still shows after the banner: warnings, abnormal ends
// and the stop line.
bool quiet_keeps(std::string_view record) {
  return record.find("WARNING") != std::string_view::npos ||
         record.find("ABNORMAL TERMINATION") != std::string_view::npos ||
         record.starts_with(" STOP");
}

class Run {
 public:
  Run(textio::Console& console, const Options& options, textio::Messages& messages,
      const textio::Directory& dir)
      : console_(console),
        options_(options),
        dir_(dir),
        pool_(thread_count(options.threads)),
        messages_(messages),
        print_(files_.setup, console) {}

  // The road of a run, in its fixed order.
  void execute() {
    banner();
    accept_setup();
    if (plan_.lapack()) analysis::load_lapack();
    open_named_files();
    files_.setup.rewind();  // from here on unit 9 is the report
    const DataShape shape = settle_data();
    WorkStorage storage = allocate_work(shape.n, shape.p, v_.components, label_count(shape),
                                        work_side(plan_, shape.n, shape.p));
    const RunLabels labels = read_labels(shape);
    report_parameters(shape);
    console_.flush();  // each long phase begins with the console shown up to date
    const RunContext run = context();
    DataSummary data = data_pass(run, files_, shape, std::move(storage));
    if (plan_.person) data_findings(data, labels);
    std::int64_t missing = plan_.correspondence() ? -1 : 0;
    for (std::int64_t m : data.missing) missing += m;
    files_.data.rewind();
    input::read_heading(files_.data);
    files_.scratch->rewind();
    Resemblance r = plan_.correspondence()
                        ? correspondence_matrix(run, files_, shape, std::move(data))
                        : resemblance_matrix(run, files_, shape, std::move(data), labels);
    console_.flush();
    note_slow_jacobi(run, shape.p);
    Eigenanalysis e = eigenanalysis(run, files_, shape, r);
    console_.flush();
    const Scores scores = plan_.correspondence()
                              ? correspondence_scores(run, files_, r, e, labels)
                              : principal_component_scores(run, files_, shape, r, e, labels);
    const SupplementaryRun supplementary = place_supplementary(run, files_, shape, r, e, scores);
    Extras extras = write_extras(
        run, files_, {r, e.eigen, scores, labels, &supplementary, shape.title, missing});
    page_ = std::move(extras.page);
    written_ = std::move(extras.written);
    if (plan_.summary) show_summary(shape, missing, r, e.eigen, scores, labels);
    messages_.clear_progress();
    normal_end();
  }

  // An analysis stop keeps T.TMP and creates no marker, but the report and
  // every other file still receive all they were given: a failure to write
  // or close one of them ends the run as an input/output error instead.
  void stopped_end() {
    files_.close();
    if (files_.scratch) files_.scratch->close();
  }

 private:
  RunContext context() {
    return {plan_, names_, dir_, console_, print_, messages_, pool_};
  }

  // The banner; then a quiet console keeps only what quiet_keeps lets through.
  void banner() {
    if (shows_summary(options_)) console_.keep_only(quiet_keeps);
    for (auto line : kBanner) console_.write(textio::free_format_record({line}));
    console_.write(textio::free_format_record({}));
    if (options_.quiet) console_.keep_only(quiet_keeps);
  }

  // Reads the setup and checks its values and names. Nothing is created,
  // emptied or deleted before the setup is accepted; then the old marker
  // goes. A setup that fails here removes it too, unless it names a file to
  // be read (data or labels) SUCCES.ST$: that file holds data, not a marker,
  // and a refused setup leaves it as it is.
  void accept_setup() {
    try {
      read_setup();
      plan_ = plan_run(v_, options_);
      check_distinct(files_of_run(plan_, names_, dir_));
      check_extra_file_names();
    } catch (...) {
      if (!reads_the_marker()) {
        std::error_code ignored;  // the run fails for its own reason
        std::filesystem::remove(dir_.path(kSuccessFile), ignored);
      }
      throw;
    }
    // A failed run must not leave the marker of an earlier run behind.
    std::error_code ec;
    std::filesystem::remove(dir_.path(kSuccessFile), ec);
    if (ec) throw textio::IoError(ec.message(), "OPEN", textio::units::kSuccess, kSuccessFile);
    // A person's run: the tables and pictures of an earlier one go too
    // (unless the setup names them); this run writes its own. The front
    // end's run leaves them, as it leaves every file it does not write.
    if (plan_.person) remove_earlier_outputs(dir_, [this](const std::string& path) {
      return names_the(path);
    });
  }

  bool names_the(const std::string& path) const {
    for (const std::string* field : names_.fields()) {
      const std::string name = name_of(*field);
      if (!name.empty() && same_file(dir_.path(name), path)) return true;
    }
    return false;
  }

  void read_setup() {
    files_.setup = RecordFile(textio::units::kSetup, dir_, kSetupFile, Open::kExisting);
    v_ = read_run_values(files_.setup);
    try {
      validate(v_);
    } catch (const SetupError&) {
      // The names as far as they are present, for the marker's sake only.
      try {
        read_file_names(files_.setup, names_);
      } catch (const textio::IoError&) {
      }
      throw;
    }
    read_file_names(files_.setup, names_);
  }

  bool reads_the_marker() const {
    for (const std::string* read : {&names_.data, &names_.variable_labels, &names_.object_labels}) {
      const std::string name = name_of(*read);
      if (!name.empty() && same_file(dir_.path(name), dir_.path(kSuccessFile))) return true;
    }
    return false;
  }

  // The tables and pictures must not replace a file that the setup names.
  void check_extra_file_names() const {
    std::vector<const std::string*> used = {&names_.data, &names_.object_scores,
                                            &names_.variable_scores};
    if (plan_.variable_labels) used.push_back(&names_.variable_labels);
    if (plan_.object_labels) used.push_back(&names_.object_labels);
    if (plan_.matrix != MatrixFile::kNone) used.push_back(&names_.matrix);
    for (const ExtraFile& e : extra_files(plan_)) {
      for (const std::string* field : used) {
        const std::string name = name_of(*field);
        if (!name.empty() && same_file(dir_.path(name), dir_.path(e.name)))
          throw SetupError("the setup names \"" + name + "\", which " + e.option +
                           " would replace");
      }
    }
  }

  void open_named_files() {
    files_.data = RecordFile(textio::units::kData, dir_, name_of(names_.data), Open::kExisting);
    files_.variable_scores =
        RecordFile(textio::units::kVariableScores, dir_, name_of(names_.variable_scores), Open::kReplace);
  }

  // The title, the optional transposition, the matrix and scratch files, and
  // the data file's heading: n and p are settled.
  DataShape settle_data() {
    DataShape shape;
    shape.setup_rows = v_.rows;
    shape.setup_columns = v_.columns;
    shape.title = textio::read_text(files_.data, input::kTitleLength);
    files_.data.rewind();
    input::Shape s{v_.rows, v_.columns};
    if (plan_.transpose) {
      s = input::transpose(files_.data, s, dir_, console_,
                           plan_.person ? &shape.findings : nullptr);
      warn_heading_counts(messages_, name_of(names_.data), false, {s.variables, true, s.objects},
                          v_.rows, v_.columns);
    }
    shape.n = s.objects;
    shape.p = s.variables;
    if (plan_.matrix != MatrixFile::kNone)
      files_.matrix = RecordFile(textio::units::kMatrix, dir_, name_of(names_.matrix), Open::kReplace);
    files_.scratch = std::make_unique<input::ScratchFile>(kScratchFile, dir_);
    if (plan_.person && !plan_.transpose) {
      input::HeadingCounts counts;
      input::read_heading(files_.data, &counts);
      warn_heading_counts(messages_, name_of(names_.data), true, counts, v_.rows, v_.columns);
    } else {
      input::read_heading(files_.data);
    }
    return shape;
  }

  std::size_t label_count(const DataShape& shape) const {
    return (plan_.object_labels ? static_cast<std::size_t>(shape.n) : 0) +
           (plan_.variable_labels ? static_cast<std::size_t>(shape.p) : 0);
  }

  RunLabels read_labels(const DataShape& shape) {
    RunLabels labels;
    input::CutLabels cut;
    input::CutLabels* gather = plan_.person ? &cut : nullptr;
    // The tables and pictures show the labels whole.
    const bool whole = plan_.whole_labels();
    if (plan_.variable_labels) {
      RecordFile file(textio::units::kVariableLabels, dir_, name_of(names_.variable_labels), Open::kExisting);
      labels.variables = input::read_labels(file, shape.p, gather,
                                            whole ? &labels.variable_lines : nullptr);
      warn_cut_labels(messages_, name_of(names_.variable_labels), cut);
    }
    cut = {};
    if (plan_.object_labels) {
      RecordFile file(textio::units::kObjectLabels, dir_, name_of(names_.object_labels), Open::kExisting);
      labels.objects = input::read_labels(file, shape.n, gather,
                                          whole ? &labels.object_lines : nullptr);
      warn_cut_labels(messages_, name_of(names_.object_labels), cut);
    }
    return labels;
  }

  void report_parameters(const DataShape& shape) {
    RunValues v = v_;
    apply_type_rules(v);
    const ParameterTexts t = parameter_texts(v);
    input::RunReport r;
    r.correspondence = plan_.correspondence();
    r.matrix_file_line = plan_.matrix != MatrixFile::kNone;
    r.object_label_line = plan_.object_labels;
    r.variable_label_line = plan_.variable_labels;
    r.rows = shape.setup_rows;
    r.columns = shape.setup_columns;
    r.components = v.components;
    r.analysis_text = t.analysis;
    r.object_labels_text = t.object_labels;
    r.variable_labels_text = t.variable_labels;
    r.coa_text = t.coa;
    r.matrix_text = t.matrix;
    r.printout_text = t.printout;
    r.variable_scores_text = t.variable_scores;
    r.object_scores_text = t.object_scores;
    r.title = shape.title;
    r.data_file = names_.data;
    r.object_score_file = names_.object_scores;
    r.variable_score_file = names_.variable_scores;
    r.matrix_file = names_.matrix;
    r.object_label_file = names_.object_labels;
    r.variable_label_file = names_.variable_labels;
    input::print_run_report(print_, r);
  }

  // What the data pass found, told to a person before the analysis goes on.
  void data_findings(DataSummary& d, const RunLabels& labels) {
    messages_.clear_progress();
    if (!plan_.transpose)
      d.findings.values_after_last_row = input::count_remaining_values(files_.data);
    warn_values_left(messages_, name_of(names_.data), d.findings);
    warn_missing(messages_, d.missing, VariableNames{labels.variables});
  }

  // The summary in place of the console (the console keeps only warnings,
  // abnormal ends and the stop line).
  void show_summary(const DataShape& shape, std::int64_t missing, const Resemblance& r,
                    const results::Eigensystem& eigen, const Scores& scores,
                    const RunLabels& labels) {
    std::span<const float> object_mass, variable_mass;
    if (plan_.correspondence()) {
      object_mass = r.table.row_totals;
      variable_mass = r.table.column_totals;
    }
    const results::ScoreMatrix object_ctr = csv::contributions(scores.objects, object_mass);
    const results::ScoreMatrix variable_ctr = csv::contributions(scores.variables, variable_mass);
    SummaryInput s{name_of(names_.data), shape.title, plan_.type, shape.n, shape.p,
                   missing, eigen, object_ctr,
                   variable_ctr,
                   labels.object_lines.empty() ? std::span<const std::string>(labels.objects)
                                               : std::span<const std::string>(labels.object_lines),
                   labels.variable_lines.empty() ? std::span<const std::string>(labels.variables)
                                                 : std::span<const std::string>(labels.variable_lines),
                   messages_.warnings_given(), {}};
    s.files = {kSetupFile};
    for (const std::string* f : {&names_.object_scores, &names_.variable_scores})
      if (!name_of(*f).empty()) s.files.push_back(name_of(*f));
    if (plan_.matrix == MatrixFile::kWritten) s.files.push_back(name_of(names_.matrix));
    s.files.push_back(results::kEigenvalueFile);
    s.files.push_back(results::kEigenvectorFile);
    for (const std::string& f : written_) s.files.push_back(f);
    s.files.push_back(kSuccessFile);
    console_.keep_only(nullptr);
    for (const std::string& line : summary_lines(s)) console_.write(line);
    console_.keep_only(quiet_keeps);
  }

  // report.html, with the text of the report as it now stands on disk.
  void write_page() {
    std::ifstream in(dir_.path(kSetupFile), std::ios::binary);
    std::ostringstream report;
    report << in.rdbuf();
    textio::OutputFile page(textio::units::kReportPage, dir_, html::kReportFile);
    page.write_records(html::assemble(*page_, report.str(), kSetupFile));
    page.close();
  }

  void normal_end() {
    // Everything is on disk before the marker tells the front end so.
    files_.close();
    files_.scratch->close_and_delete();
    if (page_) write_page();
    // The record of the tables, pictures and page, once they are all on disk.
    if (plan_.person) write_outputs_manifest(dir_, written_);
    RecordFile marker(textio::units::kSuccess, dir_, kSuccessFile, Open::kReplace);
    marker.close();
  }

  std::optional<html::Parts> page_;
  std::vector<std::string> written_;  // the tables, pictures and page of a person's run
  textio::Console& console_;
  const Options& options_;
  const textio::Directory& dir_;
  analysis::WorkerPool pool_;
  textio::Messages& messages_;
  RunFiles files_;
  textio::Printer print_;  // the report (files_.setup) and the console
  RunValues v_;
  FileNames names_;
  RunPlan plan_;
};

}  // namespace

void run(textio::Console& console, const Options& options, const textio::Directory& dir) {
  // Standard error speaks to a person only: warnings when any argument was
  // given; the progress line only when not asked for quiet, on a terminal
  // that the console does not write to (its lines would run into the
  // progress line: the console's last line stays open until the next one).
  const bool progress = options.for_person && !options.quiet && textio::is_terminal(stderr) &&
                        !textio::is_terminal(stdout);
  textio::Messages messages(stderr, options.for_person, progress);
  if (options.check) {
    thread_count(options.threads);  // a thread setting the run would refuse is refused here
    check(console, options, messages, dir);
    return;
  }
  Run run(console, options, messages, dir);
  try {
    run.execute();
  } catch (const AnalysisStop&) {
    run.stopped_end();
    throw;
  } catch (const std::bad_alloc&) {
    // Allocations outside the up-front check: the transposition before it;
    // the labels, the data pass and the eigenanalysis after it.
    throw AllocationError("not enough memory to go on with the run");
  } catch (const std::length_error&) {
    throw AllocationError("an array of the run is too large for this machine");
  }
}

}  // namespace orthaxis::driver
