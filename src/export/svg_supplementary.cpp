// The supplementary part of the biplot: hollow markers for supplementary
// objects, dashed arrows (or hollow squares) for supplementary variables,
// the centroids of the levels as labelled diamonds in their colour, and a
// legend for all of them beside the plot.

#include <charconv>
#include <cmath>

#include "export/svg.h"
#include "export/number_text.h"
#include "export/svg_parts.h"

namespace orthaxis::svg {

namespace {

constexpr const char* kPalette[] = {"#1b9e77", "#d95f02", "#7570b3", "#e7298a",
                                    "#66a61e", "#e6ab02", "#a6761d", "#17becf"};
constexpr const char* kSupplementaryObject = "#1f5f9f";
constexpr const char* kSupplementaryVariable = "#c0392b";
constexpr double kNudge = 5.0;


std::string label(double x, double y, std::string_view anchor, std::string_view cls,
                  std::string_view content, std::string_view colour = "") {
  return part::text(x, y, anchor, cls, content,
                    colour.empty() ? std::string() : " fill=\"" + std::string(colour) + "\"");
}

bool finite(const OverlayPoint& p) { return std::isfinite(p.x) && std::isfinite(p.y); }

std::string diamond(double x, double y, double r, const std::string& colour,
                    std::string_view cls = "centroid") {
  return "<path class=\"" + std::string(cls) + "\" d=\"M " + num(x) + " " + num(y - r) + " L " + num(x + r) + " " +
         num(y) + " L " + num(x) + " " + num(y + r) + " L " + num(x - r) + " " + num(y) +
         " z\" fill=\"" + colour + "\" stroke=\"black\" stroke-width=\"0.8\"/>\n";
}

}  // namespace

std::string level_colour(std::int32_t k) {
  if (k < 0) return "#bbbbbb";
  return kPalette[static_cast<std::size_t>(k) % (sizeof kPalette / sizeof kPalette[0])];
}

std::string overlay_elements(const Overlay& o, const Placement& at) {
  std::string d;
  d += "<g class=\"supplementary-objects\" fill=\"none\" stroke=\"" +
       std::string(kSupplementaryObject) + "\" stroke-width=\"1.2\">\n";
  for (const OverlayPoint& p : o.objects) {
    if (!finite(p)) continue;
    d += "<circle class=\"supplementary-object\" cx=\"" + num(at.x(p.x)) + "\" cy=\"" +
         num(at.y(p.y)) + "\" r=\"4\"/>\n";
  }
  d += "</g>\n<g class=\"supplementary-object-labels\">\n";
  for (const OverlayPoint& p : o.objects)
    if (finite(p)) d += label(at.x(p.x) + kNudge, at.y(p.y) + 3.0 * kNudge, "start", "label", p.label, kSupplementaryObject);
  d += "</g>\n";

  d += "<g class=\"supplementary-variables\">\n";
  for (const OverlayPoint& p : o.variables) {
    if (!finite(p)) continue;
    const double px = at.x(at.factor * p.x), py = at.y(at.factor * p.y);
    const double ox = at.x(0.0), oy = at.y(0.0);
    double ux = 1.0, uy = -1.0;
    if (at.arrows) {
      d += "<line class=\"supplementary-variable\" x1=\"" + num(ox) + "\" y1=\"" + num(oy) +
           "\" x2=\"" + num(px) + "\" y2=\"" + num(py) + "\" stroke=\"" + kSupplementaryVariable +
           "\" stroke-width=\"1.5\" stroke-dasharray=\"5 3\" marker-end=\"url(#arrow)\"/>\n";
      const double length = std::hypot(px - ox, py - oy);
      if (length > 0.0) {
        ux = (px - ox) / length;
        uy = (py - oy) / length;
      }
    } else {
      d += "<rect class=\"supplementary-variable\" x=\"" + num(px - 3.5) + "\" y=\"" +
           num(py - 3.5) + "\" width=\"7\" height=\"7\" fill=\"none\" stroke=\"" +
           kSupplementaryVariable + "\" stroke-width=\"1.2\"/>\n";
    }
    d += label(px + kNudge * ux * 1.4, py + kNudge * uy * 1.4 + (uy > 0 ? 9.0 : 0.0),
               ux < 0 ? "end" : "start", "label", p.label, kSupplementaryVariable);
  }
  d += "</g>\n";

  d += "<g class=\"centroids\">\n";
  for (std::size_t k = 0; k < o.centroids.size(); ++k) {
    const OverlayPoint& p = o.centroids[k];
    if (!finite(p)) continue;
    d += diamond(at.x(p.x), at.y(p.y), 6.0, level_colour(static_cast<std::int32_t>(k)));
    d += label(at.x(p.x) + 8.0, at.y(p.y) - 6.0, "start", "centroid-label", p.label);
  }
  d += "</g>\n";

  // The legend, one entry a line.
  double y = at.legend_y + 10.0;
  const double x = at.legend_x;
  d += "<g class=\"legend-supplementary\">\n";
  auto entry = [&](const std::string& mark, std::string_view text) {
    d += mark;
    d += label(x + 14.0, y + 4.0, "start", "legend", text);
    y += 16.0;
  };
  if (!o.objects.empty())
    entry("<circle cx=\"" + num(x + 4.0) + "\" cy=\"" + num(y) + "\" r=\"4\" fill=\"none\" stroke=\"" +
              kSupplementaryObject + "\"/>\n",
          "supplementary objects");
  if (!o.variables.empty())
    entry("<line x1=\"" + num(x - 2.0) + "\" y1=\"" + num(y) + "\" x2=\"" + num(x + 10.0) + "\" y2=\"" +
              num(y) + "\" stroke=\"" + kSupplementaryVariable + "\" stroke-dasharray=\"4 2\"/>\n",
          "supplementary variables");
  if (!o.levels.empty()) {
    d += label(x, y + 4.0, "start", "legend-title", o.grouping);
    y += 16.0;
    for (std::size_t k = 0; k < o.levels.size(); ++k)
      entry(diamond(x + 4.0, y, 5.0, level_colour(static_cast<std::int32_t>(k)), "legend-mark"),
            o.levels[k]);
  }
  d += "</g>\n";
  return d;
}

}  // namespace orthaxis::svg
