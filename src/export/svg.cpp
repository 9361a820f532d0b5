#include "export/svg.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <vector>

#include "textio/output_file.h"
#include "textio/units.h"

namespace orthaxis::svg {

namespace {

constexpr double kPlotSize = 560.0;  // the longer side of the biplot's plotting area
constexpr double kLeft = 70.0, kRight = 80.0, kTop = 40.0, kBottom = 60.0;
constexpr int kFontSize = 11;
constexpr double kNudge = 5.0;  // a label's offset from its point
constexpr std::int32_t kMaxBars = 30;

const char* const kObjectColour = "#1f5f9f";
const char* const kVariableColour = "#c0392b";

// A coordinate or length in the document, to 2 decimals.
std::string num(double v) {
  char buffer[64];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, 2);
  return std::string(buffer, r.ptr);
}

std::string percent_text(float v) {
  char buffer[64];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, 1);
  return std::string(buffer, r.ptr);
}

std::string header(double width, double height, std::string_view title) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + num(width) + "\" height=\"" +
         num(height) + "\" viewBox=\"0 0 " + num(width) + " " + num(height) +
         "\" font-family=\"sans-serif\">\n<title>" + xml_text(title) + "</title>\n"
         "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
}

std::string text(double x, double y, std::string_view anchor, std::string_view cls,
                 std::string_view content, std::string_view extra = "") {
  return "<text class=\"" + std::string(cls) + "\" x=\"" + num(x) + "\" y=\"" + num(y) +
         "\" font-size=\"" + std::to_string(kFontSize) + "\" text-anchor=\"" +
         std::string(anchor) + "\"" + std::string(extra) + ">" + xml_text(content) + "</text>\n";
}

std::string line(double x1, double y1, double x2, double y2, std::string_view attributes) {
  return "<line x1=\"" + num(x1) + "\" y1=\"" + num(y1) + "\" x2=\"" + num(x2) + "\" y2=\"" +
         num(y2) + "\" " + std::string(attributes) + "/>\n";
}

bool finite(double x, double y) { return std::isfinite(x) && std::isfinite(y); }

// A label in a picture: at most kPictureLabelLength characters, a longer
// one cut at a character's start and ended with an ellipsis (the tables
// keep labels whole).
std::string point_label(std::span<const std::string> labels, std::size_t i) {
  if (labels.empty()) return std::to_string(i + 1);
  const std::string& label = labels[i];
  std::size_t characters = 0;
  for (std::size_t k = 0; k < label.size(); ++k) {
    if ((static_cast<unsigned char>(label[k]) & 0xC0) == 0x80) continue;
    if (characters++ == kPictureLabelLength) return label.substr(0, k) + "\xE2\x80\xA6";
  }
  return label;
}

// Data extents of the picture, the origin always inside.
struct Extent {
  double xmin = 0, xmax = 0, ymin = 0, ymax = 0;
  void add(double x, double y) {
    if (!finite(x, y)) return;
    xmin = std::min(xmin, x);
    xmax = std::max(xmax, x);
    ymin = std::min(ymin, y);
    ymax = std::max(ymax, y);
  }
};

void write_document(const textio::Directory& dir, int unit, const char* name,
                    const std::string& document) {
  textio::OutputFile file(unit, dir, name);
  std::size_t start = 0;
  while (start < document.size()) {
    std::size_t end = document.find('\n', start);
    if (end == std::string::npos) end = document.size();
    file.write(std::string_view(document).substr(start, end - start));
    start = end + 1;
  }
  file.close();
}
}  // namespace

