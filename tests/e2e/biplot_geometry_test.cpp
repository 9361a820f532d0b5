// The biplot read back as geometry: no two drawn labels overlap, no label
// covers a point, and every object sits at its coordinate of objects.csv at
// the one scale that the tick marks of both axes show.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/harness.h"
#include "export/csv_reader.h"
#include "export/label_placement.h"
#include "export/svg_reader.h"

namespace orthaxis::e2e {
namespace {

using testing::svg_elements;

// A table of n objects and p variables with a few clusters and labels of
// uneven length, the same for every run.
std::string synthetic_table(int n, int p, const std::string& name) {
  std::string t = "name";
  for (int j = 0; j < p; ++j) t += ",v" + std::to_string(j + 1);
  t += '\n';
  std::uint32_t state = 12345;
  auto next = [&state] { return (state = state * 1664525u + 1013904223u) >> 8; };
  for (int i = 0; i < n; ++i) {
    t += name + std::string(static_cast<std::size_t>(i % 4) * 2, 'x') + std::to_string(i + 1);
    const int cluster = i % 3;
    for (int j = 0; j < p; ++j)
      t += "," + std::to_string(10 + cluster * (j % 4) + static_cast<double>(next() % 1000) / 250.0);
    t += '\n';
  }
  return t;
}

struct Marker {
  double x, y, half;
};

std::string read_file(const std::filesystem::path& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

void expect_readable_biplot(const std::filesystem::path& dir, const std::string& what, int a,
                            int b) {
  const std::string doc = read_file(dir / "biplot.svg");
  ASSERT_FALSE(doc.empty()) << what;
  std::vector<Marker> markers;
  for (const auto& e : svg_elements(doc, "circle", "object"))
    markers.push_back({e.number("cx"), e.number("cy"), e.number("r")});
  for (const auto& e : svg_elements(doc, "rect", "variable"))
    markers.push_back({e.number("x") + 3.5, e.number("y") + 3.5, 3.5});
  for (const auto& e : svg_elements(doc, "line", "variable"))
    markers.push_back({e.number("x2"), e.number("y2"), 1.0});  // the arrow's tip

  std::vector<svg::Box> boxes;
  for (const auto& e : svg_elements(doc, "text", "label")) {
    ASSERT_EQ(e["text-anchor"], "start");
    boxes.push_back(svg::text_box(e.text, e.number("x"), e.number("y"), e.number("font-size")));
  }
  EXPECT_FALSE(boxes.empty()) << what;
  for (std::size_t a = 0; a < boxes.size(); ++a) {
    for (std::size_t b = a + 1; b < boxes.size(); ++b)
      ASSERT_FALSE(boxes[a].overlaps(boxes[b])) << what << ": labels " << a << " and " << b;
    for (const Marker& m : markers)
      ASSERT_FALSE(boxes[a].overlaps({m.x - m.half, m.y - m.half, m.x + m.half, m.y + m.half}))
          << what << ": label " << a << " covers the point at " << m.x << "," << m.y;
  }

  // The scale from the farthest ticks of each axis: the same on both; the
  // objects at their coordinates of the table on it.
  std::vector<std::pair<double, double>> xticks, yticks;  // position, value
  for (const auto& e : svg_elements(doc, "text", "tick")) {
    const double value = std::strtod(e.text.c_str(), nullptr);
    if (e["text-anchor"] == "middle") xticks.push_back({e.number("x"), value});
    else yticks.push_back({e.number("y") - 4.0, value});
  }
  ASSERT_GE(xticks.size(), 2u) << what;
  ASSERT_GE(yticks.size(), 2u) << what;
  const double sx = (xticks.back().first - xticks.front().first) /
                    (xticks.back().second - xticks.front().second);
  const double sy = (yticks.front().first - yticks.back().first) /
                    (yticks.back().second - yticks.front().second);
  EXPECT_NEAR(sx / sy, 1.0, 1e-4) << what;
  const double x0 = xticks.front().first - sx * xticks.front().second;
  const double y0 = yticks.front().first + sx * yticks.front().second;
  const auto rows = testing::parse_csv(read_file(dir / "objects.csv"));
  const auto circles = svg_elements(doc, "circle", "object");
  ASSERT_EQ(circles.size() + 1, rows.size()) << what;
  std::size_t fa = 0, fb = 0;
  for (std::size_t k = 0; k < rows[0].size(); ++k) {
    if (rows[0][k] == "F" + std::to_string(a)) fa = k;
    if (rows[0][k] == "F" + std::to_string(b)) fb = k;
  }
  ASSERT_TRUE(fa > 0 && fb > 0) << what;
  for (std::size_t i = 0; i < circles.size(); ++i) {
    EXPECT_NEAR(circles[i].number("cx"), x0 + sx * std::stod(rows[i + 1][fa]), 0.05) << what << i;
    EXPECT_NEAR(circles[i].number("cy"), y0 - sx * std::stod(rows[i + 1][fb]), 0.05) << what << i;
  }
}

TEST(BiplotGeometry, LabelsApartFromLabelsAndPointsEveryPointAtItsCoordinate) {
  const std::string dune_tsv = std::string(ORTHAXIS_SOURCE_DIR) + "/../shared/data/dune.tsv";
  const struct {
    const char* what;
    const char* example;  // or a table written by the test
    int n, p;
    const char* args;
    int a, b;
  } cases[] = {
      {"iris", "iris", 0, 0, "--svg --csv", 1, 2},
      {"dune (correspondence)", "dune", 0, 0, "--svg --csv", 1, 2},
      {"32 x 11", nullptr, 32, 11, "--import t.csv w --svg --csv", 1, 2},
      {"32 x 11, axes 1 and 3", nullptr, 32, 11, "--import t.csv w --svg --csv --plane 1,3", 1, 3},
      {"dune.tsv", nullptr, -1, 0, "--import dune.tsv w --sep tab --svg --csv", 1, 2},
      {"300 x 6", nullptr, 300, 6, "--import t.csv w --svg --csv --labels all", 1, 2},
      {"300 x 6, top 25", nullptr, 300, 6, "--import t.csv w --svg --csv --labels top:25", 2, 1},
  };
  for (const auto& k : cases) {
    Case c;
    std::string args = k.args;
    if (k.example) {
      c.copy_example(k.example);
    } else if (k.n < 0) {
      if (!std::filesystem::exists(dune_tsv)) continue;
      std::filesystem::copy_file(dune_tsv, c.dir() / "dune.tsv");
    } else {
      c.write("t.csv", synthetic_table(k.n, k.p, "Object name "));
    }
    if (k.a == 2) args += " --plane 2,1";
    Outcome o = c.run(args);
    ASSERT_EQ(o.status, 0) << k.what << o.err;
    expect_readable_biplot(k.example ? c.dir() : c.dir() / "w", k.what, k.a, k.b);
    if (k.n == 300) {  // the same picture for every thread count
      const std::string once = read_file(c.dir() / "w" / "biplot.svg");
      ASSERT_EQ(c.run(args + " --force --threads 3").status, 0);
      EXPECT_EQ(read_file(c.dir() / "w" / "biplot.svg"), once) << k.what;
    }
  }
}

}  // namespace
}  // namespace orthaxis::e2e
