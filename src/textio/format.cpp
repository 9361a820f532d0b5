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

namespace {

using Node = Format::Node;

// The parser of one specification into its nodes, in order, each
// parenthesis linked to its partner. Trailing text after the parenthesis
// that closes the outer group is not read.
class SpecParser {
 public:
  explicit SpecParser(std::string_view spec) : spec_(spec) {}

  std::vector<Node> parse();
  bool has_data() const { return has_data_; }

 private:
  bool at_end() const { return i_ >= spec_.size(); }
  void skip_blanks() {
    while (i_ < spec_.size() && spec_[i_] == ' ') ++i_;
  }
  bool number(int& out);
  void literal();
  bool close_group();
  void counted_item();
  void open_group(int count);
  void hollerith(int count, bool counted);
  void data_descriptor(char letter, int count);
  [[noreturn]] void fail(const char* why) const { bad_spec(spec_, why); }

  std::string_view spec_;
  std::size_t i_ = 0;
  std::vector<Node> nodes_;
  std::vector<std::size_t> open_;  // the groups not yet closed
  bool has_data_ = false;
};

std::vector<Node> SpecParser::parse() {
  skip_blanks();
  if (at_end() || spec_[i_] != '(') fail("must begin with (");
  while (!at_end()) {
    skip_blanks();
    if (at_end()) break;
    const char c = spec_[i_];
    if (c == ',') {
      ++i_;
    } else if (c == '/') {
      nodes_.emplace_back(Node::Kind::kSlash);
      ++i_;
    } else if (c == '\'') {
      literal();
    } else if (c == ')') {
      if (close_group()) break;
    } else {
      counted_item();
    }
  }
  if (!open_.empty() || nodes_.empty()) fail("unbalanced (");
  return std::move(nodes_);
}

// A repeat count, width or digit count; one that does not fit an int is
// refused rather than wrapped round.
bool SpecParser::number(int& out) {
  bool any = false;
  int v = 0;
  while (!at_end() && std::isdigit(static_cast<unsigned char>(spec_[i_]))) {
    if (__builtin_mul_overflow(v, 10, &v) || __builtin_add_overflow(v, spec_[i_++] - '0', &v))
      fail("number too large");
    any = true;
  }
  if (any) out = v;
  return any;
}

// 'text', a doubled apostrophe standing for one.
void SpecParser::literal() {
  std::string lit;
  for (++i_;; ++i_) {
    if (at_end()) fail("unterminated literal");
    if (spec_[i_] != '\'') {
      lit += spec_[i_];
    } else if (i_ + 1 < spec_.size() && spec_[i_ + 1] == '\'') {
      lit += '\'';
      ++i_;
    } else {
      ++i_;
      break;
    }
  }
  Node node(Node::Kind::kLiteral);
  node.literal = std::move(lit);
  nodes_.push_back(std::move(node));
}

// A closing parenthesis; true when it closes the outer group.
bool SpecParser::close_group() {
  if (open_.empty()) fail("unbalanced )");
  Node node(Node::Kind::kClose);
  node.partner = static_cast<int>(open_.back());
  nodes_[open_.back()].partner = static_cast<int>(nodes_.size());
  open_.pop_back();
  nodes_.push_back(std::move(node));
  ++i_;
  return open_.empty();
}

// What may follow a count: a group, nX, nH text or a data descriptor.
void SpecParser::counted_item() {
  int count = 1;
  const bool counted = number(count);
  skip_blanks();
  if (at_end()) fail("unexpected end");
  const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(spec_[i_])));
  if (letter == '(') {
    open_group(count);
    return;
  }
  ++i_;
  if (letter == 'X') {
    Node node(Node::Kind::kSkip);
    node.width = count;
    nodes_.push_back(std::move(node));
  } else if (letter == 'H') {
    hollerith(count, counted);
  } else if (letter == 'I' || letter == 'F' || letter == 'E' || letter == 'A') {
    data_descriptor(letter, count);
  } else {
    fail("unknown edit descriptor");
  }
}

void SpecParser::open_group(int count) {
  if (open_.size() >= 21) fail("groups nest deeper than 20 levels");
  Node node(Node::Kind::kOpen);
  node.repeat = count;
  open_.push_back(nodes_.size());
  nodes_.push_back(std::move(node));
  ++i_;
}

// nH and the n characters after it.
void SpecParser::hollerith(int count, bool counted) {
  if (!counted || i_ + static_cast<std::size_t>(count) > spec_.size()) fail("bad H edit");
  Node node(Node::Kind::kLiteral);
  node.literal = std::string(spec_.substr(i_, static_cast<std::size_t>(count)));
  i_ += static_cast<std::size_t>(count);
  nodes_.push_back(std::move(node));
}

// Iw, Fw.d, Ew.d, Aw or A after its letter.
void SpecParser::data_descriptor(char letter, int count) {
  Node node(letter == 'I'   ? Node::Kind::kInt
            : letter == 'F' ? Node::Kind::kFixed
            : letter == 'E' ? Node::Kind::kExp
                            : Node::Kind::kText);
  node.repeat = count;
  const bool has_width = number(node.width);
  if (letter != 'A' && !has_width) fail("missing width");
  if (letter == 'F' || letter == 'E') {
    if (at_end() || spec_[i_] != '.') fail("missing .d");
    ++i_;
    if (!number(node.digits)) fail("missing d");
  }
  has_data_ = true;
  nodes_.push_back(std::move(node));
}

