#include "results/scores.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <exception>
#include <vector>

#include "results/object_groups.h"
#include "textio/free_format.h"

namespace orthaxis::results {

namespace {
const textio::Format kVarianceSharesHeading{
    "(///3X,'PERCENTAGE OF VARIANCE OF OBJECTS ACCOUNTED',' FOR BY EACH COMPONENT'//)"};
const textio::Format kSquareSharesHeading{
    "(//'   PERCENTAGE OF SSQ OF OBJECTS ACCOUNTED', ' FOR BY EACH COMPONENT'//)"};
const textio::Format kScoresHeading{"(///3X,'COMPONENT SCORES'//)"};
const textio::Format kObjectLine{"(I5,5F12.3/(5X,5F12.3))"};
const textio::Format kObjectLineLabelled{"(I4,1X,A8,1X,5F12.3/(14X,5F12.3))"};
const textio::Format kScoreRecord{"(8F10.4)"};


// The records of one object line, each ended by a line feed.
void object_line_records(const ScoreMatrix& scores, std::int32_t i, std::span<const float> values,
                         std::string& out) {
  auto add = [&out](std::string_view r) {
    out.append(r);
    out.push_back('\n');
  };
  if (scores.labelled()) {
    const textio::Value list[] = {i, scores.label(static_cast<std::size_t>(i - 1)), values};
    kObjectLineLabelled.write(list, add);
  } else {
    const textio::Value list[] = {i, values};
    kObjectLine.write(list, add);
  }
}

// Records made by object_line_records, to the report, then to the console.
void print_records(textio::Printer& print, std::string_view text) {
  print.report_file().write_records(text);
  print.console_device().write_records(text);
}

// Lists objects 0 .. n-1 in object order: make(i, both, file) appends the
// records of object i for the report and the console and those for the
// score file. With a pool, a block of objects is made on its threads while
// the block before is written.
template <class Make>
void list_objects(textio::Printer& print, textio::RecordFile* file, std::size_t n,
                  analysis::WorkerPool* pool, const Make& make) {
  auto write = [&](std::string_view both, std::string_view file_records) {
    print_records(print, both);
    if (!file_records.empty()) file->write_records(file_records);
  };
  if (pool == nullptr || pool->size() < 2) {
    std::string both, file_records;
    for (std::size_t i = 0; i < n; ++i) {
      both.clear();
      file_records.clear();
      make(i, both, file_records);
      write(both, file_records);
    }
    return;
  }
  constexpr std::size_t kBlock = 1024;
  const std::size_t parts = 4 * pool->size();
  struct Block {
    std::size_t first = 0, count = 0;
    std::vector<std::string> both, file;
    analysis::WorkerPool::Handle making;
  };
  Block blocks[2];
  auto start = [&](Block& b, std::size_t first) {
    b.first = first;
    b.count = std::min(kBlock, n - first);
    b.both.resize(b.count);
    b.file.resize(b.count);
    const std::size_t parts_here = std::min(parts, b.count);
    b.making = pool->start(parts_here, [&, &b = b, parts_here](std::size_t part) {
      for (std::size_t k = b.count * part / parts_here; k < b.count * (part + 1) / parts_here; ++k) {
        b.both[k].clear();
        b.file[k].clear();
        make(b.first + k, b.both[k], b.file[k]);
      }
    });
  };
  const analysis::WorkerPool::Settle settle(*pool, {&blocks[0].making, &blocks[1].making});
  std::size_t current = 0;
  if (n > 0) start(blocks[0], 0);
  for (std::size_t first = 0; first < n; first += kBlock) {
    Block& b = blocks[current];
    pool->wait(b.making);
    if (first + kBlock < n) start(blocks[current ^ 1], first + kBlock);
    for (std::size_t k = 0; k < b.count; ++k) write(b.both[k], b.file[k]);
    current ^= 1;
  }
}

}  // namespace

namespace {

// Scores of objects: each row is centred (and scaled), its centred sum of
// squares and its q scores are stored, and its shares of variance (not for
// the cross products) are given. A score on component c is the sum over the
// present values of x(j) e(j, c), to unit length divided by sqrt(lambda(c))
// and sqrt(count(j) - 1) (correlations) or by sqrt((count(j) - 1) lambda(c));
// the roots are taken once here, the same values every term would take.
class ObjectScorer {
 public:
  ObjectScorer(const PcaModel& m, const Eigensystem& eigen, bool to_lambda, std::size_t p,
               std::size_t q)
      : m_(m), eigen_(eigen), to_lambda_(to_lambda), p_(p), q_(q) {
    using analysis::AnalysisType;
    if (to_lambda_) return;
    if (m_.type == AnalysisType::kCorrelations) {
      root_lambda_.resize(q_);
      root_count_.resize(p_);
      for (std::size_t c = 0; c < q_; ++c) root_lambda_[c] = std::sqrt(eigen_.values[c]);
      for (std::size_t j = 0; j < p_; ++j) root_count_[j] = std::sqrt(m_.count[j] - 1.0f);
    } else {
      root_both_.resize(q_ * p_);
      for (std::size_t c = 0; c < q_; ++c)
        for (std::size_t j = 0; j < p_; ++j)
          root_both_[c * p_ + j] = std::sqrt((m_.count[j] - 1.0f) * eigen_.values[c]);
    }
  }

