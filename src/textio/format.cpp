#include "textio/format.h"

#include <bit>
#include <cctype>
#include <cstdint>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace orthaxis::textio {

namespace {

[[noreturn]] void bad_spec(std::string_view spec, const char* why) {
  throw std::logic_error("format " + std::string(spec) + ": " + why);
}

// w characters of text, right-justified, or w asterisks when it is longer.
void append_field(std::string& out, std::string_view text, std::size_t width) {
  if (text.size() > width) {
    out.append(width, '*');
    return;
  }
  out.append(width - text.size(), ' ');
  out += text;
}

std::string right_justify(std::string_view s, int w) {
  std::string out;
  append_field(out, s, static_cast<std::size_t>(w));
  return out;
}

// NaN and infinities in an F or E field.
std::string edit_non_finite(float v, int w) {
  if (std::isnan(v)) return w >= 3 ? right_justify("NaN", w) : std::string(w, '*');
  if (v > 0) {
    if (w >= 8) return right_justify("Infinity", w);
    return w >= 3 ? right_justify("Inf", w) : std::string(w, '*');
  }
  if (w >= 9) return right_justify("-Infinity", w);
  return w >= 4 ? right_justify("-Inf", w) : std::string(w, '*');
}

// The I edit of v appended to out: w characters, asterisks when too narrow.
void append_int(std::string& out, std::int32_t v, int w) {
  char buf[16];
  const char* end = std::to_chars(buf, buf + sizeof buf, v).ptr;
  append_field(out, std::string_view(buf, static_cast<std::size_t>(end - buf)),
               static_cast<std::size_t>(w));
}
}  // namespace

std::string edit_int(std::int32_t v, int w) {
  std::string s;
  append_int(s, v, w);
  return s;
}

namespace {
// |v| 10^d rounded to an integer half to even, as std::to_chars rounds the
// exact value in fixed notation with d digits after the point: v = m 2^-s, so
// |v| 10^d = m 10^d / 2^s. False when |v| is 2^23 or more or d above 9.
bool scaled_magnitude(float v, int d, std::uint64_t& q) {
  if (d < 0 || d > 9) return false;
  const std::uint32_t bits = std::bit_cast<std::uint32_t>(v);
  const int biased = static_cast<int>((bits >> 23) & 0xFF);
  std::uint64_t m = bits & 0x7FFFFF;
  int shift = 0;  // |v| = m / 2^shift
  if (biased == 0) {
    shift = 149;
  } else {
    m |= 0x800000;
    shift = 150 - biased;
  }
  if (shift <= 0) return false;
  constexpr std::uint64_t kPow10[] = {1,      10,      100,      1000,      10000,
                                      100000, 1000000, 10000000, 100000000, 1000000000};
  const std::uint64_t n = m * kPow10[d];  // below 2^24 10^9 < 2^54
  q = 0;
  if (shift < 64) {
    q = n >> shift;
    const std::uint64_t r = n & ((std::uint64_t{1} << shift) - 1);
    const std::uint64_t half = std::uint64_t{1} << (shift - 1);
    if (r > half || (r == half && (q & 1) != 0)) ++q;
  }
  // else n < 2^54 <= half: rounds to 0
  return true;
}

// The F edit of v appended to out: w characters, d digits after the point;
// no digit before the point for a magnitude below 1, no minus sign on a
// value that edits as zero, and w asterisks when the field is too narrow.
void append_fixed(std::string& out, float v, int w, int d) {
  if (!std::isfinite(v)) {
    out += edit_non_finite(v, w);
    return;
  }
  const std::size_t width = static_cast<std::size_t>(w);
  const std::size_t decimals = static_cast<std::size_t>(d);
  std::uint64_t q = 0;
  if (scaled_magnitude(v, d, q)) {
    char text[40];
    char* const end = text + sizeof text;
    char* first = end;
    if (q == 0) {
      // "0." and d zeros.
      first -= decimals;
      std::memset(first, '0', decimals);
      *--first = '.';
      *--first = '0';
    } else {
      // The digits of q from the last: d after the point, then those before
      // it (none below 1).
      for (std::size_t k = 0; k < decimals; ++k) {
        *--first = static_cast<char>('0' + q % 10);
        q /= 10;
      }
      *--first = '.';
      for (; q != 0; q /= 10) *--first = static_cast<char>('0' + q % 10);
      if (std::signbit(v)) *--first = '-';
    }
    append_field(out, std::string_view(first, static_cast<std::size_t>(end - first)), width);
    return;
  }
  char buf[128];
  const char* end = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, d).ptr;
  std::string_view text(buf, static_cast<std::size_t>(end - buf));
  const bool negative = !text.empty() && text[0] == '-';
  if (negative) text.remove_prefix(1);
  const std::size_t point = text.find('.');
  std::string_view whole = text.substr(0, point);
  const std::string_view fraction =
      point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
  const bool zero = whole.find_first_not_of('0') == std::string_view::npos &&
                    fraction.find_first_not_of('0') == std::string_view::npos;
  std::string field;
  if (zero) {
    field = "0." + std::string(decimals, '0');
  } else {
    if (negative) field += '-';
    if (whole != "0") field += whole;
    field += '.';
    field += fraction;
  }
  append_field(out, field, width);
}
}  // namespace

