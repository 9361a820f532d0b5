#include "export/svg.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <unordered_set>
#include <vector>

#include "export/label_placement.h"

#include "textio/output_file.h"
#include "textio/units.h"
#include "export/number_text.h"
#include "export/svg_parts.h"

namespace orthaxis::svg {

namespace {

constexpr double kPlotSize = 560.0;  // the longer side of the biplot's plotting area
constexpr double kLeft = 70.0, kRight = 80.0, kTop = 40.0, kBottom = 60.0;
using part::header;
using part::kFontSize;
using part::line;
using part::text;
constexpr std::int32_t kMaxBars = 30;



std::string percent_text(float v) {
  char buffer[64];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, 1);
  return std::string(buffer, r.ptr);
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

}  // namespace

namespace part {

std::string header(double width, double height, std::string_view title) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + num(width) + "\" height=\"" +
         num(height) + "\" viewBox=\"0 0 " + num(width) + " " + num(height) +
         "\" font-family=\"sans-serif\">\n<title>" + xml_text(title) + "</title>\n"
         "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
}

std::string text(double x, double y, std::string_view anchor, std::string_view cls,
                 std::string_view content, std::string_view extra) {
  return "<text class=\"" + std::string(cls) + "\" x=\"" + num(x) + "\" y=\"" + num(y) +
         "\" font-size=\"" + std::to_string(kFontSize) + "\" text-anchor=\"" +
         std::string(anchor) + "\"" + std::string(extra) + ">" + xml_text(content) + "</text>\n";
}

std::string line(double x1, double y1, double x2, double y2, std::string_view attributes) {
  return "<line x1=\"" + num(x1) + "\" y1=\"" + num(y1) + "\" x2=\"" + num(x2) + "\" y2=\"" +
         num(y2) + "\" " + std::string(attributes) + "/>\n";
}

std::string arrow_marker() {
  return "<defs><marker id=\"arrow\" viewBox=\"0 0 10 10\" refX=\"10\" refY=\"5\" "
         "markerWidth=\"7\" markerHeight=\"7\" orient=\"auto-start-reverse\">"
         "<path d=\"M 0 0 L 10 5 L 0 10 z\" fill=\"" + std::string(kVariableColour) +
         "\"/></marker></defs>\n";
}

}  // namespace part

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
  const std::size_t a1 = static_cast<std::size_t>(b.axis1), a2 = static_cast<std::size_t>(b.axis2);
  double objects = 0.0, variables = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const double r = std::hypot(double{b.objects.at(i, a1)}, double{b.objects.at(i, a2)});
    if (std::isfinite(r)) objects = std::max(objects, r);
  }
  for (std::size_t j = 0; j < p; ++j) {
    const double r = std::hypot(double{b.variables.at(j, a1)}, double{b.variables.at(j, a2)});
    if (std::isfinite(r)) variables = std::max(variables, r);
  }
  return objects > 0.0 && variables > 0.0 ? 0.9 * objects / variables : 1.0;
}

// Object i's and variable j's points on the two axes drawn; the variables
// at the arrows' factor.
double object_x(const Biplot& b, std::size_t i) { return b.objects.at(i, static_cast<std::size_t>(b.axis1)); }
double object_y(const Biplot& b, std::size_t i) { return b.objects.at(i, static_cast<std::size_t>(b.axis2)); }
double variable_x(const Biplot& b, double factor, std::size_t j) {
  return factor * b.variables.at(j, static_cast<std::size_t>(b.axis1));
}
double variable_y(const Biplot& b, double factor, std::size_t j) {
  return factor * b.variables.at(j, static_cast<std::size_t>(b.axis2));
}

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
  Box area() const { return {kLeft, kTop, right, bottom}; }
};

