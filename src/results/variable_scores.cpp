#include "results/scores.h"

#include <cmath>

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

void print_variable_line(textio::Printer& print, const LabelSet& labels, std::int32_t v,
                         std::span<const float> values) {
  if (labels.used) {
    print.console_then_report(kVariableLineLabelled,
                              {v, labels.text[static_cast<std::size_t>(v - 1)], values});
  } else {
    print.console_then_report(kVariableLine, {v, values});
  }
}
}  // namespace

void variable_scores(textio::Printer& print, input::ScratchFile& scratch,
                     textio::RecordFile& score_file, const std::string& title, const PcaModel& m,
                     std::int32_t option, std::int32_t printout, std::span<const float> scores,
                     std::span<const float> component_means, const LabelSet& labels,
                     std::span<float> row, std::span<float> share) {
  const std::size_t n = static_cast<std::size_t>(m.n);
  const std::size_t p = static_cast<std::size_t>(m.p);
  const std::size_t q = static_cast<std::size_t>(m.q);
  auto e = [&](std::size_t v, std::size_t c) -> float& { return m.eigenvectors[c * p + v]; };

  if (m.type == 2 || m.type == 3) {
    if (printout != 0) print.both(kSharesHeading);
    for (std::size_t v = 0; v < p; ++v) {
      float s = 1.0f;
      if (m.type == 2) {
        s = 0.0f;
        for (std::size_t k = 0; k < static_cast<std::size_t>(m.positive_count); ++k)
          s += e(v, k) * e(v, k) * m.eigenvalues[k];
      }
      for (std::size_t c = 0; c < q; ++c) share[c] = e(v, c) * e(v, c) * 100.0f * m.eigenvalues[c] / s;
      if (printout != 0) {
        print_variable_line(print, labels, static_cast<std::int32_t>(v + 1),
                            std::span<const float>(share.data(), q));
      }
    }
  }

  print.both(kScoresHeading);
  if (m.type == 1) {
    // Correlations of the raw variables with the component scores.
    for (std::size_t c = 0; c < q; ++c)
      for (std::size_t v = 0; v < p; ++v) e(v, c) = 0.0f;
    const std::span<float> x = row.first(p);
    for (std::size_t i = 0; i < n; ++i) {
      scratch.read_row(x);
      for (std::size_t c = 0; c < q; ++c) {
        const float score = scores[i * q + c];
        for (std::size_t v = 0; v < p; ++v) e(v, c) = e(v, c) + x[v] * score;
      }
    }
    scratch.rewind();
    const float objects = static_cast<float>(m.n);
    for (std::size_t c = 0; c < q; ++c) {
      const float t = component_means[c] * objects;
      share[c] = t;  // T(c), kept for the scores below
      m.eigenvalues[c] = std::sqrt((m.eigenvalues[c] - t * t / objects) / (objects - 1.0f));
    }
    for (std::size_t v = 0; v < p; ++v) {
      const float s = m.mean[v] * objects;
      for (std::size_t c = 0; c < q; ++c) {
        e(v, c) = ((e(v, c) - share[c] * s / objects) / (objects - 1.0f)) /
                  (m.sd[v] * m.eigenvalues[c]);
      }
    }
  } else {
    for (std::size_t c = 0; c < q; ++c) {
      const float r = std::sqrt(m.eigenvalues[c]);
      for (std::size_t v = 0; v < p; ++v) {
        if (m.type == 2) {
          if (option == 0) e(v, c) = e(v, c) * r / m.sd[v];
          else if (option == 1) e(v, c) = e(v, c) * r;
        } else {
          if (option == 0) e(v, c) = e(v, c) * r;
          else if (option == 1) e(v, c) = e(v, c) * m.eigenvalues[c];
        }
      }
    }
  }

  score_file.write(" PCA loadings from " + title);
  score_file.write(textio::free_format_record({m.p, m.q}));
  for (std::size_t v = 0; v < p; ++v) {
    for (std::size_t c = 0; c < q; ++c) share[c] = e(v, c);
    const std::span<const float> s(share.data(), q);
    const textio::Value list[] = {s};
    kScoreRecord.write(list, [&score_file](std::string_view r) { score_file.write(r); });
    print_variable_line(print, labels, static_cast<std::int32_t>(v + 1), s);
  }

  if (m.q > 1) {
    plot::scatter_plot(1, 2, m.p, 2, m.q, m.eigenvectors, m.eigenvectors,
                       print.console_device());
  }
}

}  // namespace orthaxis::results
