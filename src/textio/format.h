#pragma once
// Format specifications of the report notation, parsed once and written with
// a value list: Iw, Fw.d, Ew.d, Aw, A, nX, 'text' (doubled apostrophe),
// nH text, slash, repeat counts and nested groups. Writing stops at the first
// data descriptor (or the final parenthesis) after the values run out; when
// values remain at the final parenthesis, the record ends and writing resumes
// at the right-most top-level group.

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "textio/value.h"

namespace orthaxis::textio {

class Format {
 public:
  explicit Format(std::string_view spec);

  // Calls emit once per record, in order.
  void write(std::span<const Value> values,
             const std::function<void(std::string_view)>& emit) const;
  // The records as strings (tests, small blocks).
  std::vector<std::string> records(std::span<const Value> values) const;
  std::vector<std::string> records(std::initializer_list<Value> values) const {
    return records(std::span<const Value>(values.begin(), values.size()));
  }

  const std::string& spec() const { return spec_; }

  struct Node {
    enum class Kind { kInt, kFixed, kExp, kText, kSkip, kLiteral, kSlash, kOpen, kClose };
    explicit Node(Kind k) : kind(k) {}
    Kind kind;
    int repeat = 1;        // data descriptors and groups
    int width = 0;         // 0 for A without width
    int digits = 0;
    int partner = 0;       // index of the matching parenthesis
    std::string literal;
  };

 private:
  std::string spec_;
  std::vector<Node> nodes_;  // nodes_[0] is the outer "(", nodes_.back() its ")"
  std::size_t reversion_ = 0;
  bool has_data_ = false;
};

// Editing of one value, exposed for tests.
std::string edit_int(std::int32_t v, int w);
std::string edit_fixed(float v, int w, int d);
std::string edit_exp(float v, int w, int d);

}  // namespace orthaxis::textio
