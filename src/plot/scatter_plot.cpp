#include "plot/scatter_plot.h"

#include <cstddef>
#include <initializer_list>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "textio/format.h"
#include "textio/value.h"

namespace orthaxis::plot {

namespace {

// Axis report; it ends with the heading of the list of points not drawn.
const textio::Format kAxisReport{
    "(////3X,'HORIZONTAL AXIS IS DIMENSION',I3/ 3X,'VERTICAL AXIS IS DIMENSION',I5/3X///10X,"
    "'HORIZONTAL AXIS'//3X,'MINIMUM VALUE=',F15.5/3X,'MAXIMUM VALUE=',F15.5/3X,   "
    "'SCALING UNIT =',F15.5/3X,'ONE TICK=',F9.3///10X,'VERTICAL AXIS'//3X,'MINIMUM VALUE=',"
    "F15.5/3X,'MAXIMUM VALUE=',F15.5/3X,'SCALING UNIT =',F15.5/3X,'ONE TICK=',F9.3//3X,  "
    "'OVERLAPPING POINTS (NOT PLOTTED)'//3X,'ID.NUMBER',8X,   'COORDINATES'/)"};
// One point that was not drawn: its number and both coordinates.
const textio::Format kOverlap{"(I9,5F15.5)"};
// Blank records before the picture.
const textio::Format kPictureGap{"(//)"};
// One border line or one grid line, a character per cell.
const textio::Format kPictureLine{"(1X,125A1)"};

// Above this many points the cells show point counts instead of point numbers.
constexpr std::int32_t kLabelModeLimit = 500;

// Cell codes: 0 to 9 are digits; the rest are drawn with kCellChars.
using Cell = std::uint8_t;
constexpr Cell kBlank = 10;
constexpr Cell kDash = 11;  // horizontal axis line, ticks on the vertical axis
constexpr Cell kBar = 12;   // vertical axis line, ticks on the horizontal axis
constexpr std::string_view kCellChars = "0123456789 -|";
constexpr char kBorder = '.';

void put(textio::Console& console, const textio::Format& format,
         std::initializer_list<textio::Value> values) {
  format.write(std::span<const textio::Value>(values.begin(), values.size()),
               [&console](std::string_view record) { console.write(record); });
}

// Truncation toward zero to a 32-bit integer. A value with no such integer
// (NaN, an infinity, a magnitude beyond 32 bits) becomes the most negative
// integer, so clamping then puts it in the first line or column; this is how
// every position computed with a zero scaling unit comes out as 1.
std::int32_t truncate(float v) {
  if (v >= -2147483648.0f && v < 2147483648.0f) return static_cast<std::int32_t>(v);
  return std::numeric_limits<std::int32_t>::min();
}

std::int32_t clamp_position(std::int32_t k, std::int32_t upper) {
  if (k > upper) k = upper;
  if (k < 1) k = 1;
  return k;
}

// Distance between tick marks for an axis range (no step between 1 and 10).
float tick_step(float range) {
  if (range <= 2.0f) return 0.2f;
  if (range <= 12.0f) return 0.5f;
  if (range <= 40.0f) return 1.0f;
  return 10.0f;
}

// Moves a running tick value by one step. Far from zero (axis values of some
// millions and beyond) the step can be lost in the rounding of the value;
// the run then ends here, as it would otherwise never reach the axis end.
bool step_up(float& t, float step) {
  const float next = t + step;
  if (next == t) return false;
  t = next;
  return true;
}

bool step_down(float& t, float step) {
  const float next = t - step;
  if (next == t) return false;
  t = next;
  return true;
}

// The plotted points, 1-based.
class Points {
 public:
  explicit Points(const results::ScoreMatrix& scores) : scores_(scores) {}

  // Point i on axis d, both 1-based.
  float value(std::int32_t i, std::int32_t d) const {
    return scores_.at(static_cast<std::size_t>(i - 1), static_cast<std::size_t>(d - 1));
  }

