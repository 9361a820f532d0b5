#include "results/scores.h"

#include <cmath>

#include "plot/scatter_plot.h"
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

// Stands for an absent value in the row buffer; sums skip values equal to it.
constexpr float kAbsent = -123456.7f;

void print_object_line(textio::Printer& print, const ScoreMatrix& scores, std::int32_t i,
                       std::span<const float> values) {
  if (scores.labelled()) {
    print.both(kObjectLineLabelled, {i, scores.label(static_cast<std::size_t>(i - 1)), values});
  } else {
    print.both(kObjectLine, {i, values});
  }
}
}  // namespace

void object_scores(const ScoreOutput& out, const PcaModel& m, const Eigensystem& eigen,
                   std::int32_t normalisation, ScoreMatrix& scores,
                   std::span<float> component_means, std::span<float> centred_ssq,
                   const RowBuffers& buffers) {
  using analysis::AnalysisType;
  textio::Printer& print = out.print;
  input::ScratchFile& scratch = *m.scratch;
  const std::size_t n = static_cast<std::size_t>(m.n);
  const std::size_t p = static_cast<std::size_t>(m.p);
  const std::size_t q = static_cast<std::size_t>(scores.axes());
  const bool cross_products = m.type == AnalysisType::kCrossProducts;
  const bool to_lambda = normalisation == 0;
  const bool variance_shares = to_lambda && !cross_products;
  const std::span<float> share = buffers.share;
  for (std::size_t i = 0; i < n; ++i) centred_ssq[i] = 0.0f;
  for (std::size_t c = 0; c < q; ++c) component_means[c] = 0.0f;

  if (variance_shares) print.both(kVarianceSharesHeading);
  const std::span<float> x = buffers.row.first(p);
  for (std::size_t i = 0; i < n; ++i) {
    scratch.read_row(x);
    for (std::size_t j = 0; j < p; ++j) {
      if (x[j] < 0.0f) {
        x[j] = kAbsent;
        continue;
      }
      if (m.type != AnalysisType::kCorrelations) {
        const float d = x[j] - m.mean[j];
        centred_ssq[i] += d * d;
      }
      if (!cross_products) x[j] = x[j] - m.mean[j];
      if (m.type == AnalysisType::kCorrelations) {
        x[j] = x[j] / m.sd[j];
        centred_ssq[i] += x[j] * x[j];
      }
    }
    for (std::size_t c = 0; c < q; ++c) {
      const float* e = eigen.vectors.data() + c * p;
      const float lambda = eigen.values[c];
      float s = 0.0f;
      for (std::size_t j = 0; j < p; ++j) {
        if (x[j] == kAbsent) continue;
        if (to_lambda) {
          s = s + x[j] * e[j];
        } else if (m.type == AnalysisType::kCorrelations) {
          s = s + x[j] * e[j] / std::sqrt(lambda) / std::sqrt(m.count[j] - 1.0f);
        } else {
          s = s + x[j] * e[j] / std::sqrt((m.count[j] - 1.0f) * lambda);
        }
      }
      scores.at(i, c) = s;
      if (cross_products) {
        component_means[c] += s;
      } else {
        share[c] = s * s * 100.0f / centred_ssq[i];
      }
    }
    if (variance_shares) {
      print_object_line(print, scores, static_cast<std::int32_t>(i + 1),
                        std::span<const float>(share.data(), q));
    }
  }
  scratch.rewind();

  if (cross_products) {
    const float objects = static_cast<float>(m.n);
    for (std::size_t c = 0; c < q; ++c) component_means[c] = component_means[c] / objects;
    print.both(kSquareSharesHeading);
    for (std::size_t i = 0; i < n; ++i) {
      for (std::size_t c = 0; c < q; ++c) {
        const float s = scores.at(i, c);
        share[c] = s * s * 100.0f / m.object_ssq[i];
      }
      print_object_line(print, scores, static_cast<std::int32_t>(i + 1),
                        std::span<const float>(share.data(), q));
    }
  }

  print.both(kScoresHeading);
  out.file.write(" Component scores from " + out.title);
  out.file.write(textio::free_format_record({m.n, scores.axes()}));
  for (std::size_t i = 0; i < n; ++i) {
    const std::span<const float> s = scores.point(i);
    print_object_line(print, scores, static_cast<std::int32_t>(i + 1), s);
    const textio::Value list[] = {s};
    kScoreRecord.write(list, [&out](std::string_view r) { out.file.write(r); });
  }

  if (scores.axes() > 1) plot::scatter_plot(scores, 1, 2, print.console_device());
}

}  // namespace orthaxis::results
