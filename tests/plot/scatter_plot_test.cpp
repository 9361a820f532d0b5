#include "plot/scatter_plot.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "textio/console.h"

namespace {

using orthaxis::plot::scatter_plot;
using orthaxis::results::ScoreLayout;
using orthaxis::results::ScoreMatrix;
using orthaxis::textio::Console;

using Records = std::vector<std::string>;

// Console records of one plot call: the console writes the first record as
// is, each later one as "\n" + record, and a final "\n".
Records run_plot(std::int32_t horizontal, std::int32_t vertical, std::int32_t n,
                 std::int32_t layout, std::int32_t axis_count, const std::vector<float>& axis_major,
                 const std::vector<float>& point_major) {
  std::FILE* f = std::tmpfile();
  EXPECT_NE(f, nullptr);
  {
    Console console(f);
    // Layout 1: point i's axes side by side; otherwise one column of n values per axis.
    const ScoreMatrix scores =
        layout == 1 ? ScoreMatrix(axis_major, n, axis_count, ScoreLayout::kPointRows)
                    : ScoreMatrix(point_major, n, axis_count, ScoreLayout::kAxisColumns);
    scatter_plot(scores, horizontal, vertical, console);
    console.finish();
  }
  std::rewind(f);
  std::string text;
  for (int ch; (ch = std::fgetc(f)) != EOF;) text += static_cast<char>(ch);
  std::fclose(f);
  Records records;
  if (text.empty()) return records;
  EXPECT_EQ(text.back(), '\n');
  text.pop_back();
  std::size_t start = 0;
  for (;;) {
    std::size_t end = text.find('\n', start);
    records.push_back(text.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return records;
}

// Axes 1 and 2 of points given as x and y lists, point-major layout.
Records plot_xy(const std::vector<float>& x, const std::vector<float>& y) {
  std::vector<float> scores = x;
  scores.insert(scores.end(), y.begin(), y.end());
  return run_plot(1, 2, static_cast<std::int32_t>(x.size()), 2, 2, {}, scores);
}

// Axis report record numbers (0-based).
constexpr std::size_t kXMin = 11, kXUnit = 13, kXTick = 14, kYMin = 19, kYUnit = 21, kYTick = 22;
constexpr std::size_t kReportRecords = 28;

// The L grid lines of the picture (without the leading blank), after checking
// the two border lines of C full stops that close the output.
std::vector<std::string> picture(const Records& records, std::size_t lines, std::size_t columns) {
  EXPECT_GE(records.size(), lines + 2);
  if (records.size() < lines + 2) return {};
  const std::string border = " " + std::string(columns, '.');
  const std::size_t top = records.size() - lines - 2;
  EXPECT_EQ(records[top], border);
  EXPECT_EQ(records.back(), border);
  std::vector<std::string> grid;
  for (std::size_t r = top + 1; r <= top + lines; ++r) {
    EXPECT_EQ(records[r].size(), columns + 1);
    EXPECT_EQ(records[r][0], ' ');
    grid.push_back(records[r].substr(1));
  }
  return grid;
}

// An expected picture, drawn by hand with 1-based lines and columns.
struct Canvas {
  Canvas(std::size_t lines, std::size_t columns) : rows(lines, std::string(columns, ' ')) {}
  void set(std::size_t line, std::size_t column, char ch) { rows[line - 1][column - 1] = ch; }
  void put(std::size_t line, std::size_t column, const std::string& s) {
    rows[line - 1].replace(column - 1, s.size(), s);
  }
  std::vector<std::string> rows;
};

std::string blanks_then(std::size_t n, const std::string& s) { return std::string(n, ' ') + s; }

// Points (-10, -15) and (40, 15): both ranges give a scaling unit of exactly
// 1 on a 30 x 50 grid, so column(v) = v + 11 and line(v) = 14 - v.
// Ticks: 10 across (range 50), 1 upward (range 30).
std::vector<std::string> axes_and_ticks_picture() {
  Canvas c(30, 50);
  for (std::size_t r = 1; r <= 30; ++r) c.set(r, 11, '-');  // vertical ticks 15 .. -15
  for (std::size_t k = 1; k <= 50; ++k) c.set(14, k, '-');  // horizontal axis line
  for (std::size_t k : {1, 11, 21, 31, 41, 50}) c.set(14, k, '|');  // crossing, ticks -10..40
  c.set(30, 11, '|');  // vertical axis line below the last tick
  c.set(29, 1, '1');
  c.set(1, 50, '2');
  return c.rows;
}

TEST(ScatterPlotReport, AxisReportAndPictureForBothAxesThroughZero) {
  Records out = plot_xy({-10.0f, 40.0f}, {-15.0f, 15.0f});
  const Records report = {"",
                          "",
                          "",
                          "",
                          "   HORIZONTAL AXIS IS DIMENSION  1",
                          "   VERTICAL AXIS IS DIMENSION    2",
                          "",
                          "",
                          "",
                          "          HORIZONTAL AXIS",
                          "",
                          "   MINIMUM VALUE=      -10.00000",
                          "   MAXIMUM VALUE=       40.00000",
                          "   SCALING UNIT =        1.00000",
                          "   ONE TICK=   10.000",
                          "",
                          "",
                          "          VERTICAL AXIS",
                          "",
                          "   MINIMUM VALUE=      -15.00000",
                          "   MAXIMUM VALUE=       15.00000",
                          "   SCALING UNIT =        1.00000",
                          "   ONE TICK=    1.000",
                          "",
                          "   OVERLAPPING POINTS (NOT PLOTTED)",
                          "",
                          "   ID.NUMBER        COORDINATES",
                          ""};
  ASSERT_EQ(out.size(), kReportRecords + 3 + 32);
  EXPECT_EQ(Records(out.begin(), out.begin() + kReportRecords), report);
  for (std::size_t r = kReportRecords; r < kReportRecords + 3; ++r) EXPECT_EQ(out[r], "");
  EXPECT_EQ(picture(out, 30, 50), axes_and_ticks_picture());
}

TEST(ScatterPlotReport, TickStepFromRange) {
  struct Case {
    float range;
    const char* tick;
  };
  const Case cases[] = {{2.0f, "     .200"},
                        {std::nextafter(2.0f, 3.0f), "     .500"},
                        {12.0f, "     .500"},
                        {40.0f, "    1.000"},
                        {std::nextafter(40.0f, 41.0f), "   10.000"}};
  for (const Case& c : cases) {
    Records out = plot_xy({0.0f, c.range}, {-1.0f, 1.0f});
    ASSERT_GT(out.size(), kYTick) << c.range;
    EXPECT_EQ(out[kXTick], std::string("   ONE TICK=") + c.tick) << c.range;
    EXPECT_EQ(out[kYTick], "   ONE TICK=     .200") << c.range;
  }
}

TEST(ScatterPlotReport, AllVerticalValuesPositiveDrawNoHorizontalAxis) {
  // Ranges 50 and 30 from ymin = 10: line(v) = 39 - v, column(v) = v + 11.
  // Upward ticks 1 to 9 lie below ymin and are left out (line 30 keeps "|").
  Records out = plot_xy({-10.0f, 40.0f}, {10.0f, 40.0f});
  ASSERT_EQ(out.size(), kReportRecords + 3 + 32);
  EXPECT_EQ(out[kXTick], "   ONE TICK=    0.000");
  EXPECT_EQ(out[kYTick], "   ONE TICK=    1.000");
  Canvas c(30, 50);
  for (std::size_t r = 1; r <= 29; ++r) c.set(r, 11, '-');  // ticks 10 .. 40
  c.set(30, 11, '|');
  c.set(29, 1, '1');
  c.set(1, 50, '2');
  EXPECT_EQ(picture(out, 30, 50), c.rows);
}

TEST(ScatterPlotReport, NothingWrittenWhenAllValuesOfAnAxisAreZero) {
  EXPECT_TRUE(plot_xy({-1.0f, 3.0f, 2.0f}, {0.0f, 0.0f, 0.0f}).empty());
  EXPECT_TRUE(plot_xy({0.0f, 0.0f, 0.0f}, {-1.0f, 3.0f, 2.0f}).empty());
  EXPECT_TRUE(plot_xy({0.0f}, {0.0f}).empty());
}

TEST(ScatterPlotReport, ConstantNonZeroAxisPutsEveryPointInLineOne) {
  Records out = plot_xy({-10.0f, 40.0f}, {5.0f, 5.0f});
  ASSERT_EQ(out.size(), kReportRecords + 3 + 32);
  EXPECT_EQ(out[kYMin], "   MINIMUM VALUE=        5.00000");
  EXPECT_EQ(out[kYUnit], "   SCALING UNIT =        0.00000");
  EXPECT_EQ(out[kXTick], "   ONE TICK=    0.000");
  EXPECT_EQ(out[kYTick], "   ONE TICK=     .200");
  std::vector<std::string> grid = picture(out, 30, 50);
  ASSERT_EQ(grid.size(), 30u);
  EXPECT_EQ(grid[0][0], '1');
  EXPECT_EQ(grid[0][49], '2');
  for (std::size_t r = 1; r < 30; ++r) {
    EXPECT_EQ(grid[r], blanks_then(10, "|") + std::string(39, ' ')) << "line " << r + 1;
  }
}

TEST(ScatterPlotGrid, LinesAndCellsFromPointCount) {
  struct Case {
    std::int32_t n;
    std::size_t lines, columns;
  };
  for (Case c : {Case{40, 30, 50}, Case{100, 75, 95}, Case{107, 79, 99}, Case{108, 80, 100}}) {
    std::vector<float> v;
    for (std::int32_t i = 1; i <= c.n; ++i) v.push_back(static_cast<float>(i));
    Records out = plot_xy(v, v);
    EXPECT_EQ(picture(out, c.lines, c.columns).size(), c.lines) << c.n;
    // The record before the top border is the last of the three blank ones.
    ASSERT_GE(out.size(), c.lines + 3);
    EXPECT_EQ(out[out.size() - c.lines - 3], "") << c.n;
  }
}

// On an 80 x 100 grid with x from 1 to 101 and y from 1 to 81 both scaling
// units are exactly 1: column(x) = x (101 clamped to 100), line(y) = 80 - y
// (80 and 81 clamped to 1).
TEST(ScatterPlotPoints, FiveHundredPointsAreLabelled) {
  std::vector<float> x(500, 50.0f), y(500, 40.0f);
  x[0] = 1.0f, y[0] = 1.0f;
  x[499] = 101.0f, y[499] = 81.0f;
  Records out = plot_xy(x, y);
  // Points 3 to 499 touch the "2" of point 2 and are listed in order.
  ASSERT_EQ(out.size(), kReportRecords + 497 + 3 + 82);
  EXPECT_EQ(out[kReportRecords], "        3       50.00000       40.00000");
  EXPECT_EQ(out[kReportRecords + 7], "       10       50.00000       40.00000");
  EXPECT_EQ(out[kReportRecords + 496], "      499       50.00000       40.00000");
  std::vector<std::string> grid = picture(out, 80, 100);
  ASSERT_EQ(grid.size(), 80u);
  EXPECT_EQ(grid[0], blanks_then(97, "500"));  // moved left to end in column 100
  EXPECT_EQ(grid[39], blanks_then(49, "2") + std::string(50, ' '));
  EXPECT_EQ(grid[78], "1" + std::string(99, ' '));
  EXPECT_EQ(grid[79], std::string(100, ' '));
}

TEST(ScatterPlotPoints, MoreThanFiveHundredPointsAreCountedModuloTen) {
  std::vector<float> x(501), y(501);
  auto place = [&](int first, int last, float px, float py) {
    for (int i = first; i <= last; ++i) x[i - 1] = px, y[i - 1] = py;
  };
  place(1, 10, 1.0f, 1.0f);       // ten points in one cell
  place(11, 21, 101.0f, 81.0f);   // eleven
  place(22, 494, 50.0f, 40.0f);   // 473
  place(495, 501, 60.0f, 30.0f);  // 7
  Records out = plot_xy(x, y);
  ASSERT_EQ(out.size(), kReportRecords + 3 + 82);  // no overlap list in count mode
  EXPECT_EQ(out[kReportRecords - 2], "   ID.NUMBER        COORDINATES");
  std::vector<std::string> grid = picture(out, 80, 100);
  ASSERT_EQ(grid.size(), 80u);
  EXPECT_EQ(grid[78], "0" + std::string(99, ' '));
  EXPECT_EQ(grid[0], blanks_then(99, "1"));
  EXPECT_EQ(grid[39], blanks_then(49, "3") + std::string(50, ' '));
  EXPECT_EQ(grid[49], blanks_then(59, "7") + std::string(40, ' '));
}

TEST(ScatterPlotPoints, LabelsAtTheRightEdgeMoveLeft) {
  std::vector<float> x(123, 50.0f), y(123, 40.0f);
  x[0] = 1.0f, y[0] = 1.0f;
  x[56] = 101.0f, y[56] = 81.0f;   // point 57 in column C = 100, line 1
  x[122] = 99.0f, y[122] = 21.0f;  // point 123 in column C - 1, line 59
  std::vector<std::string> grid = picture(plot_xy(x, y), 80, 100);
  ASSERT_EQ(grid.size(), 80u);
  EXPECT_EQ(grid[0], blanks_then(98, "57"));
  EXPECT_EQ(grid[58], blanks_then(97, "123"));
}

// Twelve points on a 30 x 50 grid, x from 1 to 51 and y from 1 to 31, both
// scaling units exactly 1: column(x) = x, line(y) = 30 - y.
TEST(ScatterPlotPoints, OverlappingPointIsListedAndNotDrawn) {
  std::vector<float> x = {1, 51, 16, 18, 20, 22, 24, 26, 28, 30, 19, 40};
  std::vector<float> y = {1, 31, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15};
  Records out = plot_xy(x, y);
  // Point 11 needs columns 19 and 20; column 20 holds the "5" of point 5.
  ASSERT_EQ(out.size(), kReportRecords + 1 + 3 + 32);
  EXPECT_EQ(out[kReportRecords], "       11       19.00000       15.00000");
  EXPECT_EQ(out[kXMin], "   MINIMUM VALUE=        1.00000");
  EXPECT_EQ(out[kXUnit], "   SCALING UNIT =        1.00000");
  Canvas c(30, 50);
  c.set(29, 1, '1');  // ymin falls in line L - 1; line L stays empty
  c.set(1, 50, '2');
  for (std::size_t k = 3; k <= 9; ++k) c.set(15, 2 * k + 10, static_cast<char>('0' + k));
  c.put(15, 30, "10");
  c.put(15, 40, "12");
  EXPECT_EQ(picture(out, 30, 50), c.rows);
}

TEST(ScatterPlotLayout, EitherArrayGivesTheSamePicture) {
  // Axis-major, three axes per point, plotting axes 2 and 3; axis 1 differs.
  const std::vector<float> axis_major = {99.0f, -10.0f, -15.0f, -99.0f, 40.0f, 15.0f};
  // A point-major decoy that must not be read with layout 1.
  const std::vector<float> decoy = {5.0f, 6.0f, 7.0f, 8.0f, 9.0f, 1.0f};
  Records out = run_plot(2, 3, 2, 1, 3, axis_major, decoy);
  ASSERT_EQ(out.size(), kReportRecords + 3 + 32);
  EXPECT_EQ(out[4], "   HORIZONTAL AXIS IS DIMENSION  2");
  EXPECT_EQ(out[5], "   VERTICAL AXIS IS DIMENSION    3");
  EXPECT_EQ(picture(out, 30, 50), axes_and_ticks_picture());

  // Point-major: axis 1 for both points, then axis 2, then axis 3.
  const std::vector<float> point_major = {-10.0f, 40.0f, -15.0f, 15.0f, 3.0f, 4.0f};
  out = run_plot(1, 2, 2, 2, 3, decoy, point_major);
  ASSERT_EQ(out.size(), kReportRecords + 3 + 32);
  EXPECT_EQ(out[kXMin], "   MINIMUM VALUE=      -10.00000");
  EXPECT_EQ(out[kYMin], "   MINIMUM VALUE=      -15.00000");
  EXPECT_EQ(picture(out, 30, 50), axes_and_ticks_picture());
}

TEST(ScatterPlotTicks, DownwardTicksAboveTheMaximumAreLeftOut) {
  // x from -65 to -15 (unit 1, tick 10): column(v) = v + 66; line 14 is y = 0.
  // The tick at -10 lies above xmax; -20 .. -60 fall in columns 46 .. 6.
  Records out = plot_xy({-65.0f, -15.0f}, {-15.0f, 15.0f});
  Canvas c(30, 50);
  for (std::size_t k = 1; k <= 50; ++k) c.set(14, k, '-');
  for (std::size_t k : {6, 16, 26, 36, 46}) c.set(14, k, '|');
  c.set(29, 1, '1');
  c.set(1, 50, '2');
  EXPECT_EQ(picture(out, 30, 50), c.rows);
}

// Around ten million a step of 0.2 is lost in the rounding of the running
// tick value long before the run reaches the axis end; the run must stop.
TEST(ScatterPlotTicks, RunsEndWhenTheStepNoLongerChangesTheValue) {
  {
    // Horizontal axis line at line 14; every tick below xmin lands in column 1.
    Records out = plot_xy({1.0e7f, 1.0e7f + 1.0f}, {-15.0f, 15.0f});
    ASSERT_EQ(out.size(), kReportRecords + 3 + 32);
    EXPECT_EQ(out[kXMin], "   MINIMUM VALUE= 10000000.00000");
    EXPECT_EQ(out[kXTick], "   ONE TICK=     .200");
    EXPECT_EQ(out[kYTick], "   ONE TICK=    0.000");
    std::vector<std::string> grid = picture(out, 30, 50);
    ASSERT_EQ(grid.size(), 30u);
    EXPECT_EQ(grid[13], "|" + std::string(49, '-'));
    EXPECT_EQ(grid[28], "1" + std::string(49, ' '));
    EXPECT_EQ(grid[0], blanks_then(49, "2"));
  }
  {
    // Vertical axis line in column 26; the downward run never gets below ymax.
    Records out = plot_xy({-25.0f, 25.0f}, {-1.0e7f - 1.0f, -1.0e7f});
    ASSERT_EQ(out.size(), kReportRecords + 3 + 32);
    EXPECT_EQ(out[kXTick], "   ONE TICK=    0.000");
    EXPECT_EQ(out[kYTick], "   ONE TICK=     .200");
    std::vector<std::string> grid = picture(out, 30, 50);
    ASSERT_EQ(grid.size(), 30u);
    for (std::size_t r = 1; r < 28; ++r) {
      EXPECT_EQ(grid[r], blanks_then(25, "|") + std::string(24, ' '));
    }
  }
}

}  // namespace
