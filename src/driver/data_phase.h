#pragma once
// The run's work storage and its data pass. The storage is allocated once,
// when n and p are settled, and each buffer is then handed from step to step
// by move: the packed pair sums become the resemblance matrix, whose storage
// the object scores take over after the eigenanalysis.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/statistics.h"
#include "analysis/work_array.h"
#include "coa/correspondence_analysis.h"
#include "driver/run.h"
#include "driver/work_memory.h"
#include "driver/run_context.h"
#include "input/data_matrix.h"

namespace orthaxis::driver {

// Per-pair sums of the PCA data pass, each packed (p(p+1)/2 values); the
// cross products go into the work matrix.
struct PairStorage {
  analysis::WorkArray count, sx, sy, qx, qy;
};

struct WorkStorage {
  analysis::WorkArray matrix;   // max(q n, p(p+1)/2) + p: the packed matrix, then the object scores
  analysis::WorkArray vectors;  // p x p: the eigenvectors
  PairStorage pairs;
  analysis::WorkArray sum, count, row;  // per variable
  analysis::WorkArray object_ssq, row_total;  // per object
};

// Allocates everything large that the run holds, after checking that the
// total (with the labels and the eigenanalysis' own copies) can be had.
// `label_count`: the labels that the run will read (objects and variables).
WorkStorage allocate_work(std::int32_t n, std::int32_t p, std::int32_t q,
                          std::size_t label_count, WorkSide side = WorkSide::kJacobi);

// What the data pass gathered: every sum of the statistics, the rows' reading
// findings for a person, and the storage the later steps take over.
struct DataSummary {
  analysis::WorkArray matrix;  // the cross products (PCA), packed; later the matrix to analyse
  PairStorage pairs;
  analysis::WorkArray vectors;
  analysis::WorkArray sum, count, object_ssq, row_total;
  float grand_total = 0.0f;   // correspondence analysis
  coa::FirstNegative first_negative;  // correspondence analysis
  std::vector<std::int64_t> missing;  // a person's PCA: missing values per variable
  input::ReadFindings findings;       // a person's run: values the reads left
  analysis::WorkArray row;             // p values of work space

  analysis::PairSums pair_sums() {
    return {matrix, pairs.count, pairs.sx, pairs.sy, pairs.qx, pairs.qy};
  }
};

// Reads every object's row from the data file (left rewound at its first
// row), writes it to the scratch file and accumulates it.
DataSummary data_pass(const RunContext& run, RunFiles& files, const DataShape& shape,
                      WorkStorage storage);

}  // namespace orthaxis::driver
