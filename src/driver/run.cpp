#include "driver/run.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <filesystem>
#include <initializer_list>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "analysis/analysis_type.h"
#include "analysis/jacobi.h"
#include "analysis/matrix_file.h"
#include "analysis/packed.h"
#include "analysis/statistics.h"
#include "analysis/worker_pool.h"
#include "coa/correspondence_analysis.h"
#include "driver/check.h"
#include "driver/eigen_progress.h"
#include "driver/run_files.h"
#include "driver/setup.h"
#include "driver/warnings.h"
#include "export/csv.h"
#include "export/svg.h"
#include "driver/threads.h"
#include "input/data_matrix.h"
#include "input/labels.h"
#include "input/row_reader.h"
#include "input/run_report.h"
#include "input/scratch_file.h"
#include "results/eigen_report.h"
#include "results/eigensystem.h"
#include "results/quality.h"
#include "results/score_matrix.h"
#include "results/scores.h"
#include "textio/format.h"
#include "textio/free_format.h"
#include "textio/io_error.h"
#include "textio/messages.h"
#include "textio/printer.h"
#include "textio/record_file.h"

namespace orthaxis::driver {

namespace {

using analysis::AnalysisType;
using textio::RecordFile;
using Open = RecordFile::Open;

constexpr int kSetupUnit = 9;
constexpr int kDataUnit = 1;
constexpr int kVariableScoreUnit = 10;
constexpr int kMatrixUnit = 7;
constexpr int kVariableLabelUnit = 5;
constexpr int kObjectLabelUnit = 2;
constexpr int kObjectScoreUnit = 4;
constexpr int kSuccessUnit = 15;

constexpr std::string_view kBanner[] = {
    "***  KEL-VOX PROGRAM ORTHAXIS - ver. Oct  00 ***",
    "***          PRINCIPAL COMPONENT             ***",
    "***      AND CORRESPONDENCE ANALYSIS         ***",
};

const textio::Format kNoConvergence{
    "(//3X,'ABNORMAL TERMINATION. EIGENANALYSIS DOES NOT CONVERGE'//)"};

// File names are 100-character fields; the name is the field without its
// trailing blanks.
std::string name_of(const std::string& field) { return std::string(textio::trim_right(field)); }

// What a quiet console still shows after the banner: warnings, abnormal ends
// and the stop line.
bool quiet_keeps(std::string_view record) {
  return record.find("WARNING") != std::string_view::npos ||
         record.find("ABNORMAL TERMINATION") != std::string_view::npos ||
         record.starts_with(" STOP");
}

// A rate with one decimal.
std::string one_decimal(double value) {
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 1);
  return std::string(buf, r.ptr);
}

// Every work array of the run, allocated once when n and p are settled.
struct WorkArrays {
  std::vector<float> column_sums;     // p: variable sums, then means; CoA column totals
  std::vector<float> row;             // p: the current object's values
  std::vector<float> eigenvalues;     // p
  std::vector<float> sd;              // p
  std::vector<float> row_totals;      // n: CoA row totals; PCA centred sums of squares
  std::vector<float> spare;           // p: eigenvalue report work, component means
  std::vector<float> share;           // p: shares of one object or variable
  std::vector<float> object_ssq;      // n
  std::vector<float> work;            // W: packed matrix, later the object scores
  std::vector<float> eigenvectors;    // p * p, later the variable scores
  std::vector<float> pair_count;      // packed length
  std::vector<float> variable_count;  // p
  std::vector<float> sx, sy, qx, qy;  // packed length
  std::vector<std::string> object_labels, variable_labels;
};

std::size_t checked_product(std::size_t a, std::size_t b) {
  std::size_t r = 0;
  if (__builtin_mul_overflow(a, b, &r)) throw AllocationError("work arrays too large for this machine");
  return r;
}

std::size_t checked_sum(std::initializer_list<std::size_t> terms) {
  std::size_t r = 0;
  for (std::size_t t : terms)
    if (__builtin_add_overflow(r, t, &r))
      throw AllocationError("work arrays too large for this machine");
  return r;
}

// label_count: the labels that the run will read (objects and variables).
void allocate(WorkArrays& w, std::int32_t n32, std::int32_t p32, std::int32_t q32,
              std::size_t label_count) {
  const std::size_t n = static_cast<std::size_t>(n32);
  const std::size_t p = static_cast<std::size_t>(p32);
  const std::size_t q = static_cast<std::size_t>(q32);
  const std::size_t packed = analysis::packed_length(p);
  // The scores use at most p axes: q is lowered to the number of positive
  // eigenvalues before them.
  const std::size_t axes = std::min(q, p);
  const std::size_t work = checked_sum({std::max(checked_product(axes, n), packed), p});
  const std::size_t square = checked_product(p, p);
  const std::size_t floats =
      checked_sum({work, square, checked_product(5, packed), checked_product(8, p),
                   checked_product(3, n)});
  // Everything large that the run holds at one time, for a clear message
  // before anything is touched: the work arrays, the labels, and the
  // eigenanalysis' own copies, which come while the work arrays live.
  const std::size_t bytes =
      checked_sum({checked_product(floats, sizeof(float)),
                   checked_product(label_count, sizeof(std::string)),
                   analysis::jacobi_workspace_bytes(p32)});
  if (bytes > static_cast<std::size_t>(std::numeric_limits<std::ptrdiff_t>::max()))
    throw AllocationError("work arrays too large for this machine");
  try {
    for (auto* v : {&w.column_sums, &w.row, &w.eigenvalues, &w.sd, &w.spare, &w.share,
                    &w.variable_count})
      v->assign(p, 0.0f);
    w.row_totals.assign(n, 0.0f);
    w.object_ssq.assign(n, 0.0f);
    w.work.assign(work, 0.0f);
    w.eigenvectors.assign(square, 0.0f);
    for (auto* v : {&w.pair_count, &w.sx, &w.sy, &w.qx, &w.qy}) v->assign(packed, 0.0f);
  } catch (const std::bad_alloc&) {
    throw AllocationError("not enough memory for the work arrays (the run needs " +
                          std::to_string(bytes) + " bytes for n = " + std::to_string(n) +
                          ", p = " + std::to_string(p) + ", q = " + std::to_string(q) + ")");
  } catch (const std::length_error&) {
    throw AllocationError("work arrays too large for this machine");
  }
}

class Run {
 public:
  Run(textio::Console& console, const Options& options, textio::Messages& messages)
      : console_(console),
        options_(options),
        pool_(thread_count(options.threads)),
        messages_(messages),
        print_(setup_, console) {}

