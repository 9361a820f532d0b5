#include "driver/data_phase.h"

#include <algorithm>
#include <charconv>
#include <initializer_list>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>
#include <utility>

#include <sys/resource.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#include "analysis/cross_products.h"
#include "analysis/jacobi.h"
#include "analysis/lapack_engine.h"
#include "analysis/packed.h"
#include "driver/warnings.h"
#include "input/row_reader.h"
#include "input/scratch_file.h"

namespace orthaxis::driver {

namespace {

std::size_t checked_product(std::size_t a, std::size_t b) {
  std::size_t r = 0;
  if (__builtin_mul_overflow(a, b, &r)) throw AllocationError("work arrays too large for this machine");
  return r;
}

std::size_t checked_sum(std::initializer_list<std::size_t> terms) {
  std::size_t r = 0;
  for (std::size_t t : terms)
    if (__builtin_add_overflow(r, t, &r))
      throw AllocationError("work arrays too large for this machine");
  return r;
}

// A rate with one decimal.
std::string one_decimal(double value) {
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 1);
  return std::string(buf, r.ptr);
}

void show_reading(textio::Messages& messages, std::size_t objects_read, std::int32_t n,
                  std::uint64_t bytes_read) {
  const double seconds = messages.seconds();
  std::string line = "reading objects: " + std::to_string(objects_read) + " of " +
                     std::to_string(n);
  if (seconds > 0.0)
    line += ", " + one_decimal(static_cast<double>(bytes_read) / 1e6 / seconds) + " MB/s";
  messages.show(line);
}

// Correspondence analysis: where the first negative value of the table stands.
void note_first_negative(coa::FirstNegative& first, std::size_t i, std::span<const float> x) {
  if (first.object != 0) return;
  for (std::size_t j = 0; j < x.size(); ++j) {
    if (x[j] < 0.0f) {
      first = {static_cast<std::int64_t>(i + 1), static_cast<std::int64_t>(j + 1)};
      return;
    }
  }
}

}  // namespace

namespace {

// The lengths of the work arrays and the bytes of everything large that the
// run holds at one time.
struct WorkSizes {
  std::size_t packed = 0;  // each pair-sum array
  std::size_t work = 0;    // the packed matrix, then the object scores
  std::size_t square = 0;  // the eigenvectors of the Jacobi method
  std::size_t bytes = 0;
};

WorkSizes work_sizes(std::int32_t n32, std::int32_t p32, std::int32_t q32,
                     std::size_t label_count, WorkSide side) {
  const std::size_t n = static_cast<std::size_t>(n32);
  const std::size_t p = static_cast<std::size_t>(p32);
  const std::size_t q = static_cast<std::size_t>(q32);
  WorkSizes z;
  z.packed = side != WorkSide::kLapackTable ? analysis::packed_length(p) : 0;
  // The scores use at most p axes: q is lowered to the number of positive
  // eigenvalues before them.
  const std::size_t axes = std::min(q, p);
  z.work = checked_sum({std::max(checked_product(axes, n), z.packed), p});
  // The Jacobi method turns this p x p array into the eigenvectors; the
  // LAPACK engine makes its own (counted below).
  z.square = side == WorkSide::kJacobi ? checked_product(p, p) : 0;
  const std::size_t floats =
      checked_sum({z.work, z.square, checked_product(5, z.packed), checked_product(8, p),
                   checked_product(3, n)});
  // Everything large that the run holds at one time: the work arrays (with
  // the p-long and n-long buffers that the steps make for themselves), the
  // labels, and the eigenanalysis' own copies, which come while the work
  // arrays live.
  std::size_t engine_bytes = 0;
  if (side == WorkSide::kJacobi) {
    engine_bytes = analysis::jacobi_workspace_bytes(p32);
  } else {
    // The objects' side when n < p (its vectors: p x n); a PCA that finds a
    // missing value, and any table with n >= p, goes to the variables' side.
    const std::size_t objects =
        n < p ? checked_sum({analysis::lapack_rows_bytes(n32, p32),
                             checked_product(checked_product(p, n), sizeof(float))})
              : 0;
    const std::size_t variables =
        side == WorkSide::kLapack || n >= p
            ? checked_sum({analysis::lapack_packed_bytes(p32),
                           checked_product(checked_product(p, p), sizeof(float))})
            : 0;
    engine_bytes = std::max(objects, variables);
  }
  z.bytes = checked_sum({checked_product(floats, sizeof(float)),
                         checked_product(label_count, sizeof(std::string)), engine_bytes});
  if (z.bytes > static_cast<std::size_t>(std::numeric_limits<std::ptrdiff_t>::max()))
    throw AllocationError("work arrays too large for this machine");
  return z;
}

}  // namespace

std::size_t work_bytes(std::int32_t n, std::int32_t p, std::int32_t q, std::size_t label_count,
                       WorkSide side) {
  return work_sizes(n, p, q, label_count, side).bytes;
}

