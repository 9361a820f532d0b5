// --svg: the pictures beside the report.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "e2e/harness.h"

namespace orthaxis::e2e {
namespace {

// Well-formed XML that a real SVG renderer draws.
void expect_renders(const Case& c, const std::string& name) {
  const std::string path = (c.dir() / name).string();
  EXPECT_EQ(std::system(("xmllint --noout '" + path + "'").c_str()), 0) << name;
  EXPECT_EQ(std::system(("rsvg-convert '" + path + "' -o '" + path + ".png'").c_str()), 0) << name;
}

TEST(Pictures, IrisBiplotAndScreeRender) {
  Case c;
  c.copy_example("iris");
  Outcome o = c.run("--svg");
  ASSERT_EQ(o.status, 0) << o.err;
  expect_renders(c, "biplot.svg");
  expect_renders(c, "scree.svg");
  const std::string biplot = c.read("biplot.svg");
  EXPECT_NE(biplot.find(">Axis 1 (73.0 %)<"), std::string::npos);  // 2.918 of 4
  EXPECT_NE(biplot.find(">SepLength<"), std::string::npos);        // the whole label
  EXPECT_FALSE(c.exists("objects.csv"));
}

TEST(Pictures, OneAxisGivesTheScreeOnly) {
  Case c;
  c.copy_example("dune");
  c.setup("20 30 4 0 1 1 1 1 0 0 0 1",
          {"dune.dat", "dune.obj", "dune.var", "plants.lab", "sites.lab", "dune.mat"});
  Outcome o = c.run("--svg");
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_FALSE(c.exists("biplot.svg"));
  expect_renders(c, "scree.svg");
}

}  // namespace
}  // namespace orthaxis::e2e