  void execute() {
    banner();
    if (options_.quiet) console_.keep_only(quiet_keeps);
    accept_setup();
    open_named_files();
    setup_.rewind();  // from here on unit 9 is the report
    const std::int32_t setup_rows = v_.rows;
    const std::int32_t setup_columns = v_.columns;
    title_ = textio::read_text(data_, input::kTitleLength);
    data_.rewind();
    n_ = v_.rows;
    p_ = v_.columns;
    if (v_.orientation != 1) {
      input::transpose(data_, n_, p_, console_, person() ? &findings_ : nullptr);
      warn_heading_counts(messages_, name_of(names_.data), false, {p_, true, n_}, setup_rows,
                          setup_columns);
    }
    if (v_.matrix_option != 0 && type_ != AnalysisType::kCorrespondence)
      matrix_ = RecordFile(kMatrixUnit, name_of(names_.matrix), Open::kReplace);
    scratch_ = std::make_unique<input::ScratchFile>(kScratchFile);
    if (person() && v_.orientation == 1) {
      input::HeadingCounts counts;
      input::read_heading(data_, &counts);
      warn_heading_counts(messages_, name_of(names_.data), true, counts, setup_rows,
                          setup_columns);
    } else {
      input::read_heading(data_);
    }
    allocate(w_, n_, p_, v_.components,
             (v_.object_labels != 0 ? static_cast<std::size_t>(n_) : 0) +
                 (v_.variable_labels == 1 ? static_cast<std::size_t>(p_) : 0));
    read_labels();
    report_parameters(setup_rows, setup_columns);
    // Each long phase begins with the console shown up to date.
    console_.flush();
    data_pass();
    if (person()) data_findings();
    data_.rewind();
    input::read_heading(data_);
    scratch_->rewind();
    switch (type_) {
      case AnalysisType::kCrossProducts:
      case AnalysisType::kCovariances:
      case AnalysisType::kCorrelations:
        principal_components();
        break;
      case AnalysisType::kCorrespondence:
        correspondence_analysis();
        break;
    }
    if (options_.csv) write_tables();
    if (options_.svg) draw_pictures();
    messages_.clear_progress();
    normal_end();
  }

