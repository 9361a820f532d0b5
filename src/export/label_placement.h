#pragma once
// Labels of a scatter picture placed so that no label overlaps another label
// or covers a point. The points never move: a label tries the eight places
// around its point, nearest first, then the same eight places farther out
// (drawn with a leader line back to the point); a label with no free place
// is left out. The order is fixed by the callers' priorities and the
// indices, so the same points give the same picture on every run.
//
// The width of a text is not measured (no font is at hand); it is estimated
// conservatively from its characters at the font size, in em:
//   0.40  i j l . , : ; ' ! | space and I f t r (narrow)
//   0.95  M W m w @ (wide)
//   0.80  other capitals and % &
//   0.62  every other ASCII character (lower case, digits, signs)
//   1.00  a character from U+1100 on (wide scripts, symbols), 0.75 below it
// which is at least the advance of these characters in common sans-serif
// faces. A line is 1.2 em high: 0.95 above the baseline, 0.25 below.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace orthaxis::svg {

struct Box {
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // left, top, right, bottom in document units
  bool overlaps(const Box& o) const { return x0 < o.x1 && o.x0 < x1 && y0 < o.y1 && o.y0 < y1; }
  bool inside(const Box& o) const { return x0 >= o.x0 && x1 <= o.x1 && y0 >= o.y0 && y1 <= o.y1; }
};

inline constexpr double kAscent = 0.95, kDescent = 0.25;  // in em

// The estimated advance of `text` (UTF-8) at `font_size`.
double text_width(std::string_view text, double font_size);
// The box of a text drawn with text-anchor start at (x, baseline).
Box text_box(std::string_view text, double x, double baseline, double font_size);

struct LabelRequest {
  double x = 0, y = 0;        // the point, in document units
  double clearance = 3;       // the half-size of the point's marker
  std::string_view text;
  double priority = 0;        // higher is placed first
};

struct PlacedLabel {
  bool placed = false;
  double x = 0, baseline = 0;  // where the text starts (anchor start)
  Box box;
  bool leader = false;         // the label moved away from its point
  double leader_x = 0, leader_y = 0;  // the leader's end on the label's box
};

// `obstacles`: the markers of every drawn point (labels never cover them);
// `area`: where labels may go. One result per request, in request order.
std::vector<PlacedLabel> place_labels(std::span<const LabelRequest> labels,
                                      std::span<const Box> obstacles, const Box& area,
                                      double font_size);

}  // namespace orthaxis::svg
