// The streamed import (import_stream.h): its readings in order and what it
// hands out. The block reader is in import_blocks.cpp, the parse of a block
// in import_parse.cpp, the readings that decide the columns in
// import_first_reading.cpp, their outcome in import_outcome.cpp and the
// data file's rows in import_second_reading.cpp.

#include "driver/import_stream.h"

#include <stdexcept>

#include "driver/import_state.h"

namespace orthaxis::driver {

ImportTuning& import_tuning() {
  static ImportTuning tuning;
  return tuning;
}

void StreamedImport::State::run() {
  Plan plan;
  Reading first;
  if (read(plan, first)) {
    first_text = first.found_text;
    first_line = first.found_line;
    finish(plan, first);
    return;
  }
  first_text = std::move(first.found_text);
  first_line = std::move(first.found_line);
  first = Reading{};
  Reading again;
  if (!read(plan, again)) throw std::logic_error("the table reads differently a second time");
  finish(plan, again);
}

StreamedImport::StreamedImport(const Options& options, const std::string& file,
                               std::size_t threads)
    : s_(std::make_unique<State>(options, file, threads)) {
  s_->run();
}

StreamedImport::~StreamedImport() = default;

std::int64_t StreamedImport::rows() const { return s_->active_rows; }
std::int64_t StreamedImport::columns() const {
  return static_cast<std::int64_t>(s_->variables.size());
}
std::int64_t StreamedImport::missing() const { return s_->missing; }
bool StreamedImport::object_names() const { return s_->names; }
const std::vector<std::string>& StreamedImport::variables() const { return s_->variables; }
const std::vector<std::string>& StreamedImport::objects() const { return s_->active_objects; }
const input::SupplementaryData& StreamedImport::supplementary() const { return s_->supplementary; }
const std::vector<std::string>& StreamedImport::notices() const { return s_->notices; }

}  // namespace orthaxis::driver
