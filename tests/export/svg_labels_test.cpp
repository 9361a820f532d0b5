// The biplot's choice of labels, its note of labels left out and its thinned
// display of very many objects.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "export/label_choice.h"
#include "export/svg.h"
#include "export/svg_reader.h"

namespace orthaxis::svg {
namespace {

using results::ScoreLayout;
using results::ScoreMatrix;
using testing::svg_elements;

TEST(LabelChoice, ParsesTheFiveFormsAndRefusesTheRest) {
  using K = LabelChoice::Kind;
  const struct {
    const char* text;
    bool ok;
    K kind;
    double value;
  } cases[] = {
      {"all", true, K::kAll, 0},         {"none", true, K::kNone, 0},
      {"top:12", true, K::kTop, 12},     {"cos2:0.5", true, K::kCos2, 0.5},
      {"contrib:2.5", true, K::kContrib, 2.5},
      {"top:0", false, K::kAll, 0},      {"top:1.5", false, K::kAll, 0},
      {"cos2:1.5", false, K::kAll, 0},   {"contrib:-1", false, K::kAll, 0},
      {"cos2:", false, K::kAll, 0},      {"top:3x", false, K::kAll, 0},
      {"All", false, K::kAll, 0},        {"cos2:nan", false, K::kAll, 0},
  };
  for (const auto& c : cases) {
    const auto got = parse_label_choice(c.text);
    ASSERT_EQ(got.has_value(), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(got->kind, c.kind) << c.text;
      EXPECT_EQ(got->value, c.value) << c.text;
    }
  }
}

TEST(LabelChoice, ChoosesByContributionQualityOrTheDefault) {
  const std::vector<double> cos2 = {0.9, 0.1, 0.5, 0.5};
  const std::vector<double> ctr = {10.0, 40.0, 40.0, 10.0};
  using K = LabelChoice::Kind;
  using Flags = std::vector<char>;
  EXPECT_EQ(chosen_labels({K::kTop, 2}, 4, cos2, ctr, true), (Flags{0, 1, 1, 0}));
  EXPECT_EQ(chosen_labels({K::kTop, 3}, 4, cos2, ctr, true), (Flags{1, 1, 1, 0}));  // ties: lower index
  EXPECT_EQ(chosen_labels({K::kCos2, 0.5}, 4, cos2, ctr, true), (Flags{1, 0, 1, 1}));
  EXPECT_EQ(chosen_labels({K::kContrib, 20}, 4, cos2, ctr, true), (Flags{0, 1, 1, 0}));
  EXPECT_EQ(chosen_labels({}, 4, {}, {}, false), (Flags{0, 0, 0, 0}));
  EXPECT_EQ(chosen_labels({K::kNone, 0}, 4, cos2, ctr, true), (Flags{0, 0, 0, 0}));
}

// Objects piled on a few spots: most labels find no room, and the picture
// counts them; every drawn label is one of those asked for.
TEST(SvgBiplot, SaysHowManyLabelsFoundNoRoom) {
  const std::int32_t n = 200;
  std::vector<float> values;
  for (std::int32_t i = 0; i < n; ++i) {
    values.push_back(static_cast<float>(i % 4));
    values.push_back(static_cast<float>((i / 4) % 3));
  }
  const ScoreMatrix objects(values, n, 2, ScoreLayout::kPointRows);
  const ScoreMatrix variables({1.0f, 0.0f, 0.0f, 1.0f}, 2, 2, ScoreLayout::kAxisColumns);
  const std::string d = biplot({objects, variables, {}, {}, false, 50.0f, 40.0f});
  const std::size_t drawn = svg_elements(d, "text", "label").size();
  ASSERT_LT(drawn, 202u);
  EXPECT_NE(d.find(std::to_string(202 - drawn) + " labels left out for want of room"),
            std::string::npos);
}

TEST(SvgBiplot, VeryManyObjectsAreThinnedForDisplayAndSaySo) {
  const std::int32_t n = kThinnedObjectLimit + 1000;
  std::vector<float> values;
  for (std::int32_t i = 0; i < n; ++i) {
    values.push_back(static_cast<float>(i % 100) / 10.0f);
    values.push_back(static_cast<float>(i % 37) / 10.0f);
  }
  const ScoreMatrix objects(values, n, 2, ScoreLayout::kPointRows);
  const ScoreMatrix variables({1.0f, 0.0f, 0.0f, 1.0f}, 2, 2, ScoreLayout::kAxisColumns);
  const std::string d = biplot({objects, variables, {}, {}, true, 50.0f, 40.0f});
  // i % 100 and i % 37 repeat every 3700 objects.
  const std::size_t circles = svg_elements(d, "circle", "object").size();
  EXPECT_EQ(circles, 3700u);
  EXPECT_NE(d.find("3700 of " + std::to_string(n) + " objects drawn"), std::string::npos);
  EXPECT_LT(d.size(), 600000u);
}

}  // namespace
}  // namespace orthaxis::svg