MemoryLimit memory_limit() {
  MemoryLimit m;
  // Memory and swap together: a run that needs more than both cannot hold
  // its arrays at all, however the system hands out pages.
  const long pages = ::sysconf(_SC_PHYS_PAGES), page = ::sysconf(_SC_PAGE_SIZE);
  if (pages > 0 && page > 0) {
    m.bytes = static_cast<std::size_t>(pages) * static_cast<std::size_t>(page);
    struct sysinfo si;
    if (::sysinfo(&si) == 0)
      m.bytes += static_cast<std::size_t>(si.totalswap) * static_cast<std::size_t>(si.mem_unit);
    m.what = "memory and swap of this machine";
  }
  struct rlimit r;
  if (::getrlimit(RLIMIT_AS, &r) == 0 && r.rlim_cur != RLIM_INFINITY &&
      static_cast<std::size_t>(r.rlim_cur) < m.bytes) {
    m.bytes = static_cast<std::size_t>(r.rlim_cur);
    m.what = "address-space limit of this process";
  }
  return m;
}

void check_work_memory(std::int32_t n, std::int32_t p, std::int32_t q, std::size_t label_count,
                       WorkSide side) {
  const std::size_t bytes = work_bytes(n, p, q, label_count, side);
  const MemoryLimit m = memory_limit();
  if (bytes <= m.bytes) return;
  throw AllocationError("not enough memory for the work arrays: the run needs " +
                        std::to_string(bytes) + " bytes for n = " + std::to_string(n) +
                        ", p = " + std::to_string(p) + ", q = " + std::to_string(q) + ", the " +
                        m.what + " is " + std::to_string(m.bytes) + " bytes");
}

WorkStorage allocate_work(std::int32_t n32, std::int32_t p32, std::int32_t q32,
                          std::size_t label_count, WorkSide side) {
  // A run that cannot fit is refused before any array is touched.
  check_work_memory(n32, p32, q32, label_count, side);
  const WorkSizes z = work_sizes(n32, p32, q32, label_count, side);
  const std::size_t n = static_cast<std::size_t>(n32);
  const std::size_t p = static_cast<std::size_t>(p32);
  // Allocated unset: every array but the row is written whole before it is
  // read (the data pass starts the sums, the pair sums of a pair are first
  // copied in when its pass of sums starts, the eigenanalysis starts its
  // vectors), so a page is first touched by the step that fills it. The row
  // starts at zero: a slash in the data file leaves the rest of a row's
  // values as the row before left them, zero before the first.
  WorkStorage w;
  try {
    w.row.assign(p, 0.0f);
    for (auto* v : {&w.sum, &w.count}) v->resize(p);
    w.row_total.resize(n);
    w.object_ssq.resize(n);
    w.matrix.resize(z.work);
    w.vectors.resize(z.square);
    for (auto* v : {&w.pairs.count, &w.pairs.sx, &w.pairs.sy, &w.pairs.qx, &w.pairs.qy})
      v->resize(z.packed);
  } catch (const std::bad_alloc&) {
    throw AllocationError("not enough memory for the work arrays (the run needs " +
                          std::to_string(z.bytes) + " bytes for n = " + std::to_string(n) +
                          ", p = " + std::to_string(p) + ", q = " + std::to_string(q32) + ")");
  } catch (const std::length_error&) {
    throw AllocationError("work arrays too large for this machine");
  }
  return w;
}

DataSummary data_pass(const RunContext& run, RunFiles& files, const DataShape& shape,
                      WorkStorage storage) {
  const bool coa = run.plan.correspondence();
  const bool person = run.plan.person;
  DataSummary d;
  d.findings = shape.findings;
  d.matrix = std::move(storage.matrix);
  d.pairs = std::move(storage.pairs);
  d.vectors = std::move(storage.vectors);
  d.sum = std::move(storage.sum);
  d.count = std::move(storage.count);
  d.object_ssq = std::move(storage.object_ssq);
  d.row_total = std::move(storage.row_total);
  d.row = std::move(storage.row);
  analysis::VariableSums sums{d.sum, d.count, d.object_ssq, d.row_total, 0.0f};
  analysis::start_variable_sums(sums, shape.n);
  // For PCA the accumulator adds the variable sums with the pairs.
  std::unique_ptr<analysis::PairAccumulator> pairs;
  if (!coa)
    pairs = std::make_unique<analysis::PairAccumulator>(shape.p, shape.n, d.pair_sums(),
                                                        &run.pool, &sums);
  const std::span<float> row(d.row);
  const std::size_t n = static_cast<std::size_t>(shape.n);
  input::RowReader rows(files.data, row.size(), n, &run.pool);
  input::ScratchWriteBehind scratch(*files.scratch, row.size(), &run.pool);
  if (person && !coa) d.missing.assign(row.size(), 0);
  run.messages.start_step();
  for (std::size_t i = 0; i < n; ++i) {
    std::span<const float> x;
    try {
      const input::RowReader::Row r = rows.next(row);
      x = r.values;
      if (person) d.findings.row_read(r.rest, rows.line());
    } catch (const textio::IoError& e) {
      scratch.settle();  // a scratch write that failed before this row comes first
      input::expect_row(e, static_cast<std::int64_t>(i + 1), shape.n, shape.p);
    }
    if (!d.missing.empty())
      for (std::size_t j = 0; j < x.size(); ++j) d.missing[j] += !analysis::present(x[j]);
    if ((i & 4095) == 0 && run.messages.update_due())
      show_reading(run.messages, i, shape.n, rows.bytes_read());
    scratch.write_row(x);
    if (coa) {
      note_first_negative(d.first_negative, i, x);
      analysis::add_variable_sums(sums, i, x, coa);
    } else {
      pairs->add(x);
    }
  }
  scratch.settle();
  if (pairs) pairs->finish();
  d.grand_total = sums.grand_total;
  return d;
}

}  // namespace orthaxis::driver
