#include "export/label_placement.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <unordered_map>

namespace orthaxis::svg {

namespace {

double ascii_em(unsigned char c) {
  switch (c) {
    case 'i': case 'j': case 'l': case '.': case ',': case ':': case ';': case '\'':
    case '!': case '|': case ' ': case 'I': case 'f': case 't': case 'r':
      return 0.40;
    case 'M': case 'W': case 'm': case 'w': case '@':
      return 0.95;
    case '%': case '&':
      return 0.80;
    default:
      return c >= 'A' && c <= 'Z' ? 0.80 : 0.62;
  }
}

// Boxes by the cells of a grid they touch, for the test of a candidate
// against what is already there.
class BoxGrid {
 public:
  explicit BoxGrid(double cell) : cell_(cell) {}
  void add(const Box& b) {
    const std::size_t index = boxes_.size();
    boxes_.push_back(b);
    for_cells(b, [&](std::int64_t key) { cells_[key].push_back(index); });
  }
  bool free(const Box& b) const {
    bool hit = false;
    for_cells(b, [&](std::int64_t key) {
      if (hit) return;
      const auto it = cells_.find(key);
      if (it == cells_.end()) return;
      for (std::size_t i : it->second)
        if (boxes_[i].overlaps(b)) {
          hit = true;
          return;
        }
    });
    return !hit;
  }

 private:
  template <typename F>
  void for_cells(const Box& b, F f) const {
    const auto c0 = static_cast<std::int64_t>(std::floor(b.x0 / cell_));
    const auto c1 = static_cast<std::int64_t>(std::floor(b.x1 / cell_));
    const auto r0 = static_cast<std::int64_t>(std::floor(b.y0 / cell_));
    const auto r1 = static_cast<std::int64_t>(std::floor(b.y1 / cell_));
    for (std::int64_t r = r0; r <= r1; ++r)
      for (std::int64_t c = c0; c <= c1; ++c) f(r * 1000003 + c);
  }
  double cell_;
  std::vector<Box> boxes_;
  std::unordered_map<std::int64_t, std::vector<std::size_t>> cells_;
};

// The eight directions, east first and then counter-clockwise (screen y down).
constexpr double kDx[8] = {1, 0.7071, 0, -0.7071, -1, -0.7071, 0, 0.7071};
constexpr double kDy[8] = {0, -0.7071, -1, -0.7071, 0, 0.7071, 1, 0.7071};
// Nearest-first preference: right, above right, below right, left, ...
constexpr int kOrder[8] = {0, 1, 7, 4, 3, 5, 2, 6};
constexpr int kRings = 6;

}  // namespace

double text_width(std::string_view text, double font_size) {
  double em = 0.0;
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      em += ascii_em(c);
      ++i;
      continue;
    }
    const std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    // From U+1100 on: a three-byte sequence from E1 84 80, or any four-byte one.
    const bool wide = length == 4 || (length == 3 && (c > 0xE1 || (i + 1 < text.size() &&
                                      static_cast<unsigned char>(text[i + 1]) >= 0x84)));
    em += wide ? 1.0 : 0.75;
    i += length;
  }
  return em * font_size;
}

Box text_box(std::string_view text, double x, double baseline, double font_size) {
  return {x, baseline - kAscent * font_size, x + text_width(text, font_size),
          baseline + kDescent * font_size};
}

std::vector<PlacedLabel> place_labels(std::span<const LabelRequest> labels,
                                      std::span<const Box> obstacles, const Box& area,
                                      double font_size) {
  const double height = (kAscent + kDescent) * font_size;
  BoxGrid grid(4.0 * font_size);
  for (const Box& b : obstacles) grid.add(b);

  std::vector<std::size_t> order(labels.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return labels[a].priority > labels[b].priority;
  });

  std::vector<PlacedLabel> out(labels.size());
  for (std::size_t index : order) {
    const LabelRequest& l = labels[index];
    const double width = text_width(l.text, font_size);
    for (int ring = 0; ring < kRings && !out[index].placed; ++ring) {
      const double distance = l.clearance + 2.0 + ring * 0.8 * height;
      for (int d : kOrder) {
        // The box touches the point of the circle of this distance in
        // direction d with its nearest edge or corner.
        const double ax = l.x + kDx[d] * distance, ay = l.y + kDy[d] * distance;
        const double x0 = kDx[d] > 0.1 ? ax : kDx[d] < -0.1 ? ax - width : ax - width / 2.0;
        const double y0 = kDy[d] > 0.1 ? ay : kDy[d] < -0.1 ? ay - height : ay - height / 2.0;
        const Box box{x0, y0, x0 + width, y0 + height};
        if (!box.inside(area) || !grid.free(box)) continue;
        PlacedLabel& p = out[index];
        p.placed = true;
        p.x = x0;
        p.baseline = y0 + kAscent * font_size;
        p.box = box;
        p.leader = ring > 0;
        p.leader_x = std::clamp(l.x, box.x0, box.x1);
        p.leader_y = std::clamp(l.y, box.y0, box.y1);
        grid.add(box);
        break;
      }
    }
  }
  return out;
}

}  // namespace orthaxis::svg
