#include "analysis/matrix_file.h"

#include "textio/format.h"
#include "textio/free_format.h"

namespace orthaxis::analysis {

namespace {
const textio::Format kMatrixRow{"(8F10.3)"};
}  // namespace

void write_matrix_file(textio::RecordFile& file, const std::string& title, std::int32_t p,
                       std::span<const float> a) {
  file.write(" Matrix from " + title);
  file.write(textio::free_format_record({p}));
  std::size_t start = 0;
  for (std::size_t r = 1; r <= static_cast<std::size_t>(p); ++r) {
    const textio::Value row[] = {a.subspan(start, r)};
    kMatrixRow.write(row, [&file](std::string_view rec) { file.write(rec); });
    start += r;
  }
  file.close();
}

}  // namespace orthaxis::analysis
