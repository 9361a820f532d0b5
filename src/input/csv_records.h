#pragma once
// The records of a comma-separated text, shared by the whole-table reader
// and the import that reads a table in blocks: fields split on the
// separator, quoted fields (a doubled quote for one quote; separators and
// line ends inside quotes belong to the field), LF, CRLF or CR alone ending
// a record. Internal to the readers.

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "input/csv_table.h"

namespace orthaxis::input::csv_detail {

struct Field {
  std::string_view text;  // into the table's text, or into the splitter's unescaped copies
  bool quoted = false;
};

struct Record {
  std::int64_t line = 0;
  std::vector<Field> fields;
  // A line with nothing on it.
  bool blank() const { return fields.size() == 1 && !fields[0].quoted && fields[0].text.empty(); }
};

// Splits the text into records; a quoted field may hold separators, quotes
// written twice and line ends. The fields of a record stay valid until the
// next record is taken.
class RecordSplitter {
 public:
  RecordSplitter(std::string_view text, char separator) : t_(text), sep_(separator) {}

  // Where the next record starts, and its line.
  std::size_t position() const { return pos_; }
  std::int64_t line() const { return line_; }

  bool next(Record& r) {
    if (pos_ >= t_.size()) return false;
    r.line = line_;
    r.fields.clear();
    unescaped_.clear();
    for (;;) {
      Field f;
      if (t_[pos_] == '"') {
        quoted_field(f, r);
      } else {
        const std::size_t begin = pos_;
        while (pos_ < t_.size() && t_[pos_] != sep_ && t_[pos_] != '\n' && t_[pos_] != '\r') ++pos_;
        f.text = t_.substr(begin, pos_ - begin);
      }
      r.fields.push_back(f);
      if (pos_ >= t_.size()) return true;
      const char end = t_[pos_++];
      if (end == sep_) {
        if (pos_ < t_.size()) continue;
        r.fields.push_back(Field{});  // a separator ends the text: one more empty field
        return true;
      }
      // The line end (LF, CRLF or CR alone) closes the record.
      if (end == '\r' && pos_ < t_.size() && t_[pos_] == '\n') ++pos_;
      ++line_;
      return true;
    }
  }

 private:
  void quoted_field(Field& f, const Record& r) {
    f.quoted = true;
    const std::int64_t field = static_cast<std::int64_t>(r.fields.size()) + 1;
    const std::int64_t opened = line_;
    const std::size_t begin = ++pos_;
    bool doubled = false;
    for (;;) {
      if (pos_ >= t_.size()) throw CsvError("the quote opened here is never closed", opened, field);
      const char c = t_[pos_++];
      if (c == '\n') ++line_;
      if (c != '"') continue;
      if (pos_ < t_.size() && t_[pos_] == '"') {
        doubled = true;
        ++pos_;
        continue;
      }
      break;
    }
    f.text = t_.substr(begin, pos_ - 1 - begin);
    if (doubled) {
      std::string& u = unescaped_.emplace_back();
      for (std::size_t k = 0; k < f.text.size(); ++k) {
        u += f.text[k];
        if (f.text[k] == '"') ++k;  // the second quote of a pair
      }
      f.text = u;
    }
    if (pos_ < t_.size() && t_[pos_] != sep_ && t_[pos_] != '\n' && t_[pos_] != '\r')
      throw CsvError("text follows the closing quote of a field", line_, field);
  }

  std::string_view t_;
  char sep_;
  std::size_t pos_ = 0;
  std::int64_t line_ = 1;
  std::deque<std::string> unescaped_;  // fields of the current record that held doubled quotes
};

inline std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

inline bool is_missing(std::string_view cell) {
  cell = trim(cell);
  return cell.empty() || cell == "NA";
}


// The refusal of a record of `got` fields under a header of `want`.
std::string width_reason(std::int64_t got, std::int64_t want);
// A value cell: its number or kMissing; a cell that is not a number, or one
// too large, is refused (CsvError at `line`, `field`).
float cell_value(const Field& cell, const CsvSettings& s, std::int64_t line, std::int64_t field,
                 const std::string& name);
// The hint for a header read as one field that holds another separator.
std::string separator_hint(std::string_view header, char separator);

// The level codes of one qualitative column while its rows are read.
struct LevelCoder {
  std::map<std::string, std::int32_t, std::less<>> codes;  // text -> order of first appearance
  QualitativeColumn column;

  void add(std::string_view cell, const CsvSettings& s) {
    cell = trim(cell);
    if (is_missing(cell)) {
      column.codes.push_back(QualitativeColumn::kNoLevel);
      return;
    }
    float v;
    bool too_large;
    if (parse_csv_number(cell, s.decimal, v, too_large)) ++column.numbers;
    auto it = codes.find(cell);
    if (it == codes.end())
      it = codes.emplace(std::string(cell), static_cast<std::int32_t>(codes.size())).first;
    column.codes.push_back(it->second);
  }
  // The levels in sorted order, the codes renumbered to match.
  QualitativeColumn finish() {
    std::vector<std::int32_t> sorted_of(codes.size());
    std::int32_t k = 0;
    for (const auto& [text, code] : codes) {
      sorted_of[static_cast<std::size_t>(code)] = k++;
      column.levels.push_back(text);
    }
    for (std::int32_t& c : column.codes)
      if (c != QualitativeColumn::kNoLevel) c = sorted_of[static_cast<std::size_t>(c)];
    return std::move(column);
  }
};

}  // namespace orthaxis::input::csv_detail
