#pragma once
// List-directed ("free-format") reads and writes.
//
// A read statement starts at the next record and reads across records until
// its list is satisfied; values are separated by commas, blanks (a tab counts
// as a blank) or record ends. ",," is a null value (the item keeps its value),
// "r*c" repeats c r times, "r*" stands for r null values, and "/" ends the
// statement. Whatever follows the last value on its record is skipped.
//
// The one header for callers: free_format.cpp holds the statements, the
// field parsers and the write; free_format_padded.cpp the readers of padded
// records (read_plain_reals_padded and its portable form).

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "textio/record_file.h"
#include "textio/value.h"

namespace orthaxis::textio {

// One read statement of integers (32-bit; overflow is an input error).
// Both reads return what the statement left unread on its last record (valid
// until the next read of the file; empty after a slash); a failing field is
// located in the IoError (field number on its line and its text).
std::string_view read_ints(RecordFile& file, std::span<std::int32_t> items);
// One read statement of single-precision reals, correctly rounded.
std::string_view read_reals(RecordFile& file, std::span<float> items);
// The read statement of `items` reals when `record` alone satisfies it with
// plain values: numbers separated by blanks or single commas, at least as
// many as the items. Returns false, with the items left undefined, when the
// statement would need more than the record or anything else (a null value,
// a repeat count, "/", a field that is not a number); read_reals then reads
// it as it stands. When true, the items hold what read_reals would give and
// `rest`, when given, what the statement leaves unread of the record.
bool read_plain_reals(std::string_view record, std::span<float> items,
                      std::string_view* rest = nullptr);
// The same, for a record followed in memory by at least kRecordPadding
// readable bytes (the next records of a buffer, or padding): records of
// short unsigned decimals separated by blanks are then split and converted
// many fields at a time. Every record gives exactly what read_plain_reals
// gives.
inline constexpr std::size_t kRecordPadding = 64;
bool read_plain_reals_padded(std::string_view record, std::span<float> items,
                             std::string_view* rest = nullptr);
// read_plain_reals_padded converting one field after another on any
// processor: what a processor without AVX2 runs (for comparing the two).
bool read_plain_reals_padded_portable(std::string_view record, std::span<float> items,
                                      std::string_view* rest = nullptr);
// A whole-line "(a)" read into a text field of the given length: the next
// record, padded with blanks or cut. `cut`, when given, tells whether
// characters other than trailing blanks were cut off.
std::string read_text(RecordFile& file, std::size_t length, bool* cut = nullptr);

// Number of fields in a text: runs of characters between blanks and commas.
std::int64_t count_fields(std::string_view text);

// Parses one numeric field. False when the text is not a number of that kind;
// `overflow` tells a well-formed value that does not fit.
bool parse_int(std::string_view text, std::int32_t& value, bool& overflow);
bool parse_real(std::string_view text, float& value, bool& overflow);

// The record of one free-format write: a leading blank, texts as they are,
// every number preceded by one blank, reals in the shortest form that reads
// back to the same value.
std::string free_format_record(std::span<const Value> values);
inline std::string free_format_record(std::initializer_list<Value> values) {
  return free_format_record(std::span<const Value>(values.begin(), values.size()));
}

// A text padded with blanks or cut to a fixed length.
std::string fixed_text(std::string_view text, std::size_t length);
// A text field without its trailing blanks (file names).
std::string_view trim_right(std::string_view text);

}  // namespace orthaxis::textio
