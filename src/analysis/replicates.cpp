#include "analysis/replicates.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>

#include "analysis/cross_products.h"
#include "analysis/jacobi.h"
#include "analysis/keyed_random.h"
#include "analysis/packed.h"
#include "analysis/random_table.h"
#include "analysis/statistics.h"
#include "coa/correspondence_analysis.h"

namespace orthaxis::analysis {

namespace {

// Rows taken from the columns at a time, so that each column is read in
// runs.
constexpr std::size_t kTileRows = 256;

// The eigenvalues of the packed matrix `a`, non-increasing: the one call of
// the eigenanalysis for the replicates, which report no progress.
bool eigenvalues_of(std::int32_t p, std::span<float> a, std::span<float> values) {
  if (jacobi_values(p, a) != Convergence::kConverged) return false;
  for (std::size_t k = 1; k <= static_cast<std::size_t>(p); ++k)
    values[k - 1] = a[packed_index(k, k)];
  return true;
}

bool all_finite(std::span<const float> a) {
  return std::all_of(a.begin(), a.end(), [](float x) { return std::isfinite(x); });
}

// What one replicate works in; one per thread at a time.
struct Work {
  std::vector<float> a;
  std::vector<float> count, sx, sy, qx, qy;  // PCA pair sums
  std::vector<float> sum, present, sd;       // PCA per variable
  std::vector<float> object_ssq, row_total;  // PCA per object
  std::vector<float> tile;                   // PCA: rows gathered from the columns
  std::vector<float> table;                  // the replicate's data
  std::vector<std::int64_t> counts;          // CoA: the random table
  std::vector<double> weights;               // CoA: the random table's work space
};

Work pca_work(std::size_t n, std::size_t p) {
  Work w;
  const std::size_t packed = packed_length(p);
  w.a.assign(packed + p, 0.0f);
  for (auto* v : {&w.count, &w.sx, &w.sy, &w.qx, &w.qy}) v->assign(packed, 0.0f);
  for (auto* v : {&w.sum, &w.present, &w.sd}) v->assign(p, 0.0f);
  w.object_ssq.assign(n, 0.0f);
  w.row_total.assign(n, 0.0f);
  w.tile.assign(kTileRows * p, 0.0f);
  return w;
}

bool pca_of_columns(AnalysisType type, std::size_t n, std::size_t p, const float* columns,
                    Work& w, std::span<float> values) {
  for (auto* v : {&w.a, &w.count, &w.sx, &w.sy, &w.qx, &w.qy})
    std::fill(v->begin(), v->end(), 0.0f);
  const std::size_t packed = packed_length(p);
  const PairSums s{std::span<float>(w.a).first(packed), w.count, w.sx, w.sy, w.qx, w.qy};
  VariableSums v{w.sum, w.present, w.object_ssq, w.row_total, 0.0f};
  start_variable_sums(v, static_cast<std::int32_t>(n));
  {
    PairAccumulator pairs(static_cast<std::int32_t>(p), static_cast<std::int32_t>(n), s,
                          nullptr, &v);
    for (std::size_t i0 = 0; i0 < n; i0 += kTileRows) {
      const std::size_t rows = std::min(kTileRows, n - i0);
      const std::size_t ahead = std::min(kTileRows, n - std::min(n, i0 + kTileRows));
      for (std::size_t c = 0; c < p; ++c) {
        const float* column = columns + c * n + i0;
        // The next tile's part of the column, asked for ahead: the columns
        // are too many streams for the processor to foresee.
        for (std::size_t t = 0; t < ahead; t += 16) __builtin_prefetch(column + rows + t);
        for (std::size_t t = 0; t < rows; ++t) w.tile[t * p + c] = column[t];
      }
      for (std::size_t t = 0; t < rows; ++t)
        pairs.add(std::span<const float>(w.tile.data() + t * p, p));
    }
    pairs.finish();
  }
  Statistics st{w.sum, w.sd, w.present, 0.0f, false};
  finish_statistics(type, static_cast<std::int32_t>(p), s, st);
  if (st.zero_variance || !all_finite(s.a)) return false;
  return eigenvalues_of(static_cast<std::int32_t>(p), w.a, values);
}

bool coa_of_rows(const Margins& m, const float* rows, Work& w, std::span<float> values) {
  const std::size_t n = m.rows.size(), p = m.columns.size();
  // The residuals only read the table's totals.
  const coa::Table t{static_cast<std::int32_t>(n), static_cast<std::int32_t>(p),
                     std::span<float>(const_cast<float*>(m.column_share.data()), p),
                     std::span<float>(const_cast<float*>(m.row_share.data()), n), m.grand_total};
  CrossProductPass pass(p, nullptr);
  for (std::size_t i = 0; i < n; ++i) {
    coa::standardized_residuals(t, i, std::span<const float>(rows + i * p, p), pass.next_row());
    pass.row_done();
  }
  pass.finish(std::span<float>(w.a).first(packed_length(p)));
  if (!all_finite(std::span<const float>(w.a).first(packed_length(p)))) return false;
  return eigenvalues_of(static_cast<std::int32_t>(p), w.a, values);
}

// Runs replicate(r, work, values) for every replicate on the pool, each
// thread with a work space of its own; the first failed replicate (by
// number, whichever thread met it) is raised.
template <class MakeWork, class Replicate>
std::vector<float> run_replicates(const ReplicateRun& run, std::size_t p, MakeWork make_work,
                                  Replicate replicate) {
  const std::size_t count = static_cast<std::size_t>(run.replicates);
  std::vector<float> values(count * p, 0.0f);
  std::vector<char> failed(count, 0);
  std::mutex mutex;
  std::vector<std::unique_ptr<Work>> idle;
  std::int32_t done = 0;
  auto task = [&](std::size_t r) {
    std::unique_ptr<Work> w;
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (!idle.empty()) {
        w = std::move(idle.back());
        idle.pop_back();
      }
    }
    if (!w) w = std::make_unique<Work>(make_work());
    failed[r] = !replicate(r, *w, std::span<float>(values.data() + r * p, p));
    std::lock_guard<std::mutex> lock(mutex);
    idle.push_back(std::move(w));
    ++done;
    if (run.done) run.done(done);
  };
  if (run.pool != nullptr) {
    run.pool->run(count, task);
  } else {
    for (std::size_t r = 0; r < count; ++r) task(r);
  }
  for (std::size_t r = 0; r < count; ++r)
    if (failed[r])
      throw ReplicateFailure(static_cast<std::int32_t>(r + 1),
                             "replicate " + std::to_string(r + 1) +
                                 " has a resemblance that is not a number, or its "
                                 "eigenanalysis does not converge");
  return values;
}

}  // namespace