  // An analysis stop keeps T.TMP and creates no marker, but the report and
  // every other file still receive all they were given: a failure to write
  // or close one of them ends the run as an input/output error instead.
  void stopped_end() {
    close_files();
    if (scratch_) scratch_->close();
  }

 private:
  // A failed run must not leave the marker of an earlier run behind.
  void remove_old_marker() {
    std::error_code ec;
    std::filesystem::remove(kSuccessFile, ec);
    if (ec) throw textio::IoError(ec.message(), "OPEN", kSuccessUnit, kSuccessFile);
  }

  void banner() {
    for (auto line : kBanner) console_.write(textio::free_format_record({line}));
    console_.write(textio::free_format_record({}));
  }

  // Reads the setup and checks its values and names. Nothing is created,
  // emptied or deleted before the setup is accepted; then the old marker
  // goes. A setup that fails here removes it too, unless it names a file to
  // be read (data or labels) SUCCES.ST$: that file holds data, not a marker,
  // and a refused setup leaves it as it is.
  void accept_setup() {
    try {
      read_setup();
      type_ = analysis::analysis_type_of(v_.analysis_type);
      check_distinct(files_of_run(v_, names_));
      check_extra_file_names();
    } catch (...) {
      if (!reads_the_marker()) {
        std::error_code ignored;  // the run fails for its own reason
        std::filesystem::remove(kSuccessFile, ignored);
      }
      throw;
    }
    remove_old_marker();
  }

  void read_setup() {
    setup_ = RecordFile(kSetupUnit, kSetupFile, Open::kExisting);
    v_ = read_run_values(setup_);
    try {
      validate(v_);
    } catch (const SetupError&) {
      // The names as far as they are present, for the marker's sake only.
      try {
        read_names();
      } catch (const textio::IoError&) {
      }
      throw;
    }
    read_names();
  }

  void read_names() {
    for (std::string* name : {&names_.data, &names_.object_scores, &names_.variable_scores,
                              &names_.variable_labels, &names_.object_labels, &names_.matrix})
      *name = textio::read_text(setup_, kNameLength);
  }

  bool reads_the_marker() const {
    for (const std::string* read : {&names_.data, &names_.variable_labels, &names_.object_labels}) {
      const std::string name = name_of(*read);
      if (!name.empty() && same_file(name, kSuccessFile)) return true;
    }
    return false;
  }

  void open_named_files() {
    data_ = RecordFile(kDataUnit, name_of(names_.data), Open::kExisting);
    variable_score_file_ =
        RecordFile(kVariableScoreUnit, name_of(names_.variable_scores), Open::kReplace);
  }

  // The tables and pictures must not replace a file that the setup names.
  void check_extra_file_names() const {
    struct Extra {
      const char* name;
      const char* option;
    };
    std::vector<Extra> extra;
    if (options_.csv) {
      for (const char* name : {csv::kEigenvalueTable, csv::kObjectTable, csv::kVariableTable})
        extra.push_back({name, "--csv"});
    }
    if (options_.svg) {
      for (const char* name : {svg::kBiplotFile, svg::kScreeFile}) extra.push_back({name, "--svg"});
    }
    std::vector<const std::string*> used = {&names_.data, &names_.object_scores,
                                            &names_.variable_scores};
    if (v_.variable_labels == 1) used.push_back(&names_.variable_labels);
    if (v_.object_labels != 0) used.push_back(&names_.object_labels);
    if (v_.matrix_option != 0 && type_ != AnalysisType::kCorrespondence)
      used.push_back(&names_.matrix);
    for (const Extra& e : extra) {
      for (const std::string* field : used) {
        const std::string name = name_of(*field);
        if (!name.empty() && same_file(name, e.name))
          throw SetupError("the setup names \"" + name + "\", which " + e.option +
                           " would replace");
      }
    }
  }

  // Each long phase begins with the console shown up to date.
  void principal_components() {
    resemblance_matrix();
    if (options_.csv) keep_diagonal();
    console_.flush();
    eigenanalysis();
    if (options_.csv) quality_ = results::pca_quality(pca_model(), eigen_, diagonal_, q_, w_.row);
    console_.flush();
    object_scores();
    variable_scores();
  }

  void correspondence_analysis() {
    correspondence_matrix();
    console_.flush();
    eigenanalysis();
    if (options_.csv) {
      quality_ = results::coa_quality(*scratch_, n_, p_, table_.row_totals,
                                      table_.column_totals, eigen_, q_, w_.row);
    }
    console_.flush();
    correspondence_scores();
    console_.write(textio::free_format_record({}));
    console_.write(textio::free_format_record({"  JOB TERMINATED"}));
  }

