// The axes test of whole runs: axes.csv is the same for every thread count
// and every run with one seed, and differs with another seed; the summary
// line, the scree overlay, and a correspondence table that is not of counts.
#include <gtest/gtest.h>

#include <string>

#include "e2e/harness.h"

namespace orthaxis::e2e {
namespace {

std::string axes_table(const std::string& example, const std::string& args,
                       std::string* err = nullptr) {
  Case c;
  c.copy_example(example);
  const Outcome o = c.run("--quiet --csv " + args);
  EXPECT_EQ(o.status, 0) << o.err;
  if (err != nullptr) *err = o.err;
  return c.read("axes.csv");
}

TEST(AxesTest, SameTableForEveryThreadCountAndRunDifferentWithAnotherSeed) {
  for (const char* example : {"iris", "dune"}) {
    const std::string one = axes_table(example, "--axes-test 99 --seed 7 --threads 1");
    ASSERT_NE(one.find("axis,eigenvalue,percent,broken_stick_percent,above_mean,pa_mean,pa_q95,"
                       "p_value\n1,"),
              std::string::npos)
        << one;
    EXPECT_EQ(axes_table(example, "--axes-test 99 --seed 7 --threads 2"), one) << example;
    EXPECT_EQ(axes_table(example, "--axes-test 99 --seed 7 --threads 3"), one) << example;
    EXPECT_EQ(axes_table(example, "--axes-test 99 --seed 7 --threads 3"), one) << example;
    EXPECT_NE(axes_table(example, "--axes-test 99 --seed 8 --threads 2"), one) << example;
  }
}

TEST(AxesTest, SummaryLineAndScreeLines) {
  std::string err;
  axes_table("iris", "--axes-test 49", &err);
  EXPECT_NE(err.find("axes to keep: 1 by parallel analysis, 1 by the permutation test, 1 by "
                     "broken stick, 1 by the Kaiser rule; 49 replicates, seed 12345\n"),
            std::string::npos)
      << err;
  axes_table("dune", "--axes-test 49", &err);
  EXPECT_NE(err.find("degrees of freedom, p = "), std::string::npos) << err;
  Case c;
  c.copy_example("iris");
  ASSERT_EQ(c.run("--svg --axes-test 19").status, 0);
  const std::string scree = c.read("scree.svg");
  EXPECT_NE(scree.find("class=\"broken-stick\""), std::string::npos);
  EXPECT_NE(scree.find("class=\"parallel-analysis\""), std::string::npos);
  EXPECT_NE(scree.find("class=\"cumulative\""), std::string::npos);
  EXPECT_FALSE(c.exists("axes.csv"));  // only with --csv
}

TEST(AxesTest, CorrespondenceTableOfNonCountsIsRefusedInOneLine) {
  Case c;
  c.setup("3 3 4 0 2 0 0 0 0 0 0 1", {"t.dat", "o.sco", "v.sco", "v.lab", "o.lab", "m.mat"});
  c.write("t.dat", "table\n3 3\n1 2 3\n4 5.5 6\n7 8 9\n");
  const Outcome o = c.run("--csv --axes-test 9");
  EXPECT_EQ(o.status, 0);
  EXPECT_NE(o.err.find("axes test: the correspondence table holds 5.5 (object 2, variable 2), "
                       "not a count"),
            std::string::npos)
      << o.err;
  EXPECT_FALSE(c.exists("axes.csv"));
  EXPECT_TRUE(c.exists("SUCCES.ST$"));
}

}  // namespace
}  // namespace orthaxis::e2e
