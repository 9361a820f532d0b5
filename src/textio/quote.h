#pragma once
// Text from a table, a file or the command line shown in a message on one
// line: in double quotes, with every control character written as an escape
// (\n, \r, \t, \xHH), so that a name holding a line end keeps the message on
// one line and no control sequence from the data reaches the terminal.

#include <string>
#include <string_view>

namespace orthaxis::textio {

// The text with its control characters escaped: C0 controls, DEL, and the
// C1 controls U+0080..U+009F as their two UTF-8 bytes.
std::string escape_controls(std::string_view text);

// "text", escaped; with `limit` > 0, cut after that many bytes of the text
// and marked with "...".
std::string quote(std::string_view text, std::size_t limit = 0);

}  // namespace orthaxis::textio
