#include "export/charts.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numeric>

#include "export/label_placement.h"
#include "export/svg.h"
#include "export/number_text.h"
#include "export/svg_parts.h"

namespace orthaxis::svg {

namespace {

constexpr double kFont = part::kFontSize;

using part::header;
using part::text;

std::string label_of(std::span<const std::string> labels, std::size_t i) {
  return labels.empty() ? std::to_string(i + 1) : labels[i];
}

// A label cut (with "...") to at most `width` at the font size.
std::string fitted(std::string label, double width) {
  if (text_width(label, kFont) <= width) return label;
  while (!label.empty() && text_width(label + "...", kFont) > width) {
    label.pop_back();
    while (!label.empty() && (static_cast<unsigned char>(label.back()) & 0xC0) == 0x80) label.pop_back();
    if (!label.empty() && static_cast<unsigned char>(label.back()) >= 0xC0) label.pop_back();
  }
  return label + "...";
}

}  // namespace

std::string contributions_file(std::int32_t axis) { return "contributions_" + std::to_string(axis) + ".svg"; }
std::string cos2_file(std::int32_t axis) { return "cos2_" + std::to_string(axis) + ".svg"; }

std::vector<std::size_t> largest(std::span<const double> values, std::size_t count) {
  std::vector<std::size_t> order;
  for (std::size_t i = 0; i < values.size(); ++i)
    if (std::isfinite(values[i])) order.push_back(i);
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return values[a] > values[b]; });
  if (order.size() > count) order.resize(count);
  return order;
}

std::string correlation_circle(const CorrelationCircle& c) {
  const double radius = 240.0, cx = 80.0 + radius, cy = 50.0 + radius;
  const double width = cx + radius + 80.0, height = cy + radius + 70.0;
  auto sx = [&](double x) { return cx + x * radius; };
  auto sy = [&](double y) { return cy - y * radius; };
  std::string d = header(width, height, "Correlation circle of axes " + std::to_string(c.axis1 + 1) +
                                            " and " + std::to_string(c.axis2 + 1));
  d += part::arrow_marker();
  d += "<circle class=\"unit\" cx=\"" + num(cx) + "\" cy=\"" + num(cy) + "\" r=\"" + num(radius) +
       "\" fill=\"none\" stroke=\"#999999\"/>\n";
  d += "<path class=\"zero\" d=\"M " + num(sx(-1)) + " " + num(cy) + " H " + num(sx(1)) + " M " +
       num(cx) + " " + num(sy(1)) + " V " + num(sy(-1)) +
       "\" stroke=\"#777777\" stroke-dasharray=\"4 3\"/>\n";
  std::string ticks;
  for (int t = -4; t <= 4; ++t) {
    const double v = t / 4.0;
    ticks += "M " + num(sx(v)) + " " + num(sy(-1) + 8) + " v 5 M " + num(sx(-1) - 8) + " " +
             num(sy(v)) + " h -5 ";
    d += text(sx(v), sy(-1) + 26.0, "middle", "tick", fixed(v, 2));
    d += text(sx(-1) - 16.0, sy(v) + 4.0, "end", "tick", fixed(v, 2));
  }
  ticks.pop_back();
  d += "<path class=\"ticks\" d=\"" + ticks + "\" stroke=\"#333333\"/>\n";
  d += text(cx, height - 12.0, "middle", "axis-title",
            "Axis " + std::to_string(c.axis1 + 1) + " (" + fixed(c.percent1, 1) + " %)");
  d += "<text class=\"axis-title\" x=\"16\" y=\"" + num(cy) + "\" font-size=\"11\" text-anchor=\"middle\" "
       "transform=\"rotate(-90 16 " + num(cy) + ")\">" +
       xml_text("Axis " + std::to_string(c.axis2 + 1) + " (" + fixed(c.percent2, 1) + " %)") + "</text>\n";

  std::vector<std::string> texts;
  std::vector<LabelRequest> requests;
  std::vector<Box> obstacles;
  d += "<g class=\"variables\">\n";
  for (std::size_t j = 0; j < c.x.size(); ++j) {
    if (!std::isfinite(c.x[j]) || !std::isfinite(c.y[j])) continue;
    const double px = sx(c.x[j]), py = sy(c.y[j]);
    d += "<line class=\"variable\" x1=\"" + num(cx) + "\" y1=\"" + num(cy) + "\" x2=\"" + num(px) +
         "\" y2=\"" + num(py) + "\" stroke=\"" + kVariableColour +
         "\" stroke-width=\"1.5\" marker-end=\"url(#arrow)\"/>\n";
    obstacles.push_back({px - 4.5, py - 4.5, px + 4.5, py + 4.5});
    texts.push_back(label_of(c.labels, j));
    requests.push_back({px, py, 4.5, {}, std::hypot(c.x[j], c.y[j])});
  }
  d += "</g>\n";
  for (std::size_t k = 0; k < requests.size(); ++k) requests[k].text = texts[k];
  const auto placed = place_labels(requests, obstacles, {10.0, 10.0, width - 10.0, height - 30.0}, kFont);
  std::size_t left_out = 0;
  d += "<g class=\"labels\" fill=\"#222222\">\n";
  std::string leaders;
  for (std::size_t k = 0; k < placed.size(); ++k) {
    if (!placed[k].placed) {
      ++left_out;
      continue;
    }
    d += text(placed[k].x, placed[k].baseline, "start", "label", texts[k]);
    if (placed[k].leader)
      leaders += "M " + num(requests[k].x) + " " + num(requests[k].y) + " L " +
                 num(placed[k].leader_x) + " " + num(placed[k].leader_y) + " ";
  }
  d += "</g>\n";
  if (!leaders.empty()) {
    leaders.pop_back();
    d += "<path class=\"leaders\" d=\"" + leaders + "\" stroke=\"#888888\" stroke-width=\"0.5\" fill=\"none\"/>\n";
  }
  if (left_out > 0)
    d += text(10.0, 24.0, "start", "note", std::to_string(left_out) + " labels left out for want of room");
  d += "</svg>\n";
  return d;
}

