#include "driver/summary.h"

#include <charconv>
#include <cmath>

#include "export/charts.h"

namespace orthaxis::driver {

namespace {

std::string fixed(double v, int decimals) {
  if (!std::isfinite(v)) return "-";
  char buffer[64];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, decimals);
  return std::string(buffer, r.ptr);
}

std::string padded(std::string s, std::size_t width) {
  return s.size() >= width ? s : std::string(width - s.size(), ' ') + s;
}

// A label kept short for one line of the terminal, control characters shown as '?'.
std::string short_label(std::span<const std::string> labels, std::size_t i) {
  std::string s = labels.empty() ? std::to_string(i + 1) : labels[i];
  for (char& c : s)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  // Long labels keep their beginning and their end, which tell them apart.
  if (s.size() > 24) {
    std::size_t head = 12, tail = s.size() - 11;
    while (head > 0 && (static_cast<unsigned char>(s[head]) & 0xC0) == 0x80) --head;
    while (tail < s.size() && (static_cast<unsigned char>(s[tail]) & 0xC0) == 0x80) ++tail;
    s = s.substr(0, head) + "~" + s.substr(tail);
  }
  return s;
}

std::string largest_line(const char* kind, const results::ScoreMatrix& ctr, std::size_t k,
                         std::span<const std::string> labels, std::size_t count) {
  std::vector<double> v;
  for (std::size_t i = 0; i < static_cast<std::size_t>(ctr.points()); ++i) v.push_back(ctr.at(i, k));
  std::string line = kind;
  bool first = true;
  for (std::size_t i : svg::largest(v, count)) {
    line += (first ? " " : ", ") + short_label(labels, i) + " " + fixed(v[i], 1) + " %";
    first = false;
  }
  return line;
}

}  // namespace

std::string analysis_name(analysis::AnalysisType t) {
  switch (t) {
    case analysis::AnalysisType::kCrossProducts: return "PCA from cross products";
    case analysis::AnalysisType::kCovariances: return "PCA from covariances";
    case analysis::AnalysisType::kCorrelations: return "PCA from correlations";
    case analysis::AnalysisType::kCorrespondence: return "correspondence analysis";
  }
  return "";
}

std::vector<std::string> summary_lines(const SummaryInput& s) {
  std::vector<std::string> out;
  const std::int32_t q = s.object_ctr.axes();
  std::string head = "ORTHAXIS: " + s.data_file + ": " + std::to_string(s.n) + " objects x " +
                     std::to_string(s.p) + " variables";
  if (s.missing > 0) head += ", " + std::to_string(s.missing) + " missing values";
  head += "; " + analysis_name(s.type) + ", " + std::to_string(q) + (q == 1 ? " axis" : " axes") +
          " retained";
  out.push_back(head);
  std::string title = s.title.substr(0, 76);
  while (!title.empty() && title.back() == ' ') title.pop_back();
  for (char& c : title)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  if (!title.empty()) out.push_back("  " + title);
  out.push_back("");
  out.push_back("  Axis  Eigenvalue  Percent  Cumulative");
  const std::vector<float> cumulative = s.eigen.cumulative_percentages();
  for (std::int32_t k = 0; k < q && k < kSummaryEigenRows; ++k) {
    const auto a = static_cast<std::size_t>(k);
    out.push_back(padded(std::to_string(k + 1), 6) + padded(fixed(s.eigen.values[a], 4), 12) +
                  padded(fixed(s.eigen.percent(a), 1), 9) + padded(fixed(cumulative[a], 1), 12));
  }
  if (q > kSummaryEigenRows)
    out.push_back("  (" + std::to_string(q - kSummaryEigenRows) + " more axes in the report)");
  out.push_back("");
  out.push_back("  Largest contributions:");
  for (std::int32_t k = 0; k < q && k < kSummaryAxes; ++k) {
    const auto a = static_cast<std::size_t>(k);
    const std::string axis = "  Axis " + padded(std::to_string(k + 1), 2);
    out.push_back(axis + largest_line(" variables", s.variable_ctr, a, s.variable_labels, kSummaryVariables));
    out.push_back(std::string(axis.size(), ' ') +
                  largest_line(" objects  ", s.object_ctr, a, s.object_labels, kSummaryObjects));
  }
  if (q > kSummaryAxes) out.push_back("  (axes " + std::to_string(kSummaryAxes + 1) + " on in the tables)");
  out.push_back("");
  if (s.warnings > 0)
    out.push_back("  " + std::to_string(s.warnings) +
                  (s.warnings == 1 ? " warning" : " warnings") + " (above, on standard error)");
  std::string files = "  Files written:";
  for (const std::string& f : s.files) {
    if (files.size() + f.size() > 78) {
      out.push_back(files);
      files = "   ";
    }
    files += " " + f;
  }
  out.push_back(files);
  out.push_back("  (--verbose shows the full console)");
  return out;
}

}  // namespace orthaxis::driver
