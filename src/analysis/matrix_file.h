#pragma once
// The matrix file: the finished resemblance matrix of a PCA run, saved for
// the other programs of the package before the eigenanalysis overwrites it.

#include <cstdint>
#include <span>
#include <string>

#include "textio/record_file.h"

namespace orthaxis::analysis {

// " Matrix from " + title, p in free format, then row r of the lower triangle
// (r values) per statement with "(8F10.3)"; the file is closed afterwards.
void write_matrix_file(textio::RecordFile& file, const std::string& title, std::int32_t p,
                       std::span<const float> a);

}  // namespace orthaxis::analysis
