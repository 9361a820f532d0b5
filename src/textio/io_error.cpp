#include "textio/io_error.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

namespace orthaxis::textio {

namespace {

constexpr std::size_t kShownText = 20;

// Texts that people write for a value that is not there.
constexpr std::array<std::string_view, 9> kMissingMarks = {"na",   "n/a",  "nan", "null", "none",
                                                           "missing", ".", "?",  "-"};

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string quoted(const std::string& text) {
  if (text.size() <= kShownText) return "\"" + text + "\"";
  return "\"" + text.substr(0, kShownText) + "...\"";
}

// Why the text of a field is not a number, in plain words.
std::string not_a_number(const std::string& text) {
  const std::string shown = quoted(text) + " is not a number";
  const std::string l = lower(text);
  if (std::find(kMissingMarks.begin(), kMissingMarks.end(), l) != kMissingMarks.end())
    return shown + " (a missing value is written as a negative number)";
  if (text.find(';') != std::string::npos)
    return shown + " (values are separated by blanks or commas, and the decimal mark is a point)";
  const unsigned char first = text.empty() ? ' ' : static_cast<unsigned char>(text[0]);
  if (std::isalpha(first) || first == '"' || first == '\'')
    return shown + " (only numbers can be read here: no header row, no row names)";
  return shown;
}

std::string cause(const IoError& e) {
  const std::string& r = e.reason();
  if (r == kPastEnd) {
    if (!e.expected().empty()) return "the file ends before " + e.expected();
    return "the file ends before all values are read";
  }
  if (e.field() > 0) {
    if (r == kIllegalChar) return not_a_number(e.text());
    if (r == kIllegalRepeat)
      return quoted(e.text()) + " is not a repeat count (r*value repeats a value r times, r at least 1)";
    if (r == kIntegerOverflow) return quoted(e.text()) + " is too large for a whole number";
    if (r == kRealOverflow)
      return quoted(e.text()) + " is too large for a single-precision number";
  }
  if (e.statement() == "OPEN") return "cannot be opened: " + r;
  return r;
}

}  // namespace

std::string located_message(const IoError& e) {
  std::string s = e.file();
  if (e.record() > 0) s += ", line " + std::to_string(e.record());
  if (e.field() > 0) s += ", field " + std::to_string(e.field());
  s += ": " + cause(e);
  s += " [" + e.statement() + " error on unit " + std::to_string(e.unit()) + "]";
  return s;
}

}  // namespace orthaxis::textio
