// The bar charts of contributions and quality, and the correlation circle.

#include "export/charts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "export/svg_reader.h"

namespace orthaxis::svg {
namespace {

using testing::svg_elements;

TEST(Charts, BarsAreTheLargestSortedWithTheAverageLineAtItsValue) {
  std::vector<double> objects;
  for (int i = 0; i < 50; ++i) objects.push_back(i == 7 ? 30.0 : static_cast<double>(i % 10) * 0.3);
  const std::vector<double> variables = {10.0, 60.0, 30.0};
  const std::vector<std::string> names = {"a", "b<c", "d"};
  const std::string d = bar_charts("Contributions", {"Variables", variables, names},
                                   {"Objects", objects, {}}, true, 0.0);
  const auto bars = svg_elements(d, "rect", "bar");
  ASSERT_EQ(bars.size(), 3u + kBarsShown);
  const auto labels = svg_elements(d, "text", "label");
  EXPECT_EQ(labels[0].text, "b<c");
  EXPECT_EQ(labels[1].text, "d");
  EXPECT_EQ(labels[3].text, "8");  // object 8 (30 %) first
  // Widths fall and are proportional to the values within a panel.
  EXPECT_NEAR(bars[1].number("width") / bars[0].number("width"), 0.5, 1e-3);
  for (std::size_t k = 4; k < bars.size(); ++k)
    EXPECT_LE(bars[k].number("width"), bars[k - 1].number("width")) << k;
  // The dashed lines of 100/3 and 100/50 percent on each panel's scale.
  const auto average = svg_elements(d, "path", "average");
  ASSERT_EQ(average.size(), 2u);
  const double left = bars[0].number("x");
  auto x_of = [](const testing::SvgElement& e) { return std::strtod(e["d"].c_str() + 2, nullptr); };
  EXPECT_NEAR((x_of(average[0]) - left) / bars[0].number("width"), (100.0 / 3.0) / 60.0, 1e-3);
  EXPECT_NEAR((x_of(average[1]) - left) / bars[3].number("width"), 2.0 / 30.0, 1e-3);
  // Ties keep the lower index first.
  EXPECT_EQ(largest(std::vector<double>{1, 2, 2, 1}, 3), (std::vector<std::size_t>{1, 2, 0}));
}

TEST(Charts, CircleArrowsEndAtTheCorrelations) {
  const std::vector<double> x = {1.0, -0.5, 0.0}, y = {0.0, 0.5, -1.0};
  const std::string d = correlation_circle({x, y, {}, 0, 1, 60.0f, 30.0f});
  const auto unit = svg_elements(d, "circle", "unit");
  ASSERT_EQ(unit.size(), 1u);
  const double cx = unit[0].number("cx"), cy = unit[0].number("cy"), r = unit[0].number("r");
  const auto arrows = svg_elements(d, "line", "variable");
  ASSERT_EQ(arrows.size(), 3u);
  for (std::size_t j = 0; j < 3; ++j) {
    EXPECT_NEAR(arrows[j].number("x2"), cx + r * x[j], 0.01);
    EXPECT_NEAR(arrows[j].number("y2"), cy - r * y[j], 0.01);
  }
  EXPECT_EQ(svg_elements(d, "text", "label").size(), 3u);
}

}  // namespace
}  // namespace orthaxis::svg