std::string edit_fixed(float v, int w, int d) {
  std::string s;
  append_fixed(s, v, w, d);
  return s;
}

std::string edit_exp(float v, int w, int d) {
  if (!std::isfinite(v)) return edit_non_finite(v, w);
  bool negative = v < 0;
  std::string digits;
  int exponent = 0;
  if (v == 0.0f) {
    digits.assign(static_cast<std::size_t>(d), '0');
  } else {
    char buf[128];
    auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::scientific,
                             d > 0 ? d - 1 : 0);
    std::string_view text(buf, static_cast<std::size_t>(res.ptr - buf));
    std::size_t e = text.find('e');
    for (char c : text.substr(0, e))
      if (c != '.') digits += c;
    digits.resize(static_cast<std::size_t>(d), '0');
    exponent = std::atoi(std::string(text.substr(e + 1)).c_str()) + 1;
  }
  std::string body = "." + digits;
  int magnitude = std::abs(exponent);
  char sign = exponent < 0 ? '-' : '+';
  if (magnitude <= 99) {
    body += 'E';
    body += sign;
    body += static_cast<char>('0' + magnitude / 10);
    body += static_cast<char>('0' + magnitude % 10);
  } else {
    body += sign;
    body += std::to_string(magnitude);
  }
  int needed = static_cast<int>(body.size()) + (negative ? 1 : 0);
  if (needed > w) return std::string(static_cast<std::size_t>(w), '*');
  std::string s = negative ? "-" : "";
  if (needed < w) s += '0';
  s += body;
  return right_justify(s, w);
}

Format::Format(std::string_view spec) : spec_(spec) {
  std::size_t i = 0, n = spec.size();
  auto skip_blanks = [&] {
    while (i < n && spec[i] == ' ') ++i;
  };
  // A repeat count, width or digit count; one that does not fit an int is
  // refused rather than wrapped round.
  auto number = [&](int& out) {
    bool any = false;
    int v = 0;
    while (i < n && std::isdigit(static_cast<unsigned char>(spec[i]))) {
      if (__builtin_mul_overflow(v, 10, &v) || __builtin_add_overflow(v, spec[i++] - '0', &v))
        bad_spec(spec, "number too large");
      any = true;
    }
    if (any) out = v;
    return any;
  };
  std::vector<std::size_t> open;
  skip_blanks();
  if (i >= n || spec[i] != '(') bad_spec(spec, "must begin with (");
  while (i < n) {
    skip_blanks();
    if (i >= n) break;
    char c = spec[i];
    if (c == ',') {
      ++i;
      continue;
    }
    if (c == '/') {
      nodes_.emplace_back(Node::Kind::kSlash);
      ++i;
      continue;
    }
    if (c == '\'') {
      std::string lit;
      for (++i;; ++i) {
        if (i >= n) bad_spec(spec, "unterminated literal");
        if (spec[i] == '\'') {
          if (i + 1 < n && spec[i + 1] == '\'') {
            lit += '\'';
            ++i;
          } else {
            ++i;
            break;
          }
        } else {
          lit += spec[i];
        }
      }
      Node node(Node::Kind::kLiteral);
      node.literal = std::move(lit);
      nodes_.push_back(std::move(node));
      continue;
    }
    if (c == ')') {
      if (open.empty()) bad_spec(spec, "unbalanced )");
      Node node(Node::Kind::kClose);
      node.partner = static_cast<int>(open.back());
      nodes_[open.back()].partner = static_cast<int>(nodes_.size());
      open.pop_back();
      nodes_.push_back(std::move(node));
      ++i;
      if (open.empty()) break;
      continue;
    }
    int count = 1;
    bool counted = number(count);
    skip_blanks();
    if (i >= n) bad_spec(spec, "unexpected end");
    char k = static_cast<char>(std::toupper(static_cast<unsigned char>(spec[i])));
    if (k == '(') {
      if (open.size() >= 21) bad_spec(spec, "groups nest deeper than 20 levels");
      Node node(Node::Kind::kOpen);
      node.repeat = count;
      open.push_back(nodes_.size());
      nodes_.push_back(std::move(node));
      ++i;
      continue;
    }
    ++i;
    if (k == 'X') {
      Node node(Node::Kind::kSkip);
      node.width = count;
      nodes_.push_back(std::move(node));
    } else if (k == 'H') {
      if (!counted || i + static_cast<std::size_t>(count) > n) bad_spec(spec, "bad H edit");
      Node node(Node::Kind::kLiteral);
      node.literal = std::string(spec.substr(i, static_cast<std::size_t>(count)));
      i += static_cast<std::size_t>(count);
      nodes_.push_back(std::move(node));
    } else if (k == 'I' || k == 'F' || k == 'E' || k == 'A') {
      Node node(k == 'I'   ? Node::Kind::kInt
                : k == 'F' ? Node::Kind::kFixed
                : k == 'E' ? Node::Kind::kExp
                           : Node::Kind::kText);
      node.repeat = count;
      bool has_width = number(node.width);
      if (k != 'A' && !has_width) bad_spec(spec, "missing width");
      if (k == 'F' || k == 'E') {
        if (i >= n || spec[i] != '.') bad_spec(spec, "missing .d");
        ++i;
        if (!number(node.digits)) bad_spec(spec, "missing d");
      }
      has_data_ = true;
      nodes_.push_back(std::move(node));
    } else {
      bad_spec(spec, "unknown edit descriptor");
    }
  }
  if (!open.empty() || nodes_.empty()) bad_spec(spec, "unbalanced (");
  // Reversion point: the right-most group at the outermost level.
  int depth = 0;
  for (std::size_t j = 0; j < nodes_.size(); ++j) {
    if (nodes_[j].kind == Node::Kind::kOpen) {
      if (++depth == 2) reversion_ = j;
    } else if (nodes_[j].kind == Node::Kind::kClose) {
      --depth;
    }
  }
}

