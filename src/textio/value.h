#pragma once
// One item of a write statement's value list: an integer, a real, a text, a
// run of reals (each one item) or the characters of a text (each one item).

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace orthaxis::textio {

// The characters of a text, written as separate one-character items.
struct Chars {
  std::string_view text;
};

struct Value {
  enum class Kind { kInt, kReal, kText, kReals, kChars };

  Value(std::int32_t v) : kind(Kind::kInt), i(v) {}
  Value(float v) : kind(Kind::kReal), f(v) {}
  Value(std::string_view v) : kind(Kind::kText), text(v) {}
  Value(const char* v) : kind(Kind::kText), text(v) {}
  Value(const std::string& v) : kind(Kind::kText), text(v) {}
  Value(std::span<const float> v) : kind(Kind::kReals), reals(v) {}
  Value(Chars v) : kind(Kind::kChars), text(v.text) {}

  // Number of scalar items this value stands for.
  std::size_t count() const {
    switch (kind) {
      case Kind::kReals: return reals.size();
      case Kind::kChars: return text.size();
      default: return 1;
    }
  }

  Kind kind;
  std::int32_t i = 0;
  float f = 0.0f;
  std::string_view text;
  std::span<const float> reals;
};

// One scalar item, taken from a value list in order.
struct Item {
  enum class Kind { kInt, kReal, kText };
  Kind kind;
  std::int32_t i = 0;
  float f = 0.0f;
  std::string_view text;
};

// Walks a value list item by item, expanding runs in place.
class ItemCursor {
 public:
  explicit ItemCursor(std::span<const Value> values) : values_(values) { skip_empty(); }
  bool done() const { return index_ >= values_.size(); }
  Item next() {
    const Value& v = values_[index_];
    Item item{};
    switch (v.kind) {
      case Value::Kind::kInt: item.kind = Item::Kind::kInt; item.i = v.i; break;
      case Value::Kind::kReal: item.kind = Item::Kind::kReal; item.f = v.f; break;
      case Value::Kind::kText: item.kind = Item::Kind::kText; item.text = v.text; break;
      case Value::Kind::kReals: item.kind = Item::Kind::kReal; item.f = v.reals[offset_]; break;
      case Value::Kind::kChars:
        item.kind = Item::Kind::kText;
        item.text = v.text.substr(offset_, 1);
        break;
    }
    if (++offset_ >= v.count()) {
      ++index_;
      offset_ = 0;
      skip_empty();
    }
    return item;
  }

 private:
  void skip_empty() {
    while (index_ < values_.size() && values_[index_].count() == 0) ++index_;
  }
  std::span<const Value> values_;
  std::size_t index_ = 0;
  std::size_t offset_ = 0;
};

}  // namespace orthaxis::textio
