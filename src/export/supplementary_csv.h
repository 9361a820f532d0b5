#pragma once
// The tables of the supplementary elements, beside objects.csv and
// variables.csv and in their normalisation: objects_sup.csv
// (index,label,F1..Fq,cos2_1..q; the index is the object's row in the
// imported table), variables_sup.csv (index,label,G1..Gq,cos2_1..q) and
// groups.csv (variable,level,count,F1..Fq,cos2_1..q,vtest_1..q). Each is
// written when there are elements of its kind.

#include "export/csv.h"
#include "input/supplementary_files.h"
#include "results/supplementary.h"
#include "textio/directory.h"

namespace orthaxis::csv {

inline constexpr const char* kSupplementaryObjectTable = "objects_sup.csv";
inline constexpr const char* kSupplementaryVariableTable = "variables_sup.csv";
inline constexpr const char* kGroupTable = "groups.csv";

// A double with 9 significant digits (NaN for an undefined value).
std::string number9(double value);

void supplementary_point_table(std::string_view prefix, const results::SupplementaryPoints& points,
                               std::span<const std::int64_t> index,
                               std::span<const std::string> labels, const LineSink& line);
void group_table(std::span<const results::LevelPoint> levels, std::int32_t axes,
                 const LineSink& line);

struct SupplementaryTables {
  const input::SupplementaryData& data;
  const results::SupplementaryPoints& objects;
  const results::SupplementaryPoints& variables;
  std::span<const results::LevelPoint> levels;
  std::int32_t axes = 0;
};
void write_supplementary_tables(const textio::Directory& dir, const SupplementaryTables& t);

}  // namespace orthaxis::csv
