// --csv: the tables beside the report, against values computed independently
// in double precision (R's ade4, inertia.dudi with row and column inertia:
// contributions "abs", squared cosines |"rel"| / 100), against the score files
// and the report of the same run, and against their own sums.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/harness.h"
#include "export/csv_reader.h"

namespace orthaxis::e2e {
namespace {

using testing::csv_number;
using testing::CsvRows;
using testing::parse_csv;

// A published or independently computed value of one point on one axis.
struct Expected {
  int point;  // 1-based row of the table
  double ctr[4];
  double cos2[4];
};

// Agreement of a single-precision run with double-precision values; the
// eigenvectors of the small eigenvalues carry the largest rounding.
void expect_close(double actual, double expected, const std::string& what) {
  EXPECT_NEAR(actual, expected, 2e-3 * std::abs(expected) + 2e-6) << what;
}

void check_expected(const CsvRows& rows, int axes, const std::vector<Expected>& expected,
                    const std::string& table) {
  for (const auto& e : expected) {
    const auto& r = rows[static_cast<std::size_t>(e.point)];
    for (int k = 0; k < 4; ++k) {
      const std::string what = table + " point " + std::to_string(e.point) + " axis " +
                               std::to_string(k + 1);
      expect_close(csv_number(r[static_cast<std::size_t>(2 + axes + k)]), e.cos2[k], "cos2 " + what);
      expect_close(csv_number(r[static_cast<std::size_t>(2 + 2 * axes + k)]), e.ctr[k], "ctr " + what);
    }
  }
}

// Each ctr column adds to 100; over all positive axes each row's cos2 adds to 1.
void check_sums(const CsvRows& rows, int axes) {
  for (int k = 0; k < axes; ++k) {
    double ctr = 0;
    for (std::size_t i = 1; i < rows.size(); ++i)
      ctr += csv_number(rows[i][static_cast<std::size_t>(2 + 2 * axes + k)]);
    EXPECT_NEAR(ctr, 100.0, 1e-4) << "axis " << k + 1;
  }
  for (std::size_t i = 1; i < rows.size(); ++i) {
    double cos2 = 0;
    for (int k = 0; k < axes; ++k) cos2 += csv_number(rows[i][static_cast<std::size_t>(2 + axes + k)]);
    EXPECT_NEAR(cos2, 1.0, 1e-4) << "row " << i;
  }
}

// The score columns equal the score file (8F10.4, a point's values in order
// after two heading records) to its printed precision.
void check_against_score_file(const CsvRows& rows, int axes, const std::string& file) {
  std::istringstream in(file);
  std::string heading;
  std::getline(in, heading);
  std::getline(in, heading);
  for (std::size_t i = 1; i < rows.size(); ++i) {
    for (int k = 0; k < axes; ++k) {
      double printed = 0;
      ASSERT_TRUE(in >> printed) << "point " << i;
      EXPECT_NEAR(csv_number(rows[i][static_cast<std::size_t>(2 + k)]), printed, 5.01e-5)
          << "point " << i << " axis " << k + 1;
    }
  }
  double extra = 0;
  EXPECT_FALSE(in >> extra);
}

TEST(Tables, IrisCorrelationsAgreeWithAde4AndTheScoreFiles) {
  Case c;
  c.copy_example("iris");
  c.setup("150 4 3 0 4 0 0 1 1 0 0 1",
          {"iris.dat", "iris.obj", "iris.var", "variables.lab", "objects.lab", "iris.mat"});
  Outcome o = c.run("--csv");
  ASSERT_EQ(o.status, 0) << o.err;

  const CsvRows eigen = parse_csv(c.read("eigenvalues.csv"));
  ASSERT_EQ(eigen.size(), 5u);
  const double published[] = {2.918498, 0.914030, 0.146757, 0.020715};
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(eigen[static_cast<std::size_t>(k + 1)][0], std::to_string(k + 1));
    expect_close(csv_number(eigen[static_cast<std::size_t>(k + 1)][1]), published[k], "eigenvalue");
    expect_close(csv_number(eigen[static_cast<std::size_t>(k + 1)][2]), published[k] * 25.0, "percent");
  }
  EXPECT_EQ(eigen[4][3], "100");

  const CsvRows objects = parse_csv(c.read("objects.csv"));
  ASSERT_EQ(objects.size(), 151u);
  EXPECT_EQ(objects[0][2], "F1");
  EXPECT_EQ(objects[0][6], "cos2_1");
  EXPECT_EQ(objects[0][13], "ctr_4");
  EXPECT_EQ(objects[1][1], "");
  check_expected(objects, 4,
                 {{1, {1.1715796127, 0.168065537244, 0.0740854699, 0.01879818778},
                   {0.9539975096, 0.0428603195803, 0.003033524868, 0.0001086459532}},
                  {51, {0.2772937430, 0.543177656857, 2.1289551731, 0.03905065568},
                   {0.4998618033, 0.3066571395893, 0.192981413481, 0.0004996436213}}},
                 "objects");
  check_sums(objects, 4);
  check_against_score_file(objects, 4, c.read("iris.obj"));
  // cos2 is the report's percentage of the object's variance, over 100.
  const auto shares = numbers_between(c.read("ORTHAXIS.ST$"),
                                      "FOR BY EACH COMPONENT", "COMPONENT SCORES");
  ASSERT_EQ(shares.size(), 150u * 5u);
  for (std::size_t i = 0; i < 150; ++i)
    for (std::size_t k = 0; k < 4; ++k)
      EXPECT_NEAR(csv_number(objects[i + 1][6 + k]) * 100.0, shares[i * 5 + 1 + k], 5.01e-4);