Frame frame_of(const Biplot& b, double factor) {
  const std::size_t n = static_cast<std::size_t>(b.objects.points());
  const std::size_t p = static_cast<std::size_t>(b.variables.points());
  Frame f;
  Extent& e = f.e;
  for (std::size_t i = 0; i < n; ++i) e.add(object_x(b, i), object_y(b, i));
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

// A tick step of 1, 2 or 5 times a power of ten giving about eight ticks
// over `range`, and the decimals its values need.
struct TickStep {
  double step = 1;
  int decimals = 0;
};
TickStep tick_step(double range) {
  const double raw = range / 8.0;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  double step = power;
  for (double m : {2.0, 5.0, 10.0})
    if (raw > step) step = m * power;
  const int decimals = std::max(0, -static_cast<int>(std::floor(std::log10(step) + 1e-9)));
  return {step, decimals};
}

std::string tick_text(double v, int decimals) {
  if (std::fabs(v) < 1e-12) v = 0.0;  // no "-0"
  char buffer[64];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, decimals);
  return std::string(buffer, r.ptr);
}

// Tick marks with their values below the frame and left of it, at one step
// for both axes.
void append_ticks(std::string& d, const Frame& f) {
  if (!(f.scale > 0.0) || !std::isfinite(f.scale)) return;
  const TickStep t = tick_step(std::max(f.xrange, f.yrange));
  std::string marks;
  std::string labels;
  for (double k = std::ceil(f.e.xmin / t.step); k * t.step <= f.e.xmax; k += 1.0) {
    const double x = f.sx(k * t.step);
    marks += "M " + num(x) + " " + num(f.bottom) + " v 5 ";
    labels += text(x, f.bottom + 16.0, "middle", "tick", tick_text(k * t.step, t.decimals));
  }
  for (double k = std::ceil(f.e.ymin / t.step); k * t.step <= f.e.ymax; k += 1.0) {
    const double y = f.sy(k * t.step);
    marks += "M " + num(kLeft) + " " + num(y) + " h -5 ";
    labels += text(kLeft - 7.0, y + 4.0, "end", "tick", tick_text(k * t.step, t.decimals));
  }
  if (!marks.empty()) marks.pop_back();
  d += "<path class=\"ticks\" d=\"" + marks + "\" stroke=\"#333333\" fill=\"none\"/>\n";
  d += labels;
}