// Where writing resumes when values remain at the final parenthesis: the
// right-most group at the outermost level, 0 when there is none.
std::size_t reversion_point(const std::vector<Node>& nodes) {
  std::size_t reversion = 0;
  int depth = 0;
  for (std::size_t j = 0; j < nodes.size(); ++j) {
    if (nodes[j].kind == Node::Kind::kOpen) {
      if (++depth == 2) reversion = j;
    } else if (nodes[j].kind == Node::Kind::kClose) {
      --depth;
    }
  }
  return reversion;
}

}  // namespace

Format::Format(std::string_view spec) : spec_(spec) {
  SpecParser parser(spec);
  nodes_ = parser.parse();
  has_data_ = parser.has_data();
  reversion_ = reversion_point(nodes_);
}

namespace {

// The record being written: X edits move the column past its end, and the
// next text starts there.
class RecordBuilder {
 public:
  explicit RecordBuilder(const std::function<void(std::string_view)>& emit) : emit_(emit) {
    record_.reserve(160);
  }

  void put(std::string_view s) {
    to_column() += s;
    column_ = record_.size();
  }
  // The record filled with blanks up to the column, for an edit appended in
  // place; end_edit() then moves the column past it.
  std::string& to_column() {
    if (column_ > record_.size()) record_.append(column_ - record_.size(), ' ');
    return record_;
  }
  void end_edit() { column_ = record_.size(); }
  void skip(std::size_t columns) { column_ += columns; }
  void end_record() {
    emit_(record_);
    record_.clear();
    column_ = 0;
  }

 private:
  const std::function<void(std::string_view)>& emit_;
  std::string record_;
  std::size_t column_ = 0;
};

// The groups being repeated, innermost last. Groups nest a few levels deep;
// deeper ones take a vector.
class GroupStack {
 public:
  void open(std::size_t pos, int repeat) {
    const Level l{pos, repeat};
    if (size_ < 8) small_[size_] = l; else more_.push_back(l);
    ++size_;
  }
  // The node after the closing parenthesis at pos of the innermost group:
  // the group's first node again while repeats are left.
  std::size_t close(std::size_t pos) {
    Level& level = back();
    if (--level.left > 0) return level.open + 1;
    if (size_ > 8) more_.pop_back();
    --size_;
    return pos + 1;
  }

 private:
  struct Level {
    std::size_t open;
    int left;
  };
  Level& back() { return size_ <= 8 ? small_[size_ - 1] : more_.back(); }

  Level small_[8];
  std::vector<Level> more_;
  std::size_t size_ = 0;
};

// One value edited by its data descriptor.
void edit_item(const Node& node, const Item& item, RecordBuilder& out, std::string_view spec) {
  switch (node.kind) {
    case Node::Kind::kInt:
      if (item.kind != Item::Kind::kInt) bad_spec(spec, "I edit needs an integer");
      append_int(out.to_column(), item.i, node.width);
      out.end_edit();
      break;
    case Node::Kind::kFixed:
      if (item.kind != Item::Kind::kReal) bad_spec(spec, "F edit needs a real");
      append_fixed(out.to_column(), item.f, node.width, node.digits);
      out.end_edit();
      break;
    case Node::Kind::kExp:
      if (item.kind != Item::Kind::kReal) bad_spec(spec, "E edit needs a real");
      out.put(edit_exp(item.f, node.width, node.digits));
      break;
    default: {
      if (item.kind != Item::Kind::kText) bad_spec(spec, "A edit needs a text");
      const std::string_view t = item.text;
      const std::size_t width = static_cast<std::size_t>(node.width);
      if (node.width == 0) {
        out.put(t);
      } else if (width >= t.size()) {
        out.put(std::string(width - t.size(), ' ') + std::string(t));
      } else {
        out.put(t.substr(0, width));
      }
    }
  }
}

}  // namespace

void Format::write(std::span<const Value> values,
                   const std::function<void(std::string_view)>& emit) const {
  ItemCursor cursor(values);
  RecordBuilder record(emit);
  GroupStack groups;
  const std::size_t last = nodes_.size() - 1;
  std::size_t pos = 1;
  bool consumed = false;  // a value was taken since the last reversion
  for (;;) {
    const Node& node = nodes_[pos];
    switch (node.kind) {
      case Node::Kind::kOpen:
        groups.open(pos, node.repeat);
        ++pos;
        break;
      case Node::Kind::kClose:
        if (pos != last) {
          pos = groups.close(pos);
          break;
        }
        record.end_record();
        if (cursor.done() || !consumed) return;
        consumed = false;
        pos = reversion_ != 0 ? reversion_ : 1;
        break;
      case Node::Kind::kSlash:
        record.end_record();
        ++pos;
        break;
      case Node::Kind::kLiteral:
        record.put(node.literal);
        ++pos;
        break;
      case Node::Kind::kSkip:
        record.skip(static_cast<std::size_t>(node.width));
        ++pos;
        break;
      default:
        // Writing stops at a data descriptor once the values have run out.
        for (int r = 0; r < node.repeat; ++r) {
          if (cursor.done()) {
            record.end_record();
            return;
          }
          edit_item(node, cursor.next(), record, spec_);
          consumed = true;
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