  // Objects first .. first + count - 1, their rows at rows (p values each,
  // used as work space); `share` receives q values per object.
  void operator()(float* rows, std::size_t first, std::size_t count, std::span<float> centred_ssq,
                  ScoreMatrix& scores, float* share) const {
    using analysis::AnalysisType;
    const auto x = std::make_unique_for_overwrite<float[]>(p_ * kGroup);
    float ssq[kGroup], score[kGroup];
    for (std::size_t g = 0; g < count; g += kGroup) {
      const std::size_t lanes = std::min(kGroup, count - g);
      interleave_group(rows + g * p_, lanes, p_, x.get());
      for (std::size_t k = 0; k < kGroup; ++k) ssq[k] = centred_ssq[first + g + std::min(k, lanes - 1)];
      centre_group(m_.type, p_, m_.mean.data(), m_.sd.data(), x.get(), ssq);
      for (std::size_t k = 0; k < lanes; ++k) centred_ssq[first + g + k] = ssq[k];
      for (std::size_t c = 0; c < q_; ++c) {
        const float* e = eigen_.vectors.data() + c * p_;
        if (to_lambda_) {
          sum_group(Divide::kNot, p_, x.get(), e, 0.0f, nullptr, score);
        } else if (m_.type == AnalysisType::kCorrelations) {
          sum_group(Divide::kTwice, p_, x.get(), e, root_lambda_[c], root_count_.data(), score);
        } else {
          sum_group(Divide::kOnce, p_, x.get(), e, 0.0f, root_both_.data() + c * p_, score);
        }
        for (std::size_t k = 0; k < lanes; ++k) {
          scores.at(first + g + k, c) = score[k];
          if (m_.type != AnalysisType::kCrossProducts)
            share[(g + k) * q_ + c] = score[k] * score[k] * 100.0f / ssq[k];
        }
      }
    }
  }