 private:
  const results::ScoreMatrix& scores_;
};

// Lines by columns of cell codes, 1-based, line 1 at the top.
class Grid {
 public:
  Grid(std::int32_t lines, std::int32_t columns)
      : lines_(lines),
        columns_(columns),
        cells_(static_cast<std::size_t>(lines) * static_cast<std::size_t>(columns), kBlank) {}

  std::int32_t lines() const { return lines_; }
  std::int32_t columns() const { return columns_; }

  Cell& at(std::int32_t line, std::int32_t column) {
    return cells_[static_cast<std::size_t>(line - 1) * static_cast<std::size_t>(columns_) +
                  static_cast<std::size_t>(column - 1)];
  }

  void fill_line(std::int32_t line, Cell code) {
    for (std::int32_t c = 1; c <= columns_; ++c) at(line, c) = code;
  }
  void fill_column(std::int32_t column, Cell code) {
    for (std::int32_t r = 1; r <= lines_; ++r) at(r, column) = code;
  }

  // The printed characters of one line.
  std::string text(std::int32_t line) {
    std::string s(static_cast<std::size_t>(columns_), ' ');
    for (std::int32_t c = 1; c <= columns_; ++c) {
      s[static_cast<std::size_t>(c - 1)] = kCellChars[at(line, c)];
    }
    return s;
  }

 private:
  std::int32_t lines_;
  std::int32_t columns_;
  std::vector<Cell> cells_;
};

// Extremes and scaling unit of one axis.
struct Scale {
  float min;
  float max;
  float range;
  float unit;
  bool holds_zero() const { return min <= 0.0f && 0.0f <= max; }
};

Scale scale_of(const Points& points, std::int32_t n, std::int32_t axis, std::int32_t cells) {
  Scale s{};
  s.min = s.max = points.value(1, axis);
  for (std::int32_t i = 2; i <= n; ++i) {
    const float v = points.value(i, axis);
    if (v > s.max) s.max = v;
    if (v < s.min) s.min = v;
  }
  s.range = s.max - s.min;
  s.unit = s.range / static_cast<float>(cells);
  return s;
}

// Maps axis values to grid positions.
struct Placement {
  Scale x;
  Scale y;
  std::int32_t lines;
  std::int32_t columns;

