#pragma once
// Writes one format with one value list to the report, the console or both.
// Most report blocks go to both, report first.

#include <initializer_list>
#include <span>
#include <string_view>

#include "textio/console.h"
#include "textio/format.h"
#include "textio/free_format.h"
#include "textio/record_file.h"

namespace orthaxis::textio {

class Printer {
 public:
  Printer(RecordFile& report, Console& console) : report_(report), console_(console) {}

  using List = std::initializer_list<Value>;

  void report(const Format& f, std::span<const Value> v) {
    f.write(v, [this](std::string_view r) { report_.write(r); });
  }
  void console(const Format& f, std::span<const Value> v) {
    f.write(v, [this](std::string_view r) { console_.write(r); });
  }
  // Report first, then the console.
  void both(const Format& f, std::span<const Value> v) {
    report(f, v);
    console(f, v);
  }
  // Console first, then the report.
  void console_then_report(const Format& f, std::span<const Value> v) {
    console(f, v);
    report(f, v);
  }
  void report(const Format& f, List v = {}) { report(f, as_span(v)); }
  void console(const Format& f, List v = {}) { console(f, as_span(v)); }
  void both(const Format& f, List v = {}) { both(f, as_span(v)); }
  void console_then_report(const Format& f, List v = {}) { console_then_report(f, as_span(v)); }

  // One free-format record.
  void report_free(List v = {}) { report_.write(free_format_record(v)); }
  void console_free(List v = {}) { console_.write(free_format_record(v)); }

  RecordFile& report_file() { return report_; }
  Console& console_device() { return console_; }

 private:
  static std::span<const Value> as_span(List v) { return {v.begin(), v.size()}; }
  RecordFile& report_;
  Console& console_;
};

}  // namespace orthaxis::textio
