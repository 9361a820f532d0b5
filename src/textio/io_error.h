#pragma once
// The failure of one input/output statement: everything needed for one clear
// line on standard error. Nothing in the program catches it but main.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace orthaxis::textio {

// Reasons that the data files of a run commonly produce.
inline constexpr const char* kPastEnd = "Attempt to read past end of file";
inline constexpr const char* kIllegalChar = "Illegal character in numeric input";
inline constexpr const char* kIllegalRepeat = "Illegal repeat count";
inline constexpr const char* kIntegerOverflow = "Integer overflow in numeric input";
inline constexpr const char* kRealOverflow = "Real value too large for single precision";

class IoError : public std::runtime_error {
 public:
  IoError(std::string reason, std::string statement, int unit, std::string file,
          std::int64_t record = 0)
      : std::runtime_error(compose(reason, statement, unit, file, record)),
        reason_(std::move(reason)),
        statement_(std::move(statement)),
        unit_(unit),
        file_(std::move(file)),
        record_(record) {}

  const std::string& reason() const { return reason_; }
  const std::string& statement() const { return statement_; }
  int unit() const { return unit_; }
  const std::string& file() const { return file_; }
  // Line number of the record being read; 0 when the failure is not a read.
  std::int64_t record() const { return record_; }

  // Where on its line a read failed: the field number (1-based) and the
  // field's text; 0 and empty when the failure is not about one field.
  std::int64_t field() const { return field_; }
  const std::string& text() const { return text_; }
  void locate(std::int64_t field, std::string text) {
    field_ = field;
    text_ = std::move(text);
  }
  // What the file ended before, in words ("row 5 of 10 is complete (3 values
  // a row)"); set by the step that knows it.
  const std::string& expected() const { return expected_; }
  void expect(std::string what) { expected_ = std::move(what); }

 private:
  static std::string compose(const std::string& reason, const std::string& statement,
                             int unit, const std::string& file, std::int64_t record) {
    std::string s = statement + " error on unit " + std::to_string(unit) + ", file \"" +
                    file + "\"";
    if (record > 0) s += ", record " + std::to_string(record);
    return s + ": " + reason;
  }

  std::string reason_;
  std::string statement_;
  int unit_;
  std::string file_;
  std::int64_t record_;
  std::int64_t field_ = 0;
  std::string text_;
  std::string expected_;
};

// The failure told to a person: file, line, field, the offending text and the
// cause in plain words, then the statement details in brackets. what() keeps
// the form the front end reads.
std::string located_message(const IoError& e);

}  // namespace orthaxis::textio