  void read_labels() {
    input::CutLabels cut;
    input::CutLabels* gather = person() ? &cut : nullptr;
    // The tables and pictures show the labels whole.
    const bool whole = options_.csv || options_.svg;
    if (v_.variable_labels == 1) {
      w_.variable_labels =
          input::read_labels(kVariableLabelUnit, name_of(names_.variable_labels), p_, gather,
                             whole ? &variable_label_lines_ : nullptr);
      warn_cut_labels(messages_, name_of(names_.variable_labels), cut);
    }
    cut = {};
    if (v_.object_labels != 0) {
      w_.object_labels = input::read_labels(kObjectLabelUnit, name_of(names_.object_labels), n_,
                                            gather, whole ? &object_label_lines_ : nullptr);
      warn_cut_labels(messages_, name_of(names_.object_labels), cut);
    }
  }

  void report_parameters(std::int32_t rows, std::int32_t columns) {
    apply_type_rules(v_);
    const ParameterTexts t = parameter_texts(v_);
    input::RunReport r;
    r.analysis_type = v_.analysis_type;
    r.rows = rows;
    r.columns = columns;
    r.components = v_.components;
    r.matrix_option = v_.matrix_option;
    r.object_labels = v_.object_labels;
    r.variable_labels = v_.variable_labels;
    r.analysis_text = t.analysis;
    r.object_labels_text = t.object_labels;
    r.variable_labels_text = t.variable_labels;
    r.coa_text = t.coa;
    r.matrix_text = t.matrix;
    r.printout_text = t.printout;
    r.variable_scores_text = t.variable_scores;
    r.object_scores_text = t.object_scores;
    r.title = title_;
    r.data_file = names_.data;
    r.object_score_file = names_.object_scores;
    r.variable_score_file = names_.variable_scores;
    r.matrix_file = names_.matrix;
    r.object_label_file = names_.object_labels;
    r.variable_label_file = names_.variable_labels;
    input::print_run_report(print_, r);
  }

  analysis::PairSums pair_sums() {
    return {w_.work, w_.pair_count, w_.sx, w_.sy, w_.qx, w_.qy};
  }

  analysis::VariableSums variable_sums() {
    return {w_.column_sums, w_.variable_count, w_.object_ssq, w_.row_totals, 0.0f};
  }

  void data_pass() {
    const bool coa = type_ == AnalysisType::kCorrespondence;
    sums_ = variable_sums();
    analysis::start_variable_sums(sums_, n_);
    std::unique_ptr<analysis::PairAccumulator> pairs;
    // For PCA the accumulator adds the variable sums with the pairs.
    if (!coa) pairs = std::make_unique<analysis::PairAccumulator>(p_, n_, pair_sums(), &pool_, &sums_);
    const std::span<float> row(w_.row);
    input::RowReader rows(data_, row.size(), static_cast<std::size_t>(n_), &pool_);
    input::ScratchWriteBehind scratch(*scratch_, row.size(), &pool_);
    const bool person = this->person();
    if (person && !coa) missing_.assign(row.size(), 0);
    messages_.start_step();
    for (std::size_t i = 0; i < static_cast<std::size_t>(n_); ++i) {
      std::span<const float> x;
      try {
        const input::RowReader::Row r = rows.next(row);
        x = r.values;
        if (person) findings_.row_read(r.rest, rows.line());
      } catch (const textio::IoError& e) {
        scratch.settle();  // a scratch write that failed before this row comes first
        input::expect_row(e, static_cast<std::int64_t>(i + 1), n_, p_);
      }
      if (!missing_.empty())
        for (std::size_t j = 0; j < x.size(); ++j) missing_[j] += !analysis::present(x[j]);
      if ((i & 4095) == 0 && messages_.update_due()) show_reading(i, rows.bytes_read());
      scratch.write_row(x);
      if (coa) {
        if (first_negative_.object == 0) {
          for (std::size_t j = 0; j < x.size(); ++j) {
            if (x[j] < 0.0f) {
              first_negative_ = {static_cast<std::int64_t>(i + 1), static_cast<std::int64_t>(j + 1)};
              break;
            }
          }
        }
        analysis::add_variable_sums(sums_, i, x, coa);
      } else {
        pairs->add(x);
      }
    }
    scratch.settle();
    if (pairs) pairs->finish();
  }