 private:
  const PcaModel& m_;
  const Eigensystem& eigen_;
  bool to_lambda_;
  std::size_t p_, q_;
  std::vector<float> root_lambda_, root_count_, root_both_;
};

}  // namespace

namespace {

// Scores every object, and lists the variance shares (normalised to lambda,
// centred types) as the objects come: the shares are made where the object
// is scored.
void score_objects(const ScoreOutput& out, const PcaModel& m, const Eigensystem& eigen,
                   bool to_lambda, ObjectScores& result) {
  using analysis::AnalysisType;
  ScoreMatrix& scores = result.scores;
  const std::size_t n = static_cast<std::size_t>(m.n);
  const std::size_t p = static_cast<std::size_t>(m.p);
  const std::size_t q = static_cast<std::size_t>(scores.axes());
  const bool cross_products = m.type == AnalysisType::kCrossProducts;
  const bool variance_shares = to_lambda && !cross_products;
  std::vector<float> centred_ssq(n, 0.0f);

  if (variance_shares) out.print.both(kVarianceSharesHeading);
  const ObjectScorer score(m, eigen, to_lambda, p, q);
  // Per slot of the blocks in use: the object's shares and its
  // variance-share line, made where the object is scored.
  const std::size_t slots = 2 * block_rows(p);
  std::vector<float> shares(slots * std::max<std::size_t>(q, 1));
  std::vector<std::string> lines(slots);
  score_in_blocks(
      *m.scratch, n, p, out.pool,
      [&](const ObjectRun& r) {
        float* run_shares = shares.data() + r.slot * q;
        score(r.rows, r.first, r.count, centred_ssq, scores, run_shares);
        if (!variance_shares) return;
        for (std::size_t k = 0; k < r.count; ++k) {
          std::string& line = lines[r.slot + k];
          line.clear();
          object_line_records(scores, static_cast<std::int32_t>(r.first + k + 1),
                              std::span<const float>(run_shares + k * q, q), line);
        }
      },
      [&](const ObjectRun& r) {
        for (std::size_t k = 0; k < r.count; ++k) {
          const std::size_t i = r.first + k;
          if (cross_products) {
            for (std::size_t c = 0; c < q; ++c) result.component_means[c] += scores.at(i, c);
          }
          if (variance_shares) print_records(out.print, lines[r.slot + k]);
        }
      });
  m.scratch->rewind();
}

// Cross products: the mean score of each component, and the shares of each
// object's sum of squares.
void list_square_shares(const ScoreOutput& out, const PcaModel& m, ObjectScores& result) {
  const ScoreMatrix& scores = result.scores;
  const std::size_t q = static_cast<std::size_t>(scores.axes());
  const float objects = static_cast<float>(m.n);
  for (std::size_t c = 0; c < q; ++c)
    result.component_means[c] = result.component_means[c] / objects;
  out.print.both(kSquareSharesHeading);
  list_objects(out.print, nullptr, static_cast<std::size_t>(m.n), out.pool,
               [&](std::size_t i, std::string& both, std::string&) {
                 std::vector<float> object_share(q);
                 for (std::size_t c = 0; c < q; ++c) {
                   const float s = scores.at(i, c);
                   object_share[c] = s * s * 100.0f / m.object_ssq[i];
                 }
                 object_line_records(scores, static_cast<std::int32_t>(i + 1), object_share, both);
               });
}

// The score listing and the object-score file.
void list_object_scores(const ScoreOutput& out, const PcaModel& m, const ScoreMatrix& scores) {
  out.print.both(kScoresHeading);
  out.file.write(" Component scores from " + out.title);
  out.file.write(textio::free_format_record({m.n, scores.axes()}));
  list_objects(out.print, &out.file, static_cast<std::size_t>(m.n), out.pool,
               [&](std::size_t i, std::string& both, std::string& file) {
                 const std::span<const float> s = scores.point(i);
                 object_line_records(scores, static_cast<std::int32_t>(i + 1), s, both);
                 const textio::Value list[] = {s};
                 kScoreRecord.write(list, [&file](std::string_view r) {
                   file.append(r);
                   file.push_back('\n');
                 });
               });
}

}  // namespace

ObjectScores object_scores(const ScoreOutput& out, const PcaModel& m, const Eigensystem& eigen,
                           const ScoreRequest& r, analysis::WorkArray storage) {
  ObjectScores result{
      ScoreMatrix(std::move(storage), m.n, r.axes, ScoreLayout::kPointRows, r.labels),
      std::vector<float>(static_cast<std::size_t>(r.axes), 0.0f)};
  score_objects(out, m, eigen, r.option == 0, result);
  if (m.type == analysis::AnalysisType::kCrossProducts) list_square_shares(out, m, result);
  list_object_scores(out, m, result.scores);
  return result;
}

}  // namespace orthaxis::results
