#include "export/svg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace orthaxis::svg {
namespace {

using results::ScoreLayout;
using results::ScoreMatrix;

// The document is well-formed XML and a real SVG renderer draws it. Each
// call works in a directory of its own: other builds may run these tests at
// the same time.
void expect_renders(const std::string& document, const std::string& name) {
  std::string tmpl = (std::filesystem::temp_directory_path() / "orthaxis-svg-XXXXXX").string();
  ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
  const std::filesystem::path dir = tmpl;
  const auto svg = dir / (name + ".svg");
  const auto png = dir / (name + ".png");
  std::ofstream(svg) << document;
  EXPECT_EQ(std::system(("xmllint --noout '" + svg.string() + "'").c_str()), 0) << name;
  EXPECT_EQ(std::system(("rsvg-convert '" + svg.string() + "' -o '" + png.string() + "'").c_str()), 0)
      << name;
  EXPECT_TRUE(std::filesystem::exists(png) && std::filesystem::file_size(png) > 0) << name;
  std::filesystem::remove_all(dir);
}

double attribute(const std::string& element, const std::string& name) {
  std::smatch m;
  const std::regex re(" " + name + "=\"([-0-9.]+)\"");
  EXPECT_TRUE(std::regex_search(element, m, re)) << name << " in " << element;
  return std::strtod(m[1].str().c_str(), nullptr);
}

std::vector<std::string> elements(const std::string& document, const std::string& start) {
  std::vector<std::string> found;
  for (std::size_t at = document.find(start); at != std::string::npos;
       at = document.find(start, at + 1))
    found.push_back(document.substr(at, document.find('>', at) - at + 1));
  return found;
}

TEST(SvgText, EscapesMarkupAndReplacesWhatIsNotUtf8) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"plain", "plain"},
      {"a&b <c> \"d\" 'e'", "a&amp;b &lt;c&gt; &quot;d&quot; &apos;e&apos;"},
      {"caf\xc3\xa9", "caf\xc3\xa9"},       // UTF-8 kept
      {"caf\xe9", "caf?"},                  // a Latin-1 byte
      {"\xc0\xaf", "??"},                   // overlong form
      {"\xed\xa0\x80", "???"},              // surrogate
      {"tab\tbell\x07", "tab\tbell?"},      // control character
      {"\xe2\x82", "??"},                   // cut sequence
  };
  for (const auto& c : cases) EXPECT_EQ(xml_text(c.in), c.out) << c.in;
}

