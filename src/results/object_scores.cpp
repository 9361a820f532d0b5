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

void print_object_line(textio::Printer& print, const LabelSet& labels, std::int32_t i,
                       std::span<const float> values) {
  if (labels.used) {
    print.both(kObjectLineLabelled, {i, labels.text[static_cast<std::size_t>(i - 1)], values});
  } else {
    print.both(kObjectLine, {i, values});
  }
}
}  // namespace

void object_scores(textio::Printer& print, input::ScratchFile& scratch,
                   textio::RecordFile& score_file, const std::string& title, const PcaModel& m,
                   std::int32_t normalisation, std::span<const float> object_ssq,
                   const LabelSet& labels, std::span<float> scores, std::span<float> centred_ssq,
                   std::span<float> component_sums, std::span<float> row,
                   std::span<float> share) {
  const std::size_t n = static_cast<std::size_t>(m.n);
  const std::size_t p = static_cast<std::size_t>(m.p);
  const std::size_t q = static_cast<std::size_t>(m.q);
  const bool to_lambda = normalisation == 0;
  const bool variance_shares = to_lambda && m.type != 1;
  for (std::size_t i = 0; i < n; ++i) centred_ssq[i] = 0.0f;
  for (std::size_t c = 0; c < q; ++c) component_sums[c] = 0.0f;

  if (variance_shares) print.both(kVarianceSharesHeading);
  const std::span<float> x = row.first(p);
  for (std::size_t i = 0; i < n; ++i) {
    scratch.read_row(x);
    for (std::size_t j = 0; j < p; ++j) {
      if (x[j] < 0.0f) {
        x[j] = kAbsent;
        continue;
      }
      if (m.type < 3) {
        const float d = x[j] - m.mean[j];
        centred_ssq[i] += d * d;
      }
      if (m.type != 1) x[j] = x[j] - m.mean[j];
      if (m.type == 3) {
        x[j] = x[j] / m.sd[j];
        centred_ssq[i] += x[j] * x[j];
      }
    }
    for (std::size_t c = 0; c < q; ++c) {
      const float* e = m.eigenvectors.data() + c * p;
      const float lambda = m.eigenvalues[c];
      float s = 0.0f;
      for (std::size_t j = 0; j < p; ++j) {
        if (x[j] == kAbsent) continue;
        if (to_lambda) {
          s = s + x[j] * e[j];
        } else if (m.type == 3) {
          s = s + x[j] * e[j] / std::sqrt(lambda) / std::sqrt(m.count[j] - 1.0f);
        } else {
          s = s + x[j] * e[j] / std::sqrt((m.count[j] - 1.0f) * lambda);
        }
      }
      scores[i * q + c] = s;
      if (m.type == 1) {
        component_sums[c] += s;
      } else {
        share[c] = s * s * 100.0f / centred_ssq[i];
      }
    }
    if (variance_shares) {
      print_object_line(print, labels, static_cast<std::int32_t>(i + 1),
                        std::span<const float>(share.data(), q));
    }
  }
  scratch.rewind();

  if (m.type == 1) {
    const float objects = static_cast<float>(m.n);
    for (std::size_t c = 0; c < q; ++c) component_sums[c] = component_sums[c] / objects;
    print.both(kSquareSharesHeading);
    for (std::size_t i = 0; i < n; ++i) {
      for (std::size_t c = 0; c < q; ++c) {
        const float s = scores[i * q + c];
        share[c] = s * s * 100.0f / object_ssq[i];
      }
      print_object_line(print, labels, static_cast<std::int32_t>(i + 1),
                        std::span<const float>(share.data(), q));
    }
  }

  print.both(kScoresHeading);
  score_file.write(" Component scores from " + title);
  score_file.write(textio::free_format_record({m.n, m.q}));
  for (std::size_t i = 0; i < n; ++i) {
    const std::span<const float> s(scores.data() + i * q, q);
    print_object_line(print, labels, static_cast<std::int32_t>(i + 1), s);
    const textio::Value list[] = {s};
    kScoreRecord.write(list, [&score_file](std::string_view r) { score_file.write(r); });
  }

  if (m.q > 1) {
    plot::scatter_plot(1, 2, m.n, 1, m.q, scores, m.eigenvectors, print.console_device());
  }
}

}  // namespace orthaxis::results
