#include "results/scores.h"

#include <cmath>
#include <utility>
#include <vector>

#include "textio/free_format.h"

namespace orthaxis::results {

namespace {
const textio::Format kSharesHeading{
    "(///3X,'PERCENTAGE OF VARIANCE OF VARIABLES ACCOUNTED ','FOR BY EACH COMPONENT'//)"};
const textio::Format kVariableLine{"(2X,'VARIABLE',I4,/(5F12.3))"};
const textio::Format kVariableLineLabelled{"(2X,'VARIABLE',I4,1X,A8/(5F12.3))"};
const textio::Format kScoresHeading{"(///'   SCORES FOR VARIABLES'/)"};
const textio::Format kScoreRecord{"(8F10.4)"};

void print_variable_line(textio::Printer& print, std::span<const std::string> labels,
                         std::int32_t v, std::span<const float> values) {
  if (!labels.empty()) {
    print.console_then_report(kVariableLineLabelled,
                              {v, labels[static_cast<std::size_t>(v - 1)], values});
  } else {
    print.console_then_report(kVariableLine, {v, values});
  }
}
}  // namespace

namespace {

// Shares of variance of each variable accounted for by each component
// (covariances and correlations), printed with the detailed printout.
void list_variance_shares(const ScoreOutput& out, const PcaModel& m, const Eigensystem& eigen,
                          const ScoreRequest& r) {
  using analysis::AnalysisType;
  if (!r.detailed) return;
  const std::size_t p = static_cast<std::size_t>(m.p);
  const std::size_t q = static_cast<std::size_t>(r.axes);
  std::vector<float> share(q);
  auto e = [&](std::size_t v, std::size_t c) { return eigen.vector(v, c); };
  out.print.both(kSharesHeading);
  for (std::size_t v = 0; v < p; ++v) {
    float s = 1.0f;
    if (m.type == AnalysisType::kCovariances) {
      s = 0.0f;
      for (std::size_t k = 0; k < static_cast<std::size_t>(eigen.positive_count); ++k)
        s += e(v, k) * e(v, k) * eigen.values[k];
    }
    for (std::size_t c = 0; c < q; ++c) share[c] = e(v, c) * e(v, c) * 100.0f * eigen.values[c] / s;
    print_variable_line(out.print, r.labels, static_cast<std::int32_t>(v + 1), share);
  }
}

// Cross products: correlations of the raw variables with the component
// scores, from one more pass over the data.
void correlate_with_components(const PcaModel& m, const Eigensystem& eigen,
                               const ObjectScores& objects, ScoreMatrix& g) {
  const std::size_t n = static_cast<std::size_t>(m.n);
  const std::size_t p = static_cast<std::size_t>(m.p);
  const std::size_t q = static_cast<std::size_t>(g.axes());
  auto e = [&g](std::size_t v, std::size_t c) -> float& { return g.at(v, c); };
  for (std::size_t c = 0; c < q; ++c)
    for (std::size_t v = 0; v < p; ++v) e(v, c) = 0.0f;
  std::vector<float> x(p);
  for (std::size_t i = 0; i < n; ++i) {
    m.scratch->read_row(x);
    for (std::size_t c = 0; c < q; ++c) {
      const float score = objects.scores.at(i, c);
      for (std::size_t v = 0; v < p; ++v) e(v, c) = e(v, c) + x[v] * score;
    }
  }
  m.scratch->rewind();
  const float count = static_cast<float>(m.n);
  std::vector<float> total(q), deviation(q);  // T(c), and the standard deviation of the scores
  for (std::size_t c = 0; c < q; ++c) {
    const float t = objects.component_means[c] * count;
    total[c] = t;
    deviation[c] = std::sqrt((eigen.values[c] - t * t / count) / (count - 1.0f));
  }
  for (std::size_t v = 0; v < p; ++v) {
    const float s = m.mean[v] * count;
    for (std::size_t c = 0; c < q; ++c) {
      e(v, c) = ((e(v, c) - total[c] * s / count) / (count - 1.0f)) / (m.sd[v] * deviation[c]);
    }
  }
}

// Covariances and correlations: the eigenvectors scaled as the option asks.
void scale_vectors(const PcaModel& m, const Eigensystem& eigen, std::int32_t option,
                   ScoreMatrix& g) {
  using analysis::AnalysisType;
  const std::size_t p = static_cast<std::size_t>(m.p);
  for (std::size_t c = 0; c < static_cast<std::size_t>(g.axes()); ++c) {
    const float r = std::sqrt(eigen.values[c]);
    for (std::size_t v = 0; v < p; ++v) {
      float& e = g.at(v, c);
      if (m.type == AnalysisType::kCovariances) {
        if (option == 0) e = e * r / m.sd[v];
        else if (option == 1) e = e * r;
      } else {
        if (option == 0) e = e * r;
        else if (option == 1) e = e * eigen.values[c];
      }
    }
  }
}

}  // namespace

ScoreMatrix leading_vectors(const Eigensystem& eigen, std::int32_t q,
                            std::span<const std::string> labels) {
  const std::size_t length = static_cast<std::size_t>(eigen.p) * static_cast<std::size_t>(q);
  analysis::WorkArray storage(eigen.vectors.begin(),
                             eigen.vectors.begin() + static_cast<std::ptrdiff_t>(length));
  return ScoreMatrix(std::move(storage), eigen.p, q, ScoreLayout::kAxisColumns, labels);
}

ScoreMatrix variable_scores(const ScoreOutput& out, const PcaModel& m, const Eigensystem& eigen,
                            const ScoreRequest& r, const ObjectScores& objects) {
  if (analysis::centred(m.type)) list_variance_shares(out, m, eigen, r);
  ScoreMatrix g = leading_vectors(eigen, r.axes, r.labels);
  out.print.both(kScoresHeading);
  if (m.type == analysis::AnalysisType::kCrossProducts) {
    correlate_with_components(m, eigen, objects, g);
  } else {
    scale_vectors(m, eigen, r.option, g);
  }
  out.file.write(" PCA loadings from " + out.title);
  out.file.write(textio::free_format_record({m.p, g.axes()}));
  const std::size_t q = static_cast<std::size_t>(g.axes());
  std::vector<float> line(q);
  for (std::size_t v = 0; v < static_cast<std::size_t>(m.p); ++v) {
    for (std::size_t c = 0; c < q; ++c) line[c] = g.at(v, c);
    const textio::Value list[] = {std::span<const float>(line)};
    kScoreRecord.write(list, [&out](std::string_view rec) { out.file.write(rec); });
    print_variable_line(out.print, r.labels, static_cast<std::int32_t>(v + 1), line);
  }
  return g;
}

}  // namespace orthaxis::results
