#include "results/scores.h"

#include <cmath>
#include <utility>
#include <vector>

#include "plot/scatter_plot.h"
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

ScoreMatrix variable_scores(const ScoreOutput& out, const PcaModel& m, Eigensystem& eigen,
                            const VariableScoreOptions& o, const ScoreMatrix& objects,
                            std::span<const float> component_means,
                            std::span<const std::string> labels, const RowBuffers& buffers) {
  using analysis::AnalysisType;
  textio::Printer& print = out.print;
  const std::size_t n = static_cast<std::size_t>(m.n);
  const std::size_t p = static_cast<std::size_t>(m.p);
  const std::size_t q = static_cast<std::size_t>(objects.axes());
  const std::span<float> share = buffers.share;

  if (analysis::centred(m.type)) {
    auto e = [&](std::size_t v, std::size_t c) { return eigen.vector(v, c); };
    if (o.printout != 0) print.both(kSharesHeading);
    for (std::size_t v = 0; v < p; ++v) {
      float s = 1.0f;
      if (m.type == AnalysisType::kCovariances) {
        s = 0.0f;
        for (std::size_t k = 0; k < static_cast<std::size_t>(eigen.positive_count); ++k)
          s += e(v, k) * e(v, k) * eigen.values[k];
      }
      for (std::size_t c = 0; c < q; ++c) share[c] = e(v, c) * e(v, c) * 100.0f * eigen.values[c] / s;
      if (o.printout != 0) {
        print_variable_line(print, labels, static_cast<std::int32_t>(v + 1),
                            std::span<const float>(share.data(), q));
      }
    }
  }

  // From here on the eigenvector columns 1..q are turned into the scores.
  ScoreMatrix g(std::move(eigen.vectors), m.p, objects.axes(), ScoreLayout::kAxisColumns, labels);
  auto e = [&g](std::size_t v, std::size_t c) -> float& { return g.at(v, c); };

  print.both(kScoresHeading);
  if (m.type == AnalysisType::kCrossProducts) {
    // Correlations of the raw variables with the component scores.
    for (std::size_t c = 0; c < q; ++c)
      for (std::size_t v = 0; v < p; ++v) e(v, c) = 0.0f;
    const std::span<float> x = buffers.row.first(p);
    for (std::size_t i = 0; i < n; ++i) {
      m.scratch->read_row(x);
      for (std::size_t c = 0; c < q; ++c) {
        const float score = objects.at(i, c);
        for (std::size_t v = 0; v < p; ++v) e(v, c) = e(v, c) + x[v] * score;
      }
    }
    m.scratch->rewind();
    const float count = static_cast<float>(m.n);
    std::vector<float> deviation(q);  // standard deviation of each component's scores
    for (std::size_t c = 0; c < q; ++c) {
      const float t = component_means[c] * count;
      share[c] = t;  // T(c), kept for the scores below
      deviation[c] = std::sqrt((eigen.values[c] - t * t / count) / (count - 1.0f));
    }
    for (std::size_t v = 0; v < p; ++v) {
      const float s = m.mean[v] * count;
      for (std::size_t c = 0; c < q; ++c) {
        e(v, c) = ((e(v, c) - share[c] * s / count) / (count - 1.0f)) /
                  (m.sd[v] * deviation[c]);
      }
    }
  } else {
    for (std::size_t c = 0; c < q; ++c) {
      const float r = std::sqrt(eigen.values[c]);
      for (std::size_t v = 0; v < p; ++v) {
        if (m.type == AnalysisType::kCovariances) {
          if (o.option == 0) e(v, c) = e(v, c) * r / m.sd[v];
          else if (o.option == 1) e(v, c) = e(v, c) * r;
        } else {
          if (o.option == 0) e(v, c) = e(v, c) * r;
          else if (o.option == 1) e(v, c) = e(v, c) * eigen.values[c];
        }
      }
    }
  }

  out.file.write(" PCA loadings from " + out.title);
  out.file.write(textio::free_format_record({m.p, g.axes()}));
  for (std::size_t v = 0; v < p; ++v) {
    for (std::size_t c = 0; c < q; ++c) share[c] = e(v, c);
    const std::span<const float> s(share.data(), q);
    const textio::Value list[] = {s};
    kScoreRecord.write(list, [&out](std::string_view r) { out.file.write(r); });
    print_variable_line(print, labels, static_cast<std::int32_t>(v + 1), s);
  }

  if (g.axes() > 1) plot::scatter_plot(g, 1, 2, print.console_device());
  return g;
}

}  // namespace orthaxis::results