std::string xml_text(std::string_view in) {
  std::string out;
  std::size_t i = 0;
  while (i < in.size()) {
    const unsigned char c = static_cast<unsigned char>(in[i]);
    if (c < 0x80) {
      switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out += (c < 0x20 && c != '\t') || c == 0x7f ? '?' : static_cast<char>(c);
      }
      ++i;
      continue;
    }
    // A UTF-8 sequence is kept whole when it is well formed (no overlong
    // forms, no surrogates, nothing beyond U+10FFFF).
    std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
    if (c > 0xF4) length = 0;
    bool ok = length > 0 && i + length <= in.size();
    for (std::size_t k = 1; ok && k < length; ++k)
      ok = (static_cast<unsigned char>(in[i + k]) & 0xC0) == 0x80;
    if (ok && length >= 3) {
      const unsigned char d = static_cast<unsigned char>(in[i + 1]);
      // U+FFFE and U+FFFF are well formed but no characters of an XML
      // document: one '?' each, as a control character.
      if (c == 0xEF && d == 0xBF && static_cast<unsigned char>(in[i + 2]) >= 0xBE) {
        out += '?';
        i += 3;
        continue;
      }
      if (c == 0xE0 && d < 0xA0) ok = false;
      if (c == 0xED && d >= 0xA0) ok = false;
      if (c == 0xF0 && d < 0x90) ok = false;
      if (c == 0xF4 && d >= 0x90) ok = false;
    }
    if (ok) {
      out.append(in.substr(i, length));
      i += length;
    } else {
      out += '?';
      ++i;
    }
  }
  return out;
}

namespace {

// Arrows are drawn together at a common factor that brings the longest to
// nine tenths of the farthest object; 1 without arrows.
double arrow_factor(const Biplot& b) {
  if (!b.arrows) return 1.0;
  const std::size_t n = static_cast<std::size_t>(b.objects.points());
  const std::size_t p = static_cast<std::size_t>(b.variables.points());
  double objects = 0.0, variables = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const double r = std::hypot(double{b.objects.at(i, 0)}, double{b.objects.at(i, 1)});
    if (std::isfinite(r)) objects = std::max(objects, r);
  }
  for (std::size_t j = 0; j < p; ++j) {
    const double r = std::hypot(double{b.variables.at(j, 0)}, double{b.variables.at(j, 1)});
    if (std::isfinite(r)) variables = std::max(variables, r);
  }
  return objects > 0.0 && variables > 0.0 ? 0.9 * objects / variables : 1.0;
}

// Variable j's point, at the arrows' factor.
double variable_x(const Biplot& b, double factor, std::size_t j) { return factor * b.variables.at(j, 0); }
double variable_y(const Biplot& b, double factor, std::size_t j) { return factor * b.variables.at(j, 1); }

// Where the data go in the document: the extent of the points with a
// margin, one unit the same length on both axes.
struct Frame {
  Extent e;
  double xrange = 0, yrange = 0;
  double scale = 0;  // document units per data unit
  double width = 0, height = 0;
  double right = 0, bottom = 0;  // of the plotting area
  double sx(double x) const { return kLeft + (x - e.xmin) * scale; }
  double sy(double y) const { return kTop + (e.ymax - y) * scale; }
};

Frame frame_of(const Biplot& b, double factor) {
  const std::size_t n = static_cast<std::size_t>(b.objects.points());
  const std::size_t p = static_cast<std::size_t>(b.variables.points());
  Frame f;
  Extent& e = f.e;
  for (std::size_t i = 0; i < n; ++i) e.add(b.objects.at(i, 0), b.objects.at(i, 1));
  for (std::size_t j = 0; j < p; ++j) e.add(variable_x(b, factor, j), variable_y(b, factor, j));
  if (b.overlay != nullptr) {
    for (const OverlayPoint& o : b.overlay->objects) e.add(o.x, o.y);
    for (const OverlayPoint& o : b.overlay->centroids) e.add(o.x, o.y);
    for (const OverlayPoint& o : b.overlay->variables) e.add(factor * o.x, factor * o.y);
  }
  const double xspread = e.xmax - e.xmin, yspread = e.ymax - e.ymin;
  const double span = std::max(xspread, yspread) > 0.0 ? std::max(xspread, yspread) : 2.0;
  // A margin of 8 % of the longer side around the points, for their labels.
  const double pad = 0.08 * span;
  e.xmin -= pad;
  e.xmax += pad;
  e.ymin -= pad;
  e.ymax += pad;
  f.xrange = e.xmax - e.xmin;
  f.yrange = e.ymax - e.ymin;
  f.scale = kPlotSize / std::max(f.xrange, f.yrange);
  f.width = kLeft + f.xrange * f.scale + kRight + (b.overlay != nullptr ? 175.0 : 0.0);
  f.height = kTop + f.yrange * f.scale + kBottom;
  f.right = kLeft + f.xrange * f.scale;
  f.bottom = kTop + f.yrange * f.scale;
  return f;
}