bool pca_eigenvalues(AnalysisType type, std::int32_t n, std::int32_t p,
                     std::span<const float> columns, std::span<float> values) {
  Work w = pca_work(static_cast<std::size_t>(n), static_cast<std::size_t>(p));
  return pca_of_columns(type, static_cast<std::size_t>(n), static_cast<std::size_t>(p),
                        columns.data(), w, values);
}

std::vector<float> pca_replicates(AnalysisType type, std::int32_t n32, std::int32_t p32,
                                  std::span<const float> columns, const ReplicateRun& run) {
  const std::size_t n = static_cast<std::size_t>(n32), p = static_cast<std::size_t>(p32);
  return run_replicates(
      run, p,
      [n, p] {
        Work w = pca_work(n, p);
        w.table.assign(n * p, 0.0f);
        return w;
      },
      [&](std::size_t r, Work& w, std::span<float> values) {
        for (std::size_t c = 0; c < p; ++c) {
          KeyedStream stream(run.seed, static_cast<std::uint32_t>(r),
                             static_cast<std::uint32_t>(c));
          shuffled_copy(columns.subspan(c * n, n), std::span<float>(w.table).subspan(c * n, n),
                        stream);
        }
        return pca_of_columns(type, n, p, w.table.data(), w, values);
      });
}

bool coa_eigenvalues(const Margins& m, std::span<const float> rows, std::span<float> values) {
  const std::size_t p = m.columns.size();
  Work w;
  w.a.assign(packed_length(p) + p, 0.0f);
  return coa_of_rows(m, rows.data(), w, values);
}

std::vector<float> coa_replicates(const Margins& m, const ReplicateRun& run) {
  const std::size_t n = m.rows.size(), p = m.columns.size();
  return run_replicates(
      run, p,
      [n, p] {
        Work w;
        w.a.assign(packed_length(p) + p, 0.0f);
        w.table.assign(n * p, 0.0f);
        w.counts.assign(n * p, 0);
        return w;
      },
      [&](std::size_t r, Work& w, std::span<float> values) {
        KeyedStream stream(run.seed, static_cast<std::uint32_t>(r), 0);
        random_table(m.rows, m.columns, stream, w.counts, w.weights);
        for (std::size_t k = 0; k < n * p; ++k) w.table[k] = static_cast<float>(w.counts[k]);
        return coa_of_rows(m, w.table.data(), w, values);
      });
}

}  // namespace orthaxis::analysis