  void show_reading(std::size_t objects_read, std::uint64_t bytes_read) {
    const double seconds = messages_.seconds();
    std::string line = "reading objects: " + std::to_string(objects_read) + " of " +
                       std::to_string(n_);
    if (seconds > 0.0)
      line += ", " + one_decimal(static_cast<double>(bytes_read) / 1e6 / seconds) +
              " MB/s";
    messages_.show(line);
  }

  // What the data pass found, told to a person before the analysis goes on.
  void data_findings() {
    messages_.clear_progress();
    if (v_.orientation == 1) findings_.values_after_last_row = input::count_remaining_values(data_);
    warn_values_left(messages_, name_of(names_.data), findings_);
    warn_missing(messages_, missing_, variable_names());
  }

  VariableNames variable_names() const {
    if (v_.variable_labels == 1) return {w_.variable_labels};
    return {};
  }

  analysis::Labels statistics_labels() const {
    return {v_.variable_labels == 1, w_.variable_labels};
  }

  void resemblance_matrix() {
    stats_ = analysis::Statistics{w_.column_sums, w_.sd, w_.variable_count, 0.0f, false};
    analysis::finish_statistics(type_, p_, pair_sums(), stats_);
    if (!analysis::report_statistics(print_, type_, p_, w_.work, stats_,
                                     statistics_labels())) {
      if (person() && stats_.zero_variance) warn_no_spread(messages_, no_spread(), variable_names());
      throw AnalysisStop();
    }
    if (v_.printout != 0) analysis::print_resemblance(print_, p_, w_.work, w_.row, statistics_labels());
    if (v_.matrix_option == 2) analysis::write_matrix_file(matrix_, title_, p_, w_.work);
  }

  // The variables that set the zero-variance flag.
  std::vector<std::size_t> no_spread() const {
    std::vector<std::size_t> list;
    for (std::size_t j = 0; j < static_cast<std::size_t>(p_); ++j)
      if (!(w_.sd[j] - analysis::kMinimumSpread >= 0.0f)) list.push_back(j);
    return list;
  }

  coa::Table table() {
    return {n_, p_, w_.column_sums, w_.row_totals, sums_.grand_total};
  }

  void correspondence_matrix() {
    table_ = table();
    if (!coa::check_table(print_, table_, first_negative_)) throw AnalysisStop();
    coa::correspondence_matrix(table_, w_.work, *scratch_, w_.row, &pool_);
    if (!analysis::check_resemblance(print_, p_, w_.work)) throw AnalysisStop();
  }

  void eigenanalysis() {
    if (messages_.progress()) messages_.start_step();
    EigenProgress progress(console_, messages_.progress() ? &messages_ : nullptr);
    const analysis::Convergence convergence =
        analysis::jacobi(p_, w_.work, w_.eigenvectors, &progress, &pool_);
    messages_.clear_progress();
    if (convergence != analysis::Convergence::kConverged) {
      print_.both(kNoConvergence);
      throw AnalysisStop();
    }
    eigen_ = results::Eigensystem{p_, std::move(w_.eigenvalues), std::move(w_.eigenvectors)};
    results::report_eigenvalues(print_, w_.work, eigen_, w_.spare, eigenvector_file_);
    q_ = std::min(v_.components, eigen_.positive_count);
    warn_axes_lowered(messages_, v_.components, eigen_.positive_count);
    messages_.show("scores of " + std::to_string(n_) + " objects and " + std::to_string(p_) +
                   " variables");
    object_score_file_ =
        RecordFile(kObjectScoreUnit, name_of(names_.object_scores), Open::kReplace);
  }

  // Labels of the listings; empty when the points are only numbered.
  std::span<const std::string> object_labels() const {
    if (v_.object_labels == 0) return {};
    return w_.object_labels;
  }
  std::span<const std::string> variable_labels(bool used) const {
    if (!used) return {};
    return w_.variable_labels;
  }

  void correspondence_scores() {
    const coa::ScoreOptions o{q_, v_.coa_scaling, object_labels(),
                              variable_labels(v_.variable_labels != 0)};
    coa::Scores s = coa::correspondence_scores(
        print_, *scratch_, table_, eigen_, o, std::move(w_.work), w_.row,
        {object_score_file_, variable_score_file_, names_.data}, &pool_);
    objects_ = std::move(s.objects);
    variables_ = std::move(s.variables);
  }