// Objects at known coordinates: each marker lies where its coordinates say,
// measured from the two zero lines, with one scale for both axes.
TEST(SvgBiplot, MarkersSitAtTheirCoordinatesWithOneScale) {
  const ScoreMatrix objects({1.0f, 2.0f, -3.0f, 0.5f, 2.0f, -1.0f, -0.5f, -2.5f}, 4, 2,
                            ScoreLayout::kPointRows);
  // Two variables on two axes, one column per axis: (0.5, 1.5) and (-1, 0.25).
  const ScoreMatrix variables({0.5f, -1.0f, 1.5f, 0.25f}, 2, 2, ScoreLayout::kAxisColumns);
  const std::vector<std::string> labels = {"first & one", "b", "c", "d"};
  for (bool arrows : {false, true}) {
    const std::string d = biplot({objects, variables, labels, {}, arrows, 73.04f, 22.84f});
    expect_renders(d, arrows ? "arrows" : "markers");
    double x0 = -1, y0 = -1;  // where the zero lines cross
    for (const auto& l : elements(d, "<line x1")) {
      if (l.find("id=\"zero-x\"") != std::string::npos) x0 = attribute(l, "x1");
      if (l.find("id=\"zero-y\"") != std::string::npos) y0 = attribute(l, "y1");
    }
    ASSERT_GT(x0, 0.0);
    ASSERT_GT(y0, 0.0);
    const auto circles = elements(d, "<circle class=\"object\"");
    ASSERT_EQ(circles.size(), 4u);
    // Coordinates carry 2 decimals: the scale from object 1 (at x = 1) is
    // good to about 0.01, the positions then to a few hundredths.
    const double scale = (attribute(circles[0], "cx") - x0) / 1.0;
    EXPECT_GT(scale, 0.0);
    for (std::size_t i = 0; i < 4; ++i) {
      EXPECT_NEAR(attribute(circles[i], "cx"), x0 + scale * objects.at(i, 0), 0.06) << i;
      EXPECT_NEAR(attribute(circles[i], "cy"), y0 - scale * objects.at(i, 1), 0.06) << i;
    }
    EXPECT_NE(d.find(">Axis 1 (73.0 %)<"), std::string::npos);
    EXPECT_NE(d.find(">Axis 2 (22.8 %)<"), std::string::npos);
    EXPECT_NE(d.find(">first &amp; one<"), std::string::npos);
    EXPECT_NE(d.find(">2<"), std::string::npos);  // variables without labels are numbered
    EXPECT_EQ(elements(d, "<line x1=").size() - 2 - (arrows ? 1 : 0), arrows ? 2u : 0u)
        << "zero lines, the legend's arrow, one line per arrow";
    EXPECT_EQ(elements(d, "<rect class=\"variable\"").size(), arrows ? 0u : 2u);
    // Variables as markers stay in the objects' space; arrows are scaled together.
    if (!arrows) {
      const auto marks = elements(d, "<rect class=\"variable\"");
      EXPECT_NEAR(attribute(marks[1], "x") + 3.5, x0 - scale * 1.0, 0.06);
      EXPECT_NEAR(attribute(marks[1], "y") + 3.5, y0 - scale * 0.25, 0.06);
    }
  }
}

TEST(SvgBiplot, ManyObjectsAreTranslucentAndUnlabelled) {
  const std::int32_t n = kLabelledObjectLimit + 1;
  std::vector<float> values(static_cast<std::size_t>(2 * n));
  for (std::size_t i = 0; i < values.size(); ++i) values[i] = static_cast<float>(i % 7) - 3.0f;
  const ScoreMatrix objects(values, n, 2, ScoreLayout::kPointRows);
  const ScoreMatrix variables({1.0f, 0.0f, 0.0f, 1.0f}, 2, 2, ScoreLayout::kAxisColumns);
  const std::string d = biplot({objects, variables, {}, {}, true, 50.0f, 50.0f});
  EXPECT_EQ(elements(d, "<circle class=\"object\"").size(), static_cast<std::size_t>(n));
  EXPECT_NE(d.find("fill-opacity=\"0.3\""), std::string::npos);
  // Only the two variables carry labels.
  EXPECT_EQ(elements(d, "<text class=\"label\"").size(), 2u);
  expect_renders(d, "crowded");
}

TEST(SvgScree, ThirtyBarsAtMostWithTheCumulativeLine) {
  results::Eigensystem e;
  e.p = 40;
  for (int k = 0; k < 40; ++k) e.values.push_back(k < 35 ? 35.0f - static_cast<float>(k) : 0.0f);
  e.positive_count = 35;
  e.positive_sum = 630.0f;  // 1 + 2 + ... + 35
  const std::string d = scree(e);
  const auto bars = elements(d, "<rect class=\"bar\"");
  ASSERT_EQ(bars.size(), 30u);
  // The first bar stands for 35 / 630 = 5.6 % of a 240-unit scale.
  EXPECT_NEAR(attribute(bars[0], "height"), 240.0 * 35.0 / 630.0, 0.01);
  EXPECT_NE(d.find(">5.6<"), std::string::npos);
  const auto line = elements(d, "<polyline class=\"cumulative\"");
  ASSERT_EQ(line.size(), 1u);
  EXPECT_EQ(std::count(line[0].begin(), line[0].end(), ','), 30);
  expect_renders(d, "scree");
}

}  // namespace
}  // namespace orthaxis::svg
