#pragma once
// The state of a streamed import: the options, the worker pool, what one
// reading of the table finds (Reading) and the outcome the import hands
// out. Its work is spread over import_first_reading.cpp (the readings of the
// table in blocks), import_outcome.cpp (the refusals and the outcome of the
// last reading), import_second_reading.cpp (the data file's rows) and
// import_stream.cpp. Internal to the streamed import.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/worker_pool.h"
#include "driver/import_blocks.h"
#include "driver/import_parse.h"
#include "driver/import_stream.h"
#include "driver/setup.h"
#include "input/csv_records.h"
#include "input/csv_table.h"

namespace orthaxis::driver {

namespace import_detail {

// A row of the table as the first reading takes it: its index and line,
// its values (per value column), its texts and the summary of its active
// values.
struct Row {
  std::int64_t index = 0, line = 0;
  const float* values = nullptr;
  const std::vector<std::string_view>& texts;
  const Parsed::Summary& summary;
};

}  // namespace import_detail

struct StreamedImport::State {
  using Block = import_detail::Block;
  using BlockReader = import_detail::BlockReader;
  using Chunk = import_detail::Chunk;
  using CsvError = input::CsvError;
  using Parsed = import_detail::Parsed;
  using Plan = import_detail::Plan;
  using Row = import_detail::Row;

  const Options& options;
  std::string file;
  input::CsvSettings settings;
  analysis::WorkerPool pool;
  std::size_t in_flight;
  bool coa = false;

  // The outcome.
  std::int64_t rows_total = 0;  // every row, supplementary ones too
  std::int64_t active_rows = 0, missing = 0;
  bool names = false;
  std::vector<std::string> variables, active_objects, notices;
  input::SupplementaryData supplementary;
  std::vector<char> row_sup;
  std::vector<std::size_t> written_cols;  // header columns of the active variables
  std::size_t width = 0;                   // of the header
  std::vector<Block> blocks;
  char separator = ',';

  // One reading's findings.
  struct Reading {
    std::vector<char> found;
    std::vector<std::string> found_text;
    std::vector<std::int64_t> found_line;
    bool col0_text = false;
    std::optional<CsvError> col0_large;
    std::optional<CsvError> sup_row_negative, sup_col_negative, active_refusal;
    std::vector<std::string> objects;  // every row's name
    std::vector<input::csv_detail::LevelCoder> coders;  // per text column
    std::vector<char> row_sup;
    std::int64_t records = 0, next_line = 0, last_nonblank = -1;
    std::int64_t active_rows = 0, missing = 0;
    std::int64_t carried_blank_line = -1;  // first blank after the last nonblank record
    std::vector<std::int64_t> pending_blank_rows;  // one-column tables: blank rows not yet known to be rows
    std::vector<Block> blocks;
    input::SupplementaryData sup;
  };

  State(const Options& o, const std::string& f, std::size_t threads)
      : options(o),
        file(f),
        settings{o.separator, o.decimal, true},
        pool(threads),
        in_flight(2 * threads + 1),
        coa(o.analysis == ImportAnalysis::kCorrespondence),
        separator(o.separator) {}

  [[noreturn]] void refuse(const CsvError& e) { throw SetupError(e.message(file)); }

  // Both readings when the first finds columns of texts or row names, then
  // the outcome (import_stream.cpp).
  void run();

  // A reading of the table in blocks under a plan (import_first_reading.cpp).
  bool is_sup_row(const Plan& plan, std::int64_t i, std::string_view name) const;
  void take_row(const Plan& plan, Reading& rd, const Row& row);
  void merge(const Plan& plan, Reading& rd, const Chunk& chunk, const Parsed& b);
  Chunk read_header(BlockReader& reader, Plan& plan, std::int64_t& line_base);
  void parse_in_order(BlockReader& reader, const Plan& plan, Reading& rd, Chunk&& rest);
  bool read(Plan& plan, Reading& rd);
  void prepare(Plan& plan);

  // The outcome of the last reading (import_outcome.cpp).
  std::vector<input::QualitativeColumn> qualitative_columns(const Plan& plan, Reading& rd);
  void check_supplementary(const Plan& plan, const Reading& rd,
                           const std::vector<input::QualitativeColumn>& qualitative);
  void finish(const Plan& plan, Reading& rd);

  // Where each column was first seen to hold text, from the first reading.
  std::vector<std::string> first_text;
  std::vector<std::int64_t> first_line;
};

}  // namespace orthaxis::driver