void Format::write(std::span<const Value> values,
                   const std::function<void(std::string_view)>& emit) const {
  ItemCursor cursor(values);
  std::string record;
  record.reserve(160);
  std::size_t column = 0;
  auto put = [&](std::string_view s) {
    if (column > record.size()) record.append(column - record.size(), ' ');
    record += s;
    column = record.size();
  };
  auto end_record = [&] {
    emit(record);
    record.clear();
    column = 0;
  };
  struct Level {
    std::size_t open;
    int left;
  };
  // Groups nest a few levels deep; deeper ones take a vector.
  struct Stack {
    Level small[8];
    std::vector<Level> more;
    std::size_t size = 0;
    void push_back(Level l) {
      if (size < 8) small[size] = l; else more.push_back(l);
      ++size;
    }
    Level& back() { return size <= 8 ? small[size - 1] : more.back(); }
    void pop_back() {
      if (size > 8) more.pop_back();
      --size;
    }
  } stack;
  const std::size_t last = nodes_.size() - 1;
  std::size_t pos = 1;
  bool consumed = false;  // a value was taken since the last reversion
  for (;;) {
    const Node& node = nodes_[pos];
    switch (node.kind) {
      case Node::Kind::kOpen:
        stack.push_back({pos, node.repeat});
        ++pos;
        break;
      case Node::Kind::kClose:
        if (pos == last) {
          if (cursor.done() || !consumed) {
            end_record();
            return;
          }
          consumed = false;
          end_record();
          pos = reversion_ != 0 ? reversion_ : 1;
          break;
        }
        if (--stack.back().left > 0) {
          pos = stack.back().open + 1;
        } else {
          stack.pop_back();
          ++pos;
        }
        break;
      case Node::Kind::kSlash:
        end_record();
        ++pos;
        break;
      case Node::Kind::kLiteral:
        put(node.literal);
        ++pos;
        break;
      case Node::Kind::kSkip:
        column += static_cast<std::size_t>(node.width);
        ++pos;
        break;
      default:
        for (int r = 0; r < node.repeat; ++r) {
          if (cursor.done()) {
            end_record();
            return;
          }
          Item item = cursor.next();
          consumed = true;
          switch (node.kind) {
            case Node::Kind::kInt:
              if (item.kind != Item::Kind::kInt) bad_spec(spec_, "I edit needs an integer");
              if (column > record.size()) record.append(column - record.size(), ' ');
              append_int(record, item.i, node.width);
              column = record.size();
              break;
            case Node::Kind::kFixed:
              if (item.kind != Item::Kind::kReal) bad_spec(spec_, "F edit needs a real");
              if (column > record.size()) record.append(column - record.size(), ' ');
              append_fixed(record, item.f, node.width, node.digits);
              column = record.size();
              break;
            case Node::Kind::kExp:
              if (item.kind != Item::Kind::kReal) bad_spec(spec_, "E edit needs a real");
              put(edit_exp(item.f, node.width, node.digits));
              break;
            default: {
              if (item.kind != Item::Kind::kText) bad_spec(spec_, "A edit needs a text");
              std::string_view t = item.text;
              if (node.width == 0) {
                put(std::string(t));
              } else if (static_cast<std::size_t>(node.width) >= t.size()) {
                put(std::string(static_cast<std::size_t>(node.width) - t.size(), ' ') +
                    std::string(t));
              } else {
                put(std::string(t.substr(0, static_cast<std::size_t>(node.width))));
              }
            }
          }
        }
        ++pos;
        break;
    }
  }
}

std::vector<std::string> Format::records(std::span<const Value> values) const {
  std::vector<std::string> out;
  write(values, [&out](std::string_view r) { out.emplace_back(r); });
  return out;
}

}  // namespace orthaxis::textio