  results::PcaModel pca_model() {
    results::PcaModel m;
    m.type = type_;
    m.n = n_;
    m.p = p_;
    m.scratch = scratch_.get();
    m.mean = w_.column_sums;
    m.sd = w_.sd;
    m.count = w_.variable_count;
    m.object_ssq = w_.object_ssq;
    return m;
  }

  void object_scores() {
    objects_ = results::ScoreMatrix(std::move(w_.work), n_, q_, results::ScoreLayout::kPointRows,
                                    object_labels());
    results::object_scores({print_, object_score_file_, title_}, pca_model(), eigen_,
                           v_.object_score_norm, objects_, w_.spare, w_.row_totals, &pool_);
  }

  void variable_scores() {
    variables_ = results::variable_scores(
        {print_, variable_score_file_, title_}, pca_model(), eigen_,
        {v_.variable_score_option, v_.printout}, objects_, w_.spare,
        variable_labels(v_.variable_labels == 1), {w_.row, w_.share});
  }

  // The diagonal of the resemblance matrix, before the eigenanalysis
  // overwrites it.
  void keep_diagonal() {
    diagonal_.resize(static_cast<std::size_t>(p_));
    for (std::size_t j = 1; j <= diagonal_.size(); ++j)
      diagonal_[j - 1] = w_.work[analysis::packed_index(j, j)];
  }

  void write_tables() {
    const bool coa = type_ == AnalysisType::kCorrespondence;
    std::span<const float> object_mass, variable_mass;  // equal weights for PCA
    if (coa) {
      object_mass = table_.row_totals;
      variable_mass = table_.column_totals;
    }
    csv::write_tables(eigen_,
                      {objects_, quality_.objects, object_mass, object_label_lines_},
                      {variables_, quality_.variables, variable_mass, variable_label_lines_});
  }

  void draw_pictures() {
    auto percent = [this](std::size_t k) {
      return eigen_.values[k] * 100.0f / eigen_.positive_sum;  // as in the report
    };
    svg::Biplot b{objects_, variables_, object_label_lines_, variable_label_lines_};
    b.arrows = type_ != AnalysisType::kCorrespondence;
    if (q_ >= 2) {
      b.percent1 = percent(0);
      b.percent2 = percent(1);
    }
    svg::write_pictures(b, eigen_);
  }

  void close_files() {
    for (RecordFile* f : {&setup_, &data_, &variable_score_file_, &matrix_, &eigenvector_file_,
                          &object_score_file_})
      f->close();
  }

  void normal_end() {
    // Everything is on disk before the marker tells the front end so.
    close_files();
    scratch_->close_and_delete();
    RecordFile marker(kSuccessUnit, kSuccessFile, Open::kReplace);
    marker.close();
  }

  bool person() const { return options_.for_person; }

  textio::Console& console_;
  const Options& options_;
  analysis::WorkerPool pool_;
  textio::Messages& messages_;
  RecordFile setup_;  // the setup file, then the report
  textio::Printer print_;
  RecordFile data_;
  RecordFile variable_score_file_;
  RecordFile matrix_;
  RecordFile eigenvector_file_;
  RecordFile object_score_file_;
  std::unique_ptr<input::ScratchFile> scratch_;

  RunValues v_;
  FileNames names_;
  std::string title_;
  AnalysisType type_ = AnalysisType::kCorrelations;
  std::int32_t n_ = 0, p_ = 0, q_ = 0;
  WorkArrays w_;
  analysis::VariableSums sums_;
  analysis::Statistics stats_;
  coa::Table table_;
  coa::FirstNegative first_negative_;
  input::ReadFindings findings_;       // for a person: values the reads left
  std::vector<std::int64_t> missing_;  // for a person: missing values per variable (PCA)
  results::Eigensystem eigen_;
  results::ScoreMatrix objects_, variables_;
  // Only for the tables and pictures.
  std::vector<std::string> object_label_lines_, variable_label_lines_;
  std::vector<float> diagonal_;
  results::Quality quality_;
};

}  // namespace

void run(textio::Console& console, const Options& options) {
  // Standard error speaks to a person only: warnings when any argument was
  // given; the progress line only when not asked for quiet, on a terminal
  // that the console does not write to (its lines would run into the
  // progress line: the console's last line stays open until the next one).
  const bool progress = options.for_person && !options.quiet && textio::is_terminal(stderr) &&
                        !textio::is_terminal(stdout);
  textio::Messages messages(stderr, options.for_person, progress);
  if (options.check) {
    check(console, messages);
    return;
  }
  Run run(console, options, messages);
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