// The arrow head, the frame, the zero lines, the ticks, the axis titles and
// the note of the arrows' factor.
void append_axes(std::string& d, const Biplot& b, const Frame& f, double factor) {
  d += part::arrow_marker();
  d += "<rect class=\"frame\" x=\"" + num(kLeft) + "\" y=\"" + num(kTop) + "\" width=\"" +
       num(f.xrange * f.scale) + "\" height=\"" + num(f.yrange * f.scale) +
       "\" fill=\"none\" stroke=\"#999999\"/>\n";
  d += line(f.sx(0.0), kTop, f.sx(0.0), f.bottom, "id=\"zero-x\" stroke=\"#777777\" stroke-dasharray=\"4 3\"");
  d += line(kLeft, f.sy(0.0), f.right, f.sy(0.0), "id=\"zero-y\" stroke=\"#777777\" stroke-dasharray=\"4 3\"");
  append_ticks(d, f);
  d += text((kLeft + f.right) / 2.0, f.bottom + 35.0, "middle", "axis-title",
            "Axis " + std::to_string(b.axis1 + 1) + " (" + percent_text(b.percent1) + " %)");
  d += text(20.0, (kTop + f.bottom) / 2.0, "middle", "axis-title",
            "Axis " + std::to_string(b.axis2 + 1) + " (" + percent_text(b.percent2) + " %)",
            " transform=\"rotate(-90 20 " + num((kTop + f.bottom) / 2.0) + ")\"");
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

// What the biplot draws: the objects shown (all, or one per small cell when
// there are very many), their markers' size, and every marker as an
// obstacle for the labels.
struct Marks {
  std::vector<std::size_t> objects;  // shown, in index order
  bool crowded = false, thinned = false;
  double radius = 3.0;
  std::vector<Box> obstacles;
};

Marks marks_of(const Biplot& b, const Frame& f, double factor) {
  Marks m;
  const std::size_t n = static_cast<std::size_t>(b.objects.points());
  m.crowded = b.objects.points() > kLabelledObjectLimit;
  m.thinned = b.objects.points() > kThinnedObjectLimit;
  m.radius = m.crowded ? 2.0 : 3.0;
  std::unordered_set<std::int64_t> cells;
  for (std::size_t i = 0; i < n; ++i) {
    const double x = object_x(b, i), y = object_y(b, i);
    if (!finite(x, y)) continue;
    if (m.thinned) {
      const auto cx = static_cast<std::int64_t>(std::floor((f.sx(x) - kLeft) / b.thin_cell));
      const auto cy = static_cast<std::int64_t>(std::floor((f.sy(y) - kTop) / b.thin_cell));
      if (!cells.insert(cy * 1000003 + cx).second) continue;  // (cx, cy): a cell of thin_cell units
    }
    m.objects.push_back(i);
    const double r = m.radius + 0.5;
    m.obstacles.push_back({f.sx(x) - r, f.sy(y) - r, f.sx(x) + r, f.sy(y) + r});
  }
  const std::size_t p = static_cast<std::size_t>(b.variables.points());
  for (std::size_t j = 0; j < p; ++j) {
    const double x = variable_x(b, factor, j), y = variable_y(b, factor, j);
    if (!finite(x, y)) continue;
    const double r = 4.5;  // the square, or the arrow's head
    m.obstacles.push_back({f.sx(x) - r, f.sy(y) - r, f.sx(x) + r, f.sy(y) + r});
  }
  return m;
}

// The objects as dots, translucent when there are many.
void append_objects(std::string& d, const Frame& f, const Biplot& b, const Marks& m) {
  d += "<g class=\"objects\" fill=\"" + std::string(kObjectColour) + "\"" +
       (m.crowded ? " fill-opacity=\"0.3\"" : "") + ">\n";
  const std::string r = m.crowded ? "2" : "3";
  for (std::size_t i : m.objects) {
    // Coloured by the level of its group when the overlay groups the objects.
    std::string fill;
    if (b.overlay != nullptr && i < b.overlay->groups.size())
      fill = " fill=\"" + level_colour(b.overlay->groups[i]) + "\"";
    d += "<circle class=\"object\" cx=\"" + num(f.sx(object_x(b, i))) + "\" cy=\"" +
         num(f.sy(object_y(b, i))) + "\" r=\"" + r + "\" data-i=\"" + std::to_string(i) + "\"" +
         fill + "/>\n";
  }
  d += "</g>\n";
}

// The variables as arrows from the origin or as squares.
void append_variables(std::string& d, const Biplot& b, const Frame& f, double factor) {
  const std::size_t p = static_cast<std::size_t>(b.variables.points());
  d += "<g class=\"variables\" fill=\"" + std::string(kVariableColour) + "\">\n";
  for (std::size_t j = 0; j < p; ++j) {
    const double x = variable_x(b, factor, j), y = variable_y(b, factor, j);
    if (!finite(x, y)) continue;
    const double px = f.sx(x), py = f.sy(y);
    if (b.arrows) {
      d += line(f.sx(0.0), f.sy(0.0), px, py,
                "class=\"variable\" stroke=\"" + std::string(kVariableColour) +
                    "\" stroke-width=\"1.5\" marker-end=\"url(#arrow)\" data-j=\"" +
                    std::to_string(j) + "\"");
    } else {
      d += "<rect class=\"variable\" x=\"" + num(px - 3.5) + "\" y=\"" + num(py - 3.5) +
           "\" width=\"7\" height=\"7\" data-j=\"" + std::to_string(j) + "\"/>\n";
    }
  }
  d += "</g>\n";
}

bool labelled(std::span<const char> flags, std::size_t i, bool otherwise) {
  return flags.empty() ? otherwise : flags[i] != 0;
}

// The labels asked for, placed without overlap: the variables first, then
// the objects from the farthest from the origin in; a leader line for a
// label moved away from its point; a note of the labels left out.
void append_labels(std::string& d, const Biplot& b, const Frame& f, double factor,
                   const Marks& m) {
  std::vector<std::string> texts;
  std::vector<LabelRequest> requests;
  std::vector<char> is_object;
  const std::size_t p = static_cast<std::size_t>(b.variables.points());
  for (std::size_t j = 0; j < p; ++j) {
    const double x = variable_x(b, factor, j), y = variable_y(b, factor, j);
    if (!finite(x, y) || !labelled(b.variable_labelled, j, true)) continue;
    texts.push_back(point_label(b.variable_labels, j));
    const double px = f.sx(x), py = f.sy(y);
    requests.push_back({px, py, 4.5, {}, 1e12 + std::hypot(px - f.sx(0.0), py - f.sy(0.0))});
    is_object.push_back(0);
  }
  for (std::size_t i : m.objects) {
    if (!labelled(b.object_labelled, i, !m.crowded)) continue;
    texts.push_back(point_label(b.object_labels, i));
    const double px = f.sx(object_x(b, i)), py = f.sy(object_y(b, i));
    requests.push_back({px, py, m.radius + 0.5, {}, std::hypot(px - f.sx(0.0), py - f.sy(0.0))});
    is_object.push_back(1);
  }
  for (std::size_t k = 0; k < requests.size(); ++k) requests[k].text = texts[k];
  const std::vector<PlacedLabel> placed = place_labels(requests, m.obstacles, f.area(), kFontSize);

  std::string leaders[2];  // of the variables, of the objects
  std::int64_t left_out = 0;
  d += "<g class=\"labels\" fill=\"#222222\">\n";
  for (std::size_t k = 0; k < placed.size(); ++k) {
    const PlacedLabel& l = placed[k];
    if (!l.placed) {
      ++left_out;
      continue;
    }
    d += text(l.x, l.baseline, "start", "label", texts[k],
              is_object[k] ? " data-kind=\"o\"" : " data-kind=\"v\"");
    if (l.leader)
      leaders[is_object[k] ? 1 : 0] += "M " + num(requests[k].x) + " " + num(requests[k].y) + " L " + num(l.leader_x) +
                 " " + num(l.leader_y) + " ";
  }
  d += "</g>\n";
  for (int kind = 0; kind < 2; ++kind) {
    if (leaders[kind].empty()) continue;
    leaders[kind].pop_back();
    d += "<path class=\"leaders\" data-kind=\"" + std::string(kind ? "o" : "v") + "\" d=\"" +
         leaders[kind] + "\" stroke=\"#888888\" stroke-width=\"0.5\" fill=\"none\"/>\n";
  }
  std::string note;
  if (m.thinned)
    note = std::to_string(m.objects.size()) + " of " + std::to_string(b.objects.points()) +
           " objects drawn (one a " + num(b.thin_cell) + "-unit cell; all in the tables)";
  if (left_out > 0)
    note += (note.empty() ? "" : "; ") + std::to_string(left_out) +
            (left_out == 1 ? " label" : " labels") + " left out for want of room";
  if (!note.empty()) d += text(kLeft, f.bottom + 52.0, "start", "note", note);
}

}  // namespace