// The arrow head, the frame, the zero lines, the axis titles and the note
// of the arrows' factor.
void append_axes(std::string& d, const Biplot& b, const Frame& f, double factor) {
  d += "<defs><marker id=\"arrow\" viewBox=\"0 0 10 10\" refX=\"10\" refY=\"5\" "
       "markerWidth=\"7\" markerHeight=\"7\" orient=\"auto-start-reverse\">"
       "<path d=\"M 0 0 L 10 5 L 0 10 z\" fill=\"" + std::string(kVariableColour) +
       "\"/></marker></defs>\n";
  d += "<rect class=\"frame\" x=\"" + num(kLeft) + "\" y=\"" + num(kTop) + "\" width=\"" +
       num(f.xrange * f.scale) + "\" height=\"" + num(f.yrange * f.scale) +
       "\" fill=\"none\" stroke=\"#999999\"/>\n";
  d += line(f.sx(0.0), kTop, f.sx(0.0), f.bottom, "id=\"zero-x\" stroke=\"#777777\" stroke-dasharray=\"4 3\"");
  d += line(kLeft, f.sy(0.0), f.right, f.sy(0.0), "id=\"zero-y\" stroke=\"#777777\" stroke-dasharray=\"4 3\"");
  d += text((kLeft + f.right) / 2.0, f.bottom + 35.0, "middle", "axis-title",
            "Axis 1 (" + percent_text(b.percent1) + " %)");
  d += text(25.0, (kTop + f.bottom) / 2.0, "middle", "axis-title",
            "Axis 2 (" + percent_text(b.percent2) + " %)",
            " transform=\"rotate(-90 25 " + num((kTop + f.bottom) / 2.0) + ")\"");
  if (factor != 1.0) {
    char buffer[64];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, factor, std::chars_format::general, 3);
    d += text(f.right, kTop - 12.0, "end", "note",
              "Arrows drawn at " + std::string(buffer, r.ptr) + " times their length");
  }
}

// Which marks are objects and which are variables.
void append_legend(std::string& d, bool arrows) {
  d += "<circle cx=\"" + num(kLeft + 6.0) + "\" cy=\"" + num(kTop - 16.0) + "\" r=\"3\" fill=\"" +
       kObjectColour + "\"/>\n";
  d += text(kLeft + 14.0, kTop - 12.0, "start", "legend", "objects");
  if (arrows) {
    d += line(kLeft + 72.0, kTop - 16.0, kLeft + 90.0, kTop - 16.0,
              "stroke=\"" + std::string(kVariableColour) + "\" stroke-width=\"1.5\"");
  } else {
    d += "<rect x=\"" + num(kLeft + 77.5) + "\" y=\"" + num(kTop - 19.5) +
         "\" width=\"7\" height=\"7\" fill=\"" + kVariableColour + "\"/>\n";
  }
  d += text(kLeft + 96.0, kTop - 12.0, "start", "legend", "variables");
}

// The objects as dots, labelled unless there are too many of them.
void append_objects(std::string& d, const Biplot& b, const Frame& f) {
  const std::size_t n = static_cast<std::size_t>(b.objects.points());
  const bool crowded = b.objects.points() > kLabelledObjectLimit;
  d += "<g class=\"objects\" fill=\"" + std::string(kObjectColour) + "\"" +
       (crowded ? " fill-opacity=\"0.3\"" : "") + ">\n";
  for (std::size_t i = 0; i < n; ++i) {
    const double x = b.objects.at(i, 0), y = b.objects.at(i, 1);
    if (!finite(x, y)) continue;
    std::string fill;
    if (b.overlay != nullptr && i < b.overlay->groups.size())
      fill = " fill=\"" + level_colour(b.overlay->groups[i]) + "\"";
    d += "<circle class=\"object\" cx=\"" + num(f.sx(x)) + "\" cy=\"" + num(f.sy(y)) +
         "\" r=\"" + (crowded ? "2" : "3") + "\"" + fill + "/>\n";
    if (!crowded)
      d += text(f.sx(x) + kNudge, f.sy(y) - kNudge, "start", "label", point_label(b.object_labels, i));
  }
  d += "</g>\n";
}