  // xmin falls in column 1, xmax (raw position C + 1) in column C.
  std::int32_t column(float v) const {
    return clamp_position(truncate((v - x.min + x.unit) / x.unit), columns);
  }
  // ymin falls in line L - 1; the top two units share line 1; line L stays empty.
  std::int32_t line(float v) const {
    return clamp_position(truncate(static_cast<float>(lines) - (v - y.min + y.unit) / y.unit),
                          lines);
  }
};

// Tick marks on the horizontal axis line, counted out from 0 in both directions.
void horizontal_ticks(Grid& grid, const Placement& at, std::int32_t line0, float tx) {
  float t = 0.0f;
  // Upward there is no lower check: ticks below xmin pile up in column 1.
  while (step_up(t, tx)) {
    if (t > at.x.max) break;
    grid.at(line0, at.column(t)) = kBar;
  }
  t = 0.0f;
  while (step_down(t, tx)) {
    if (t < at.x.min) break;
    if (t <= at.x.max) grid.at(line0, at.column(t)) = kBar;
  }
}

// Tick marks on the vertical axis line, counted out from 0 in both directions.
void vertical_ticks(Grid& grid, const Placement& at, std::int32_t col0, float ty) {
  float t = 0.0f;
  while (step_up(t, ty)) {
    if (t > at.y.max) break;
    if (t >= at.y.min) grid.at(at.line(t), col0) = kDash;
  }
  t = 0.0f;
  while (step_down(t, ty)) {
    if (t < at.y.min) break;
    if (t <= at.y.max) grid.at(at.line(t), col0) = kDash;
  }
}

// Count mode: each cell shows its number of points modulo 10; a point that
// lands on an axis line or a tick mark shows 0.
void count_point(Grid& grid, std::int32_t line, std::int32_t column) {
  Cell& cell = grid.at(line, column);
  if (cell == kBlank) {
    cell = 1;
  } else if (cell < 9) {
    ++cell;
  } else {
    cell = 0;
  }
}

// Label mode: writes the digits of point i from the given column, moved left
// so that the number ends in the last column at the latest. Returns false,
// drawing nothing, when a needed cell already holds a digit.
bool label_point(Grid& grid, std::int32_t i, std::int32_t line, std::int32_t column) {
  const std::int32_t last = grid.columns();
  Cell digits[3];
  std::int32_t width;
  if (i < 10) {
    digits[0] = static_cast<Cell>(i);
    width = 1;
  } else if (i <= 99) {
    if (column == last) column = last - 1;
    digits[0] = static_cast<Cell>(i / 10);
    digits[1] = static_cast<Cell>(i % 10);
    width = 2;
  } else {
    if (column == last || column == last - 1) column = last - 2;
    digits[0] = static_cast<Cell>(i / 100);
    digits[1] = static_cast<Cell>(i % 100 / 10);
    digits[2] = static_cast<Cell>(i % 10);
    width = 3;
  }
  for (std::int32_t k = 0; k < width; ++k) {
    if (grid.at(line, column + k) <= 9) return false;
  }
  for (std::int32_t k = 0; k < width; ++k) grid.at(line, column + k) = digits[k];
  return true;
}

void print_picture(Grid& grid, textio::Console& console) {
  put(console, kPictureGap, {});
  const std::string border(static_cast<std::size_t>(grid.columns()), kBorder);
  put(console, kPictureLine, {textio::Chars{border}});
  for (std::int32_t r = 1; r <= grid.lines(); ++r) {
    const std::string text = grid.text(r);
    put(console, kPictureLine, {textio::Chars{text}});
  }
  put(console, kPictureLine, {textio::Chars{border}});
}

}  // namespace

void scatter_plot(const results::ScoreMatrix& scores, std::int32_t horizontal_axis,
                  std::int32_t vertical_axis, textio::Console& console) {
  const std::int32_t n = scores.points();
  if (n < 1) return;  // no point to take the extremes from
  const Points points(scores);

  std::int32_t lines = n / 2 + n / 4;
  if (lines < 30) lines = 30;
  if (lines > 80) lines = 80;
  const std::int32_t columns = lines + 20;
  Grid grid(lines, columns);

  const Placement at{scale_of(points, n, horizontal_axis, columns),
                     scale_of(points, n, vertical_axis, lines), lines, columns};

  // Zero lines. An axis whose values are all zero gives no scale: nothing is drawn.
  const bool horizontal_line = at.y.holds_zero();
  std::int32_t line0 = 0;
  if (horizontal_line) {
    if (!(at.y.unit > 0.0f)) return;
    line0 = at.line(0.0f);
    grid.fill_line(line0, kDash);
  }
  const bool vertical_line = at.x.holds_zero();
  std::int32_t col0 = 0;
  if (vertical_line) {
    if (!(at.x.unit > 0.0f)) return;
    col0 = at.column(0.0f);
    grid.fill_column(col0, kBar);
  }

  const float tx = tick_step(at.x.range);
  const float ty = tick_step(at.y.range);
  if (horizontal_line) horizontal_ticks(grid, at, line0, tx);
  if (vertical_line) vertical_ticks(grid, at, col0, ty);

  const float reported_tx = horizontal_line ? tx : 0.0f;
  const float reported_ty = vertical_line ? ty : 0.0f;
  put(console, kAxisReport,
      {horizontal_axis, vertical_axis, at.x.min, at.x.max, at.x.unit, reported_tx, at.y.min,
       at.y.max, at.y.unit, reported_ty});

  const bool count_mode = n > kLabelModeLimit;
  for (std::int32_t i = 1; i <= n; ++i) {
    const float x = points.value(i, horizontal_axis);
    const float y = points.value(i, vertical_axis);
    const std::int32_t c = at.column(x);
    const std::int32_t r = at.line(y);
    if (count_mode) {
      count_point(grid, r, c);
    } else if (!label_point(grid, i, r, c)) {
      put(console, kOverlap, {i, x, y});
    }
  }

  print_picture(grid, console);
}

}  // namespace orthaxis::plot
