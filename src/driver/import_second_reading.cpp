// The streamed import's second reading: the blocks of the first read
// again on the pool, each edited into the data file's lines (the active
// rows' active values; a block of plain cells copied as it is, its
// separators made blanks) and handed out in order.

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

#include "analysis/missing.h"
#include "driver/import_state.h"
#include "textio/io_error.h"
#include "textio/units.h"

namespace orthaxis::driver {

namespace {

using import_detail::Block;
using import_detail::LineSplitter;
using import_detail::has_quotes;
using import_detail::kMissing;
using input::csv_detail::Record;
using input::csv_detail::RecordSplitter;
using input::csv_detail::is_missing;

// One block of the second reading: its text and records, the table's rows,
// and what of them the data file takes.
struct BlockEdit {
  std::string_view text;
  char separator = ',';
  char decimal = '.';
  std::int64_t first_record = 0, records = 0, rows = 0;
  const std::vector<char>& row_sup;      // per row of the table
  const std::vector<std::size_t>& cols;  // header columns written, in order
  const std::vector<char>& written;      // per header column: written
};

// The data file's lines of one block: the active rows' active values.
template <class Splitter>
void edit_records(const BlockEdit& e, std::string& out) {
  const std::string_view text = e.text;
  const char decimal = e.decimal;
  const std::int64_t first_record = e.first_record, rows = e.rows;
  const std::vector<char>& row_sup = e.row_sup;
  const std::vector<std::size_t>& cols = e.cols;
  Splitter splitter(text, e.separator);
  out.reserve(text.size() + text.size() / 4);
  char buf[input::kShortestFloatChars];
  Record r;
  for (std::int64_t i = first_record; i < rows && splitter.next(r); ++i) {
    if (row_sup[static_cast<std::size_t>(i)]) continue;
    for (std::size_t k = 0; k < cols.size(); ++k) {
      if (k > 0) out += ' ';
      const std::string_view cell = r.fields[cols[k]].text;
      if (decimal == '.' && input::is_shortest_float_text(cell)) {
        out.append(cell);
        continue;
      }
      float v = kMissing;
      bool too_large = false;
      if (!is_missing(cell)) input::parse_csv_number(cell, decimal, v, too_large);
      out.append(buf, input::write_shortest_float(buf, analysis::data_value(v)));
    }
    out += '\n';
  }
}

// The same for a block whose cells are their own data-file text: the
// written cells of each kept line as they are, a blank between them.
void copy_plain_block(const BlockEdit& e, std::string& out) {
  const std::string_view text = e.text;
  const char separator = e.separator;
  const std::int64_t first_record = e.first_record, records = e.records, rows = e.rows;
  const std::vector<char>& row_sup = e.row_sup;
  const std::vector<char>& written = e.written;
  out.reserve(text.size() + 16);
  const char* p = text.data();
  const char* const end = p + text.size();
  const bool every = std::find(written.begin(), written.end(), 0) == written.end();
  const auto sup = row_sup.begin() + first_record;
  if (every && first_record + records <= rows && std::find(sup, sup + records, 1) == sup + records &&
      std::memchr(p, '\r', text.size()) == nullptr) {
    // Every line kept whole, each ending with LF: the block itself.
    out.assign(text);
    for (char& c : out) c = c == separator ? ' ' : c;
    if (!out.empty() && out.back() != '\n') out += '\n';
    return;
  }
  for (std::int64_t i = first_record; i < rows && p < end; ++i) {
    const bool keep = !row_sup[static_cast<std::size_t>(i)];
    if (every) {
      // The whole line, its separators made blanks.
      const char* f = p;
      while (p < end && *p != '\n' && *p != '\r') ++p;
      if (keep) {
        const std::size_t at = out.size();
        out.append(f, static_cast<std::size_t>(p - f));
        std::replace(out.begin() + static_cast<std::ptrdiff_t>(at), out.end(), separator, ' ');
        out += '\n';
      }
      if (p < end) p += *p == '\r' && p + 1 < end && p[1] == '\n' ? 2 : 1;
      continue;
    }
    bool first = true;
    for (std::size_t j = 0;; ++j) {
      const char* f = p;
      while (p < end && *p != separator && *p != '\n' && *p != '\r') ++p;
      if (keep && written[j]) {
        if (!first) out += ' ';
        out.append(f, static_cast<std::size_t>(p - f));
        first = false;
      }
      if (p < end && *p == separator) {
        ++p;
        continue;
      }
      break;
    }
    if (keep) out += '\n';
    if (p < end) p += *p == '\r' && p + 1 < end && p[1] == '\n' ? 2 : 1;
  }
}

void edit_block(const BlockEdit& e, std::string& out) {
  if (has_quotes(e.text))
    edit_records<RecordSplitter>(e, out);
  else
    edit_records<LineSplitter>(e, out);
}

}  // namespace

void StreamedImport::write_rows(const std::function<void(std::string_view)>& sink) const {
  State& s = *s_;
  if (s.blocks.empty()) return;
  const int fd = ::open(s.options.import_file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    throw textio::IoError(std::strerror(errno), "OPEN", textio::units::kImportTable,
                          s.options.import_file);
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  // Each block is read and edited on the pool, and handed to the sink in order.
  struct Slot {
    std::string text, out;
    const Block* block = nullptr;
    int error = 0;  // errno of a failed read; -1: the table is shorter than it was
  };
  std::vector<char> written(s.width, 0);
  for (std::size_t j : s.written_cols) written[j] = 1;
  auto job = [&s, &written, fd](Slot& slot) {
    const Block& b = *slot.block;
    slot.text.resize(b.size);
    std::size_t got = 0;
    while (got < b.size) {
      const ssize_t n = ::pread(fd, slot.text.data() + got, b.size - got,
                                static_cast<off_t>(b.offset + got));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        slot.error = n < 0 ? errno : -1;
        return;
      }
      got += static_cast<std::size_t>(n);
    }
    const BlockEdit edit{slot.text, s.separator, s.settings.decimal, b.first_record, b.records,
                         s.rows_total, s.row_sup, s.written_cols, written};
    if (b.plain)
      copy_plain_block(edit, slot.out);
    else
      edit_block(edit, slot.out);
    std::string().swap(slot.text);
  };
  const auto take = [&s, &sink](Slot& slot) {
    if (slot.error != 0)
      throw textio::IoError(slot.error > 0 ? std::strerror(slot.error) : "the table changed while read",
                            "READ", textio::units::kImportTable, s.options.import_file);
    sink(slot.out);
  };
  import_detail::OrderedWindow<Slot> window(s.pool, s.in_flight);
  for (const Block& b : s.blocks) {
    if (b.first_record >= s.rows_total) break;
    window.make_room(take);
    auto slot = std::make_unique<Slot>();
    slot->block = &b;
    window.launch(std::move(slot), job);
  }
  window.drain(take);
}

}  // namespace orthaxis::driver