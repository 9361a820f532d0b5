#include "textio/quote.h"

namespace orthaxis::textio {

namespace {
void hex_byte(std::string& out, unsigned char c) {
  constexpr char kDigits[] = "0123456789abcdef";
  out += "\\x";
  out += kDigits[c >> 4];
  out += kDigits[c & 15];
}
}  // namespace

std::string escape_controls(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7f) {
      hex_byte(out, c);
    } else if (c == 0xC2 && i + 1 < text.size() &&
               static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
      hex_byte(out, c);
      hex_byte(out, static_cast<unsigned char>(text[++i]));
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string quote(std::string_view text, std::size_t limit) {
  const bool cut = limit > 0 && text.size() > limit;
  return "\"" + escape_controls(cut ? text.substr(0, limit) : text) + (cut ? "...\"" : "\"");
}

}  // namespace orthaxis::textio