// The variables as arrows from the origin or as squares, each labelled
// beyond its point.
void append_variables(std::string& d, const Biplot& b, const Frame& f, double factor) {
  const std::size_t p = static_cast<std::size_t>(b.variables.points());
  d += "<g class=\"variables\" fill=\"" + std::string(kVariableColour) + "\">\n";
  for (std::size_t j = 0; j < p; ++j) {
    const double x = variable_x(b, factor, j), y = variable_y(b, factor, j);
    if (!finite(x, y)) continue;
    const double px = f.sx(x), py = f.sy(y);
    double ux = 1.0, uy = -1.0;  // direction to nudge the label, in document units
    if (b.arrows) {
      d += line(f.sx(0.0), f.sy(0.0), px, py,
                "class=\"variable\" stroke=\"" + std::string(kVariableColour) +
                    "\" stroke-width=\"1.5\" marker-end=\"url(#arrow)\"");
      const double length = std::hypot(px - f.sx(0.0), py - f.sy(0.0));
      if (length > 0.0) {
        ux = (px - f.sx(0.0)) / length;
        uy = (py - f.sy(0.0)) / length;
      }
    } else {
      d += "<rect class=\"variable\" x=\"" + num(px - 3.5) + "\" y=\"" + num(py - 3.5) +
           "\" width=\"7\" height=\"7\"/>\n";
    }
    d += text(px + kNudge * ux * 1.4, py + kNudge * uy * 1.4 + (uy > 0 ? kFontSize * 0.8 : 0.0),
              ux < 0 ? "end" : "start", "label", point_label(b.variable_labels, j));
  }
  d += "</g>\n";
}

}  // namespace

std::string biplot(const Biplot& b) {
  const double factor = arrow_factor(b);
  const Frame f = frame_of(b, factor);
  std::string d = header(f.width, f.height, "Biplot of axes 1 and 2");
  append_axes(d, b, f, factor);
  append_legend(d, b.arrows);
  append_objects(d, b, f);
  append_variables(d, b, f, factor);
  if (b.overlay != nullptr) {
    struct Map {
      double left, xmin, ymax, scale;
    } map{kLeft, f.e.xmin, f.e.ymax, f.scale};
    Placement at{[](const void* m, double v) {
                   const Map& t = *static_cast<const Map*>(m);
                   return t.left + (v - t.xmin) * t.scale;
                 },
                 [](const void* m, double v) {
                   const Map& t = *static_cast<const Map*>(m);
                   return kTop + (t.ymax - v) * t.scale;
                 },
                 &map, factor, b.arrows, f.right + kRight - 5.0, kTop + 4.0};
    d += overlay_elements(*b.overlay, at);
  }
  d += "</svg>\n";
  return d;
}

