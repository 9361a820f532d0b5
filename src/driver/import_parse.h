#pragma once
// The streamed import's parse of one block: how a reading takes the columns
// (Plan), what the parse of a block finds (Parsed: values, texts, the first
// text and the first too large cell of each column, the first refusal), and
// where each block lies for the second reading (Block). Internal to the
// streamed import.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "driver/import_blocks.h"
#include "input/csv_table.h"

namespace orthaxis::driver::import_detail {

// How one reading takes the columns.
struct Plan {
  std::vector<std::string> header;
  std::size_t width = 0;
  bool names = false;
  std::vector<char> texts;               // per header column: read as texts
  std::vector<std::size_t> value_cols;   // header columns read as numbers
  std::vector<std::size_t> text_cols;    // header columns read as texts (from 1)
  // Per value column: supplementary (--sup-cols).
  std::vector<char> sup_col;
  std::vector<std::size_t> active, sup;  // indices into value_cols
  // --sup-rows as read so far: positions (0-based ranges) and names.
  std::vector<std::pair<std::int64_t, std::int64_t>> row_ranges;
  std::set<std::string, std::less<>> row_names;
};

struct Parsed {
  std::int64_t records = 0, lines = 0;
  std::vector<std::int64_t> line;  // of each record
  std::vector<char> blank;
  std::vector<float> values;       // records x value columns
  std::string texts;               // per record: the names, then each text column
  std::vector<std::size_t> text_end;
  std::vector<std::int64_t> first_text, first_large;  // per header column: record or -1
  std::vector<std::string> first_text_cell;
  std::vector<Refusal> large;
  std::int64_t first_nonblank = -1, last_nonblank = -1;
  // Every record read in one sweep, every value cell already shortest.
  bool plain = true;
  // Per record, over the active columns (as ordinals among them): the first
  // negative value, the first missing one and how many are missing.
  struct Summary {
    std::int64_t first_negative = -1, first_missing = -1, missing = 0;
  };
  std::vector<Summary> summary;
  bool failed = false;
  Refusal failure;
};

struct Block {
  std::uint64_t offset = 0, size = 0;
  std::int64_t first_record = 0, records = 0;
  bool plain = false;  // see Parsed::plain
};

// Per record, over the active columns.
Parsed::Summary summarize(const Plan& plan, const float* v);

// Parses the records of `text` (a block of whole records) under `plan`.
void parse_block(const Plan& plan, const input::CsvSettings& settings, std::string_view text,
                 Parsed& b);

}  // namespace orthaxis::driver::import_detail
