#include "export/html.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "export/charts.h"
#include "export/html_assets.h"
#include "export/svg.h"
#include "export/number_text.h"

namespace orthaxis::html {

namespace {

using svg::fixed;

std::string json_number(double v) {
  if (!std::isfinite(v)) return "null";
  char buffer[64];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, 7);
  return std::string(buffer, r.ptr);
}


std::string label_of(std::span<const std::string> labels, std::size_t i) {
  return labels.empty() ? std::to_string(i + 1) : labels[i];
}

// An SVG document without its XML declaration, for inline use.
std::string inline_svg(const std::string& doc) {
  if (doc.starts_with("<?xml")) return doc.substr(doc.find('\n') + 1);
  return doc;
}

std::string json_points(const PointSet& s) {
  const auto q = static_cast<std::size_t>(s.scores.axes());
  std::string index, label, coord, cos2, ctr;
  for (std::size_t r = 0; r < s.rows.size(); ++r) {
    const std::size_t i = s.rows[r];
    const std::string sep = r ? "," : "";
    index += sep + std::to_string(i);
    label += sep + json_string(label_of(s.labels, i));
    std::string c = "[", q2 = "[", t = "[";
    for (std::size_t k = 0; k < q; ++k) {
      const std::string ks = k ? "," : "";
      c += ks + json_number(s.scores.at(i, k));
      q2 += ks + json_number(s.cos2.at(i, k));
      t += ks + json_number(s.ctr.at(i, k));
    }
    coord += sep + c + "]";
    cos2 += sep + q2 + "]";
    ctr += sep + t + "]";
  }
  return "{\"index\":[" + index + "],\"label\":[" + label + "],\"coord\":[" + coord +
         "],\"cos2\":[" + cos2 + "],\"ctr\":[" + ctr + "]}";
}

// The largest contributions to axis k among the points on one side.
std::string side(const PointSet& s, std::size_t k, bool positive, std::size_t count) {
  std::vector<double> v(static_cast<std::size_t>(s.scores.points()), NAN);
  for (std::size_t i = 0; i < v.size(); ++i) {
    const float score = s.scores.at(i, k);
    if (positive ? score > 0.0f : score < 0.0f) v[i] = s.ctr.at(i, k);
  }
  std::string out;
  for (std::size_t i : svg::largest(v, count))
    out += (out.empty() ? "" : ", ") + text(label_of(s.labels, i)) + " (" + fixed(v[i], 1) + " %)";
  return out.empty() ? "none" : out;
}

}  // namespace

std::string text(std::string_view s) { return svg::xml_text(s); }