namespace {

// One panel at `top`: the title, the labels right-aligned before the bars,
// the value after each bar, and the average line. Returns its height.
double bar_panel(std::string& d, double top, const BarSet& s, bool average_line, double label_width,
                 double top_value, const char* colour) {
  const double bar_left = 20.0 + label_width + 8.0, bar_area = 360.0, row = 18.0;
  const std::vector<std::size_t> rows = largest(s.values, kBarsShown);
  d += text(20.0, top + 14.0, "start", "panel-title",
            s.title + " (" + std::to_string(rows.size()) + " largest of " +
                std::to_string(s.values.size()) + ")");
  double max = 0.0;
  for (std::size_t i : rows) max = std::max(max, s.values[i]);
  const double average = s.values.empty() ? 0.0 : 100.0 / static_cast<double>(s.values.size());
  if (average_line) max = std::max(max, average);
  if (top_value > 0.0) max = top_value;
  if (!(max > 0.0)) max = 1.0;
  const double y0 = top + 24.0;
  d += "<g class=\"bars\" fill=\"" + std::string(colour) + "\">\n";
  for (std::size_t r = 0; r < rows.size(); ++r) {
    const double v = std::max(0.0, s.values[rows[r]]);
    const double y = y0 + row * static_cast<double>(r);
    d += "<rect class=\"bar\" x=\"" + num(bar_left) + "\" y=\"" + num(y + 2.0) + "\" width=\"" +
         num(bar_area * v / max) + "\" height=\"" + num(row - 4.0) + "\"/>\n";
  }
  d += "</g>\n";
  for (std::size_t r = 0; r < rows.size(); ++r) {
    const double v = s.values[rows[r]];
    const double y = y0 + row * static_cast<double>(r) + row / 2.0 + 4.0;
    d += text(bar_left - 6.0, y, "end", "label", fitted(label_of(s.labels, rows[r]), label_width));
    d += text(bar_left + bar_area * std::max(0.0, v) / max + 4.0, y, "start", "value",
              fixed(v, average_line ? 2 : 3));
  }
  const double bottom = y0 + row * static_cast<double>(rows.size());
  d += "<path class=\"axis\" d=\"M " + num(bar_left) + " " + num(y0) + " V " + num(bottom) +
       "\" stroke=\"#333333\"/>\n";
  if (average_line && !rows.empty()) {
    const double x = bar_left + bar_area * average / max;
    d += "<path class=\"average\" d=\"M " + num(x) + " " + num(y0 - 2.0) + " V " + num(bottom + 2.0) +
         "\" stroke=\"" + kGreyColour + "\" stroke-dasharray=\"5 3\"/>\n";
    d += text(x, bottom + 14.0, "middle", "note", "average " + fixed(average, 2) + " %");
  }
  return bottom - top + 28.0;
}

}  // namespace

std::string bar_charts(const std::string& title, const BarSet& first, const BarSet& second,
                       bool average_line, double top_value) {
  double label_width = 40.0;
  for (const BarSet* s : {&first, &second})
    for (std::size_t i : largest(s->values, kBarsShown))
      label_width = std::max(label_width, text_width(label_of(s->labels, i), kFont));
  label_width = std::min(label_width, 220.0);
  std::string body;
  double y = 40.0;
  y += bar_panel(body, y, first, average_line, label_width, top_value, kVariableColour);
  y += bar_panel(body, y, second, average_line, label_width, top_value, kObjectColour);
  const double width = 20.0 + label_width + 8.0 + 360.0 + 70.0;
  std::string d = header(width, y + 10.0, title);
  d += text(20.0, 24.0, "start", "title", title);
  d += body;
  d += "</svg>\n";
  return d;
}

}  // namespace orthaxis::svg