std::string biplot(const Biplot& b) {
  const double factor = arrow_factor(b);
  const Frame f = frame_of(b, factor);
  const Marks m = marks_of(b, f, factor);
  std::string d = header(f.width, f.height,
                         "Biplot of axes " + std::to_string(b.axis1 + 1) + " and " +
                             std::to_string(b.axis2 + 1));
  append_axes(d, b, f, factor);
  append_legend(d, b.arrows);
  append_objects(d, f, b, m);
  append_variables(d, b, f, factor);
  append_labels(d, b, f, factor, m);
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

std::vector<std::size_t> drawn_objects(const Biplot& b) {
  const double factor = arrow_factor(b);
  return marks_of(b, frame_of(b, factor), factor).objects;
}

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

void write_svg(const textio::Directory& dir, int unit, const std::string& name,
               const std::string& document) {
  textio::OutputFile file(unit, dir, name);
  file.write_records(document);
  file.close();
}

void write_pictures(const textio::Directory& dir, const Biplot& b,
                    const results::Eigensystem& eigen, const ScreeOverlay* overlay) {
  if (b.objects.axes() > std::max(b.axis1, b.axis2))
    write_svg(dir, textio::units::kBiplot, kBiplotFile, biplot(b));
  write_svg(dir, textio::units::kScree, kScreeFile, scree(eigen, overlay));
}

}  // namespace orthaxis::svg