std::string json_string(std::string_view in) {
  // Well-formed UTF-8 is kept whole (xml_text's rule), then escaped for JSON
  // and for the script element.
  const std::string valid = [&] {
    std::string v;
    for (std::size_t i = 0; i < in.size(); ++i) {
      const unsigned char c = static_cast<unsigned char>(in[i]);
      if (c < 0x80) {
        v += static_cast<char>(c);
        continue;
      }
      // xml_text keeps a valid sequence and turns each bad byte into '?'.
      std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
      const std::string piece = svg::xml_text(in.substr(i, std::min(length, in.size() - i)));
      if (piece.size() == std::min(length, in.size() - i) && piece.find('?') == std::string::npos) {
        v += piece;
        i += length - 1;
      } else {
        v += '?';
      }
    }
    return v;
  }();
  std::string out = "\"";
  for (std::size_t i = 0; i < valid.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(valid[i]);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '<': out += "\\u003c"; break;
      case '>': out += "\\u003e"; break;
      case '&': out += "\\u0026"; break;
      default:
        if (c < 0x20 || c == 0x7f) {
          char buffer[8];
          const char* hex = "0123456789abcdef";
          buffer[0] = hex[c >> 4];
          buffer[1] = hex[c & 15];
          out += "\\u00" + std::string(buffer, 2);
        } else if (c == 0xE2 && i + 2 < valid.size() && static_cast<unsigned char>(valid[i + 1]) == 0x80 &&
                   (static_cast<unsigned char>(valid[i + 2]) == 0xA8 ||
                    static_cast<unsigned char>(valid[i + 2]) == 0xA9)) {
          out += static_cast<unsigned char>(valid[i + 2]) == 0xA8 ? "\\u2028" : "\\u2029";
          i += 2;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string axis_reading(const Page& p, std::size_t k) {
  return "<li><b>Axis " + std::to_string(k + 1) + "</b> (" + fixed(p.eigen.percent(k), 1) +
         " %). Positive side: variables " + side(p.variables, k, true, 3) + "; objects " +
         side(p.objects, k, true, 3) + ". Negative side: variables " +
         side(p.variables, k, false, 3) + "; objects " + side(p.objects, k, false, 3) + ".</li>\n";
}

Parts page(const Page& p) {
  const std::int32_t q = p.objects.scores.axes();
  std::string h = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                  "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
                  "style-src 'unsafe-inline'; script-src 'unsafe-inline'; img-src data:\">\n"
                  "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                  "<title>" + text("ORTHAXIS: " + p.data_file) + "</title>\n<style>" + kStyle +
                  "</style>\n</head>\n<body>\n";
  h += "<h1>" + text(p.analysis) + " of " + text(p.data_file) + "</h1>\n";
  if (!p.title.empty()) h += "<p>" + text(p.title) + "</p>\n";
  h += "<ul id=\"summary\">\n<li>" + std::to_string(p.n) + " objects, " + std::to_string(p.p) +
       " variables, " + std::to_string(q) + (q == 1 ? " axis" : " axes") + " retained</li>\n";
  if (p.missing >= 0) h += "<li>" + std::to_string(p.missing) + " missing values</li>\n";
  h += "<li>" + std::to_string(p.warnings) + (p.warnings == 1 ? " warning" : " warnings") +
       (p.warnings ? " (given on standard error)" : "") + "</li>\n</ul>\n";

  h += "<h2>Eigenvalues</h2>\n<div id=\"eigen-table\"></div>\n<div id=\"scree\">" +
       inline_svg(p.scree_svg) + "</div>\n";
  if (!p.biplot_svg.empty()) {
    h += "<h2>Biplot of axes " + std::to_string(p.axis1 + 1) + " and " +
         std::to_string(p.axis2 + 1) + "</h2>\n<p class=\"controls\">"
         "<label><input type=\"checkbox\" id=\"show-objects\" checked> objects</label> "
         "<label><input type=\"checkbox\" id=\"show-variables\" checked> variables</label> " +
         std::string(p.biplot_svg.find("class=\"legend-supplementary\"") != std::string::npos
                         ? "<label><input type=\"checkbox\" id=\"show-supplementary\" checked> "
                           "supplementary elements and groups</label> "
                         : "") +
         "<button id=\"zoom-in\" type=\"button\">zoom in</button> "
         "<button id=\"zoom-out\" type=\"button\">zoom out</button> "
         "<button id=\"zoom-reset\" type=\"button\">reset</button> "
         "<span class=\"note\">wheel to zoom, drag to pan, hover a point for its values</span></p>\n"
         "<div id=\"biplot\">" + inline_svg(p.biplot_svg) + "</div>\n";
    if (!p.biplot_note.empty()) h += "<p class=\"note\">" + text(p.biplot_note) + "</p>\n";
  }
  h += "<h2>Reading of the axes</h2>\n<ul id=\"reading\">\n";
  for (std::int32_t k = 0; k < q; ++k) h += axis_reading(p, static_cast<std::size_t>(k));
  h += "</ul>\n<h2>Variables</h2>\n<div class=\"scroll\" id=\"variable-table\"></div>\n"
       "<h2>Objects</h2>\n";
  if (p.objects.rows.size() < static_cast<std::size_t>(p.objects.scores.points()))
    h += "<p class=\"note\">" + std::to_string(p.objects.rows.size()) + " of " +
         std::to_string(p.objects.scores.points()) +
         " objects: those the biplot draws; objects.csv (--csv) holds every object.</p>\n";
  h += "<div class=\"scroll\" id=\"object-table\"></div>\n<h2>Report</h2>\n<pre id=\"report\">";

  std::string eigen;
  const std::vector<float> cumulative = p.eigen.cumulative_percentages();
  for (std::int32_t k = 0; k < p.eigen.positive_count; ++k) {
    const auto a = static_cast<std::size_t>(k);
    eigen += std::string(k ? "," : "") + "[" + std::to_string(k + 1) + "," +
             json_number(p.eigen.values[a]) + "," + json_number(p.eigen.percent(a)) + "," +
             json_number(cumulative[a]) + "]";
  }
  std::string t = "</pre>\n<div id=\"tip\" hidden></div>\n"
                  "<script type=\"application/json\" id=\"orthaxis-data\">{\"axes\":" +
                  std::to_string(q) + ",\"plane\":[" + std::to_string(p.axis1) + "," +
                  std::to_string(p.axis2) + "],\"eigen\":[" + eigen + "],\"objects\":" +
                  json_points(p.objects) + ",\"variables\":" + json_points(p.variables) +
                  "}</script>\n<script>" + kScript + "</script>\n</body>\n</html>\n";
  return {h, t};
}

std::string assemble(const Parts& parts, std::string_view report, const std::string& report_name) {
  const std::string_view shown = report.substr(0, std::min(report.size(), kReportShown));
  std::string page = parts.before_report;
  for (std::size_t start = 0; start < shown.size();) {  // line by line: text() replaces line ends
    std::size_t end = shown.find('\n', start);
    if (end == std::string_view::npos) end = shown.size();
    page += text(shown.substr(start, end - start)) + "\n";
    start = end + 1;
  }
  if (report.size() > kReportShown)
    page += "\n[... the report continues in " + text(report_name) + "]";
  return page + parts.after_report;
}

}  // namespace orthaxis::html
