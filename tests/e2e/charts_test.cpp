// --svg: the correlation circle and the charts of contributions and quality
// beside the biplot, drawn from the values of the tables.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "e2e/harness.h"
#include "export/csv_reader.h"
#include "export/svg_reader.h"

namespace orthaxis::e2e {
namespace {

using testing::svg_elements;

TEST(Charts, EveryPictureRendersAndTheCircleShowsTheCorrelations) {
  const struct {
    const char* example;
    bool circle;
    int axes;
  } cases[] = {{"iris", true, 2}, {"dune", false, 4}};
  for (const auto& k : cases) {
    Case c;
    c.copy_example(k.example);
    Outcome o = c.run("--svg --csv");
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(c.exists("correlation_circle.svg"), k.circle) << k.example;
    std::vector<std::string> pictures = {"biplot.svg", "scree.svg"};
    if (k.circle) pictures.push_back("correlation_circle.svg");
    for (int a = 1; a <= 3; ++a) {
      EXPECT_EQ(c.exists("contributions_" + std::to_string(a) + ".svg"), a <= k.axes);
      if (a <= k.axes) {
        pictures.push_back("contributions_" + std::to_string(a) + ".svg");
        pictures.push_back("cos2_" + std::to_string(a) + ".svg");
      }
    }
    for (const auto& name : pictures) {
      const std::string path = (c.dir() / name).string();
      EXPECT_EQ(std::system(("xmllint --noout '" + path + "'").c_str()), 0) << name;
      EXPECT_EQ(std::system(("rsvg-convert '" + path + "' -o '" + path + ".png'").c_str()), 0) << name;
    }
  }
  // Iris, correlations: the variable scores are the correlations themselves.
  Case c;
  c.copy_example("iris");
  ASSERT_EQ(c.run("--svg --csv").status, 0);
  const auto rows = testing::parse_csv(c.read("variables.csv"));
  const std::string d = c.read("correlation_circle.svg");
  const auto unit = svg_elements(d, "circle", "unit");
  ASSERT_EQ(unit.size(), 1u);
  const auto arrows = svg_elements(d, "line", "variable");
  ASSERT_EQ(arrows.size() + 1, rows.size());
  for (std::size_t j = 0; j < arrows.size(); ++j) {
    EXPECT_NEAR(arrows[j].number("x2"), unit[0].number("cx") + unit[0].number("r") * std::stod(rows[j + 1][2]), 0.02);
    EXPECT_NEAR(arrows[j].number("y2"), unit[0].number("cy") - unit[0].number("r") * std::stod(rows[j + 1][3]), 0.02);
  }
  // The largest contribution to axis 1 heads its chart, with its value.
  const std::string chart = c.read("contributions_1.svg");
  const auto values = svg_elements(chart, "text", "value");
  ASSERT_FALSE(values.empty());
  EXPECT_EQ(values[0].text, "33.69");  // PetLength, ctr_1 of variables.csv
}

}  // namespace
}  // namespace orthaxis::e2e