  const CsvRows variables = parse_csv(c.read("variables.csv"));
  ASSERT_EQ(variables.size(), 5u);
  EXPECT_EQ(variables[0][2], "G1");
  // Whole label lines, where the report cuts them to 8 characters.
  EXPECT_EQ(variables[1][1], "SepLength");
  EXPECT_NE(c.read("ORTHAXIS.ST$").find("SepLengt"), std::string::npos);
  check_expected(variables, 4,
                 {{1, {27.150968743, 14.24440565384, 51.777573594, 6.827052009},
                   {0.7924004299, 0.1301982081557, 0.075987149253, 0.0014142126566}},
                  {2, {7.254804478, 85.24748749267, 5.972245416, 1.525462613},
                   {0.2117313103, 0.7791880118440, 0.008764680774, 0.0003159970851}},
                  {3, {33.687936177, 0.05998389156, 2.019990486, 64.232089445},
                   {0.9831816818, 0.0005482710468, 0.002964474924, 0.0133055722633}},
                  {4, {31.906290601, 0.44812296192, 40.230190504, 27.415395933},
                   {0.9311843945, 0.0040959804216, 0.059040570620, 0.0056790544237}}},
                 "variables");
  check_sums(variables, 4);
  check_against_score_file(variables, 4, c.read("iris.var"));
}

// Cross products (raw values) and covariances (centred values): the same sums.
TEST(Tables, IrisCrossProductsAndCovariancesAddUp) {
  for (const char* type : {"1", "2"}) {
    Case c;
    c.copy_example("iris");
    c.setup(std::string("150 4 ") + type + " 0 4 0 0 1 1 0 0 1",
            {"iris.dat", "iris.obj", "iris.var", "variables.lab", "objects.lab", "iris.mat"});
    Outcome o = c.run("--csv");
    ASSERT_EQ(o.status, 0) << o.err;
    check_sums(parse_csv(c.read("objects.csv")), 4);
    check_sums(parse_csv(c.read("variables.csv")), 4);
  }
}

TEST(Tables, DuneCorrespondenceAgreesWithAde4AndTheScoreFiles) {
  Case c;
  c.copy_example("dune");
  // Every axis asked for: q is lowered to the positive eigenvalues, over
  // which each row's cos2 adds to 1 (among them axes at rounding level).
  c.setup("20 30 4 0 30 1 1 1 0 0 0 1",
          {"dune.dat", "dune.obj", "dune.var", "plants.lab", "sites.lab", "dune.mat"});
  Outcome o = c.run("--csv");
  ASSERT_EQ(o.status, 0) << o.err;
  const int axes = static_cast<int>(parse_csv(c.read("eigenvalues.csv")).size()) - 1;
  ASSERT_GE(axes, 19);

  const CsvRows objects = parse_csv(c.read("objects.csv"));
  ASSERT_EQ(objects.size(), 21u);
  ASSERT_EQ(objects[0].size(), static_cast<std::size_t>(2 + 3 * axes));
  EXPECT_EQ(objects[17][1], "site17");
  check_expected(objects, axes,
                 {{1, {1.731190683, 3.080173876, 0.05509113658, 11.661799600},
                   {0.1154660831, 0.1533669272, 0.001780941903, 0.25536805091}},
                  {20, {17.109354266, 5.170466705, 2.00706228216, 1.384808413},
                   {0.5300991832, 0.1195914737, 0.030139972926, 0.01408655092}}},
                 "objects");
  check_sums(objects, axes);
  check_against_score_file(objects, axes, c.read("dune.obj"));

  const CsvRows variables = parse_csv(c.read("variables.csv"));
  ASSERT_EQ(variables.size(), 31u);
  check_expected(variables, axes,
                 {{1, {3.59749496, 0.04178451416, 3.091254850, 0.001055835323},
                   {0.3803141462, 0.003297650293, 0.15839285558, 3.664628315e-05}},
                  {30, {10.37752528, 1.17465768280, 4.151015980, 0.081254818357},
                   {0.5132644637, 0.043371623132, 0.09950852616, 1.319434939e-03}}},
                 "variables");
  check_sums(variables, axes);
  check_against_score_file(variables, axes, c.read("dune.var"));
}

// A data file that a table or picture would replace is refused before the
// report is written: the data file and the setup file stay as they were.
TEST(Tables, AFileOfTheSetupIsNeverReplaced) {
  for (const char* option : {"--csv", "--svg"}) {
    Case c;
    c.copy_example("iris");
    const std::string name = std::string(option) == "--csv" ? "objects.csv" : "scree.svg";
    c.write(name, c.read("iris.dat"));
    c.setup("150 4 3 0 2 0 0 1 1 0 0 1",
            {"./" + name, "iris.obj", "iris.var", "variables.lab", "objects.lab", "iris.mat"});
    const std::string setup = c.read("ORTHAXIS.ST$");
    Outcome o = c.run(option);
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.err.find("which " + std::string(option) + " would replace"), std::string::npos);
    EXPECT_EQ(c.read(name), c.read("iris.dat"));
    EXPECT_EQ(c.read("ORTHAXIS.ST$"), setup);
  }
}

TEST(Tables, WithoutOptionsNoTableOrPictureIsWritten) {
  Case c;
  c.copy_example("iris");
  Outcome o = c.run();
  ASSERT_EQ(o.status, 0) << o.err;
  for (const char* name :
       {"eigenvalues.csv", "objects.csv", "variables.csv", "biplot.svg", "scree.svg"})
    EXPECT_FALSE(c.exists(name)) << name;
}

}  // namespace
}  // namespace orthaxis::e2e