namespace {
// The axes test's lines over the bars, each through the bars' centres, with
// a legend above the plot.
template <class YOf>
std::string scree_overlay(const ScreeOverlay& o, std::int32_t bars, double left, double step,
                          const YOf& y_of) {
  struct Series {
    const std::vector<float>& values;
    const char* cls;
    const char* colour;
    const char* dash;
    const char* legend;
  };
  const Series series[] = {
      {o.broken_stick, "broken-stick", "#2e7d32", "6,3", "broken stick"},
      {o.pa_q95, "parallel-analysis", "#6a1b9a", "2,2", "parallel analysis, 95th percentile"}};
  std::string d;
  double legend_x = left;
  for (const Series& s : series) {
    std::string points;
    const std::size_t count = std::min(s.values.size(), static_cast<std::size_t>(bars));
    for (std::size_t k = 0; k < count; ++k) {
      if (!points.empty()) points += ' ';
      points += num(left + step * static_cast<double>(k) + step * 0.5) + "," + num(y_of(s.values[k]));
    }
    if (points.empty()) continue;
    d += "<polyline class=\"" + std::string(s.cls) + "\" points=\"" + points +
         "\" fill=\"none\" stroke=\"" + s.colour + "\" stroke-width=\"1.5\" stroke-dasharray=\"" +
         s.dash + "\"/>\n";
    d += line(legend_x, 40.0, legend_x + 20.0, 40.0,
              "stroke=\"" + std::string(s.colour) + "\" stroke-width=\"1.5\" stroke-dasharray=\"" +
                  s.dash + "\"");
    d += text(legend_x + 24.0, 44.0, "start", "legend", s.legend);
    legend_x += 200.0;
  }
  return d;
}
}  // namespace

std::string scree(const results::Eigensystem& eigen, const ScreeOverlay* overlay) {
  const std::int32_t bars = std::min(eigen.positive_count, kMaxBars);
  const double plot_width = 480.0, plot_height = 240.0;
  const double left = 60.0, top = 50.0;
  const double width = left + plot_width + 30.0, height = top + plot_height + 60.0;
  const double step = bars > 0 ? plot_width / bars : plot_width;
  auto y_of = [&](double percent) { return top + plot_height * (1.0 - percent / 100.0); };

  std::string d = header(width, height, "Scree plot");
  d += text(left + plot_width / 2.0, 25.0, "middle", "title",
            "Eigenvalues in percent of their sum, with the cumulative percentage");
  for (int tick = 0; tick <= 100; tick += 25) {
    d += line(left, y_of(tick), left + plot_width, y_of(tick), "stroke=\"#dddddd\"");
    d += text(left - 6.0, y_of(tick) + 4.0, "end", "tick", std::to_string(tick) + " %");
  }
  std::string cumulative_points;
  float cumulative = 0.0f;
  for (std::int32_t k = 0; k < bars; ++k) {
    const float percent = eigen.percent(static_cast<std::size_t>(k));
    cumulative = k == 0 ? percent : cumulative + percent;
    const double x = left + step * k + step * 0.15;
    const double w = step * 0.7;
    d += "<rect class=\"bar\" x=\"" + num(x) + "\" y=\"" + num(y_of(percent)) + "\" width=\"" +
         num(w) + "\" height=\"" + num(plot_height * percent / 100.0) + "\" fill=\"" +
         kObjectColour + "\"/>\n";
    d += text(x + w / 2.0, y_of(percent) - 4.0, "middle", "percent", percent_text(percent));
    d += text(x + w / 2.0, top + plot_height + 16.0, "middle", "axis", std::to_string(k + 1));
    if (!cumulative_points.empty()) cumulative_points += ' ';
    cumulative_points += num(x + w / 2.0) + "," + num(y_of(cumulative));
  }
  d += line(left, top + plot_height, left + plot_width, top + plot_height, "stroke=\"#333333\"");
  if (!cumulative_points.empty()) {
    d += "<polyline class=\"cumulative\" points=\"" + cumulative_points +
         "\" fill=\"none\" stroke=\"" + kVariableColour + "\" stroke-width=\"1.5\"/>\n";
  }
  if (overlay != nullptr) d += scree_overlay(*overlay, bars, left, step, y_of);
  d += text(left + plot_width / 2.0, top + plot_height + 40.0, "middle", "axis-title", "Axis");
  d += "</svg>\n";
  return d;
}

void write_pictures(const textio::Directory& dir, const Biplot& b,
                    const results::Eigensystem& eigen, const ScreeOverlay* overlay) {
  if (b.objects.axes() >= 2) write_document(dir, textio::units::kBiplot, kBiplotFile, biplot(b));
  write_document(dir, textio::units::kScree, kScreeFile, scree(eigen, overlay));
}

}  // namespace orthaxis::svg
