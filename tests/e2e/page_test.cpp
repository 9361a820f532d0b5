// --html: report.html beside the report, with the report's text; light with
// very many objects.

#include <gtest/gtest.h>

#include <string>

#include "e2e/harness.h"

namespace orthaxis::e2e {
namespace {

TEST(Page, HoldsTheReportAndStaysLightWithManyObjects) {
  Case c;
  c.copy_example("iris");
  ASSERT_EQ(c.run("--html").status, 0);
  const std::string page = c.read("report.html");
  EXPECT_NE(page.find("<h1>PCA from correlations of iris.dat</h1>"), std::string::npos);
  EXPECT_NE(page.find("EIGENVECTORS (DIRECTION COSINES)"), std::string::npos);  // the report
  EXPECT_NE(page.find("<li><b>Axis 1</b> (73.0 %). Positive side: variables PetLength (33.7 %)"),
            std::string::npos);
  EXPECT_FALSE(c.exists("biplot.svg"));

  Case big;
  std::string t = "name,a,b,c\n";
  for (int i = 0; i < 20000; ++i)
    t += "object number " + std::to_string(i) + "," + std::to_string(i % 97) + "," +
         std::to_string((i * 7) % 89) + "," + std::to_string((i * 13) % 83 + i % 5) + "\n";
  big.write("t.csv", t);
  ASSERT_EQ(big.run("--import t.csv w --html --axes 2").status, 0);
  const std::string large = big.read("w/report.html");
  EXPECT_LT(large.size(), 3u * 1024 * 1024);
  EXPECT_NE(large.find(" of 20000 objects drawn"), std::string::npos);
  EXPECT_NE(large.find("objects.csv (--csv) holds every object"), std::string::npos);
  EXPECT_NE(large.find("the report continues in ORTHAXIS.ST$"), std::string::npos);
}

}  // namespace
}  // namespace orthaxis::e2e
