// Supplementary elements through --import: the numbers of an independent
// implementation (computed once and written here), the properties that any
// placement must have, the active part's files as an import of it alone
// writes them, and the refusals.

#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <map>
#include <string>
#include <vector>

#include "e2e/harness.h"
#include "export/csv_reader.h"

namespace orthaxis::e2e {
namespace {

using testing::csv_number;
using testing::CsvRows;

std::string read_path(const std::filesystem::path& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

// The iris measurements (the shipped example's data) with the species.
std::string iris_csv(const std::string& extra_rows = "") {
  const std::vector<std::string> lines =
      Case::split(read_path(std::filesystem::path(ORTHAXIS_SOURCE_DIR) / "examples/iris/iris.dat"));
  std::string csv = "Sepal.Length,Sepal.Width,Petal.Length,Petal.Width,Species\n";
  const char* species[] = {"setosa", "versicolor", "virginica"};
  for (std::size_t i = 2; i < 152; ++i) {
    std::string row;
    for (char c : lines[i]) row += c == ' ' ? ',' : c;
    csv += row + ',' + species[(i - 2) / 50] + '\n';
  }
  return csv + extra_rows;
}

CsvRows table(const Case& c, const std::string& name) { return testing::parse_csv(c.read(name)); }

// Column `name` of a table as numbers (rows after the header).
std::vector<double> column(const CsvRows& t, const std::string& name) {
  std::size_t j = 0;
  while (j < t[0].size() && t[0][j] != name) ++j;
  EXPECT_LT(j, t[0].size()) << name;
  std::vector<double> v;
  for (std::size_t i = 1; i < t.size() && j < t[0].size(); ++i) v.push_back(csv_number(t[i][j]));
  return v;
}

// The root mean square of the active objects' scores on axis k: the unit
// that turns the program's scores into those of variance lambda.
double active_unit(const Case& c, int k) {
  const std::vector<double> f = column(table(c, "objects.csv"), "F" + std::to_string(k));
  double s = 0;
  for (double x : f) s += x * x;
  return std::sqrt(s / static_cast<double>(f.size()));
}

// Compares coordinates with reference ones of variance lambda (`eig`), each
// axis up to its sign: `unit` scales ours to unit variance.
void expect_axis(const std::vector<double>& ours, const std::vector<double>& reference,
                 double unit, double eig, double tolerance) {
  ASSERT_EQ(ours.size(), reference.size());
  const double sign = ours[0] * reference[0] < 0 ? -1.0 : 1.0;
  for (std::size_t i = 0; i < ours.size(); ++i)
    EXPECT_NEAR(sign * ours[i] / unit * std::sqrt(eig), reference[i], tolerance) << "point " << i;
}

void expect_near_all(const std::vector<double>& ours, const std::vector<double>& reference,
                     double tolerance) {
  ASSERT_EQ(ours.size(), reference.size());
  for (std::size_t i = 0; i < ours.size(); ++i) EXPECT_NEAR(ours[i], reference[i], tolerance) << i;
}

TEST(Supplementary, IrisSpeciesGroupsMatchTheReference) {
  Case c;
  c.write("iris.csv", iris_csv());
  const Outcome o = c.run("--import iris.csv w --csv --quiet");
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_NE(o.err.find("column 5 (\"Species\") is qualitative"), std::string::npos) << o.err;
  const std::filesystem::path dir = c.dir() / "w";
  const CsvRows groups = testing::parse_csv(read_path(dir / "groups.csv"));
  ASSERT_EQ(groups.size(), 4u);
  EXPECT_EQ(groups[1][1], "setosa");
  EXPECT_EQ(groups[1][2], "50");
  const double eig[] = {2.9184978165, 0.9140304715, 0.1467568756};
  const std::vector<std::vector<double>> coord = {{-2.2247531601, 0.4964480344, 1.7283051257},
                                                  {0.288927451, -0.550170490, 0.261243039},
                                                  {-0.04283909883, -0.09612951003, 0.13896860886}};
  const std::vector<std::vector<double>> cos2 = {{0.9829895475, 0.4406515477, 0.9714759284},
                                                 {0.0165791724, 0.5411806910, 0.0221963039},
                                                 {0.0003644734418, 0.0165219447766, 0.0062809397596}};
  const std::vector<std::vector<double>> vtest = {{-11.240361593, 2.508258228, 8.732103365},
                                                  {2.608474560, -4.967010651, 2.358536091},
                                                  {-0.9652042692, -2.1658862117, 3.1310904809}};
  for (int k = 1; k <= 3; ++k) {
    SCOPED_TRACE(k);
    const CsvRows objects = testing::parse_csv(read_path(dir / "objects.csv"));
    std::vector<double> f = column(objects, "F" + std::to_string(k));
    double unit = 0;
    for (double x : f) unit += x * x;
    unit = std::sqrt(unit / static_cast<double>(f.size()));
    const std::vector<double> ours = column(groups, "F" + std::to_string(k));
    expect_axis(ours, coord[k - 1], unit, eig[k - 1], 2e-4);
    expect_near_all(column(groups, "cos2_" + std::to_string(k)), cos2[k - 1], 1e-5);
    const double sign = ours[0] * coord[k - 1][0] < 0 ? -1.0 : 1.0;
    std::vector<double> v = column(groups, "vtest_" + std::to_string(k));
    for (double& x : v) x *= sign;
    expect_near_all(v, vtest[k - 1], 2e-3);
  }
}

// Rows 148-150 supplementary, Petal.Width a numeric supplementary variable.
TEST(Supplementary, IrisObjectsAndVariableMatchTheReference) {
  Case c;
  c.write("iris.csv", iris_csv());
  const Outcome o = c.run("--import iris.csv . --sup-rows 148-150 --sup-cols Petal.Width --csv --quiet --force");
  ASSERT_EQ(o.status, 0) << o.err;
  const double eig[] = {2.02730038425, 0.90480586539, 0.06789375035};
  const std::vector<std::vector<double>> coord = {{1.1214154378, 0.6394940862, 0.6297824099},
                                                  {0.29911797829, 0.96704167927, -0.02204642577},
                                                  {0.05602358749, 0.60306546713, 0.47938444536}};
  const std::vector<std::vector<double>> cos2 = {{0.9314091337, 0.2394602594, 0.6326565013},
                                                 {0.0662662607646, 0.5475840232341, 0.0007752884309},
                                                 {0.002324605509, 0.212955717381, 0.366568210258}};
  const double correlation[] = {0.9238325133, 0.09891676442, 0.2723273843};
  const CsvRows sup = table(c, "objects_sup.csv");
  const CsvRows vars = table(c, "variables_sup.csv");
  EXPECT_EQ(column(sup, "index"), (std::vector<double>{148, 149, 150}));
  for (int k = 1; k <= 3; ++k) {
    SCOPED_TRACE(k);
    const std::string K = std::to_string(k);
    // The third axis carries 2 % of the variance: single precision leaves it less exact.
    const double tolerance = k == 3 ? 3e-3 : 2e-4;
    expect_axis(column(sup, "F" + K), coord[k - 1], active_unit(c, k), eig[k - 1], tolerance);
    expect_near_all(column(sup, "cos2_" + K), cos2[k - 1], tolerance);
    const double g = column(vars, "G" + K)[0];
    EXPECT_NEAR(std::abs(g), std::abs(correlation[k - 1]), k == 3 ? 1e-4 : 1e-5);
    EXPECT_NEAR(column(vars, "cos2_" + K)[0], g * g, 1e-7);
  }
  // The directory's run without arguments is the active analysis: 147 x 3.
  EXPECT_EQ(c.lines("data.dat")[1], "147 3");
}

TEST(Supplementary, CorrespondenceRowAndColumnMatchTheReference) {
  Case c;
  c.write("t.csv", ",A,B,C,D,E\nr1,20,5,2,10,7\nr2,15,10,6,4,9\nr3,8,18,12,3,11\n"
                   "r4,2,9,20,6,13\nr5,10,3,4,15,6\nr6,12,7,9,5,8\n");
  const Outcome o = c.run("--import t.csv . --analysis correspondence --sup-rows r6 --sup-cols 5 --csv --quiet");
  ASSERT_EQ(o.status, 0) << o.err;
  const double eig[] = {0.25804155069, 0.09780566995, 0.01606477277};
  const double row[] = {0.005707277415, -0.07525315447, -0.177387028};
  const double row_cos2[] = {0.0008765195321, 0.1523888007, 0.8467346797};
  const double col[] = {0.2234026307, 0.02194438421, -0.0731289327};
  const double col_cos2[] = {0.8845073568, 0.00853437419, 0.09477708645};
  const CsvRows rows = table(c, "objects_sup.csv"), cols = table(c, "variables_sup.csv");
  EXPECT_EQ(rows[1][1], "r6");
  EXPECT_EQ(cols[1][1], "E");
  for (int k = 1; k <= 3; ++k) {
    SCOPED_TRACE(k);
    const std::string K = std::to_string(k);
    // Scaling 1: rows and columns in standard coordinates, principal ones
    // times the root of the eigenvalue.
    EXPECT_NEAR(std::abs(column(rows, "F" + K)[0]) * std::sqrt(eig[k - 1]), std::abs(row[k - 1]), 1e-5);
    EXPECT_NEAR(std::abs(column(cols, "G" + K)[0]) * std::sqrt(eig[k - 1]), std::abs(col[k - 1]), 1e-5);
    EXPECT_NEAR(column(rows, "cos2_" + K)[0], row_cos2[k - 1], 1e-5);
    EXPECT_NEAR(column(cols, "cos2_" + K)[0], col_cos2[k - 1], 1e-5);
  }
}

// A supplementary object repeating an active one lands on it; over all axes
// the qualities add to 1; a level sits at the mean of its objects;
// correlations lie in [-1, 1].
TEST(Supplementary, PropertiesOfThePlacedPoints) {
  for (const char* analysis : {"correlation", "covariance", "cross-products"}) {
    SCOPED_TRACE(analysis);
    Case c;
    // Row 151 repeats row 10 (4.9,3.1,1.5,0.1); 152 has a missing value.
    c.write("iris.csv", iris_csv("4.9,3.1,1.5,0.1,setosa\n5,NA,1.4,0.2,setosa\n"));
    const Outcome o = c.run(std::string("--import iris.csv . --axes 4 --sup-rows 151,152 --csv --quiet --analysis ") + analysis);
    ASSERT_EQ(o.status, 0) << o.err;
    const CsvRows objects = table(c, "objects.csv"), sup = table(c, "objects_sup.csv");
    const CsvRows groups = table(c, "groups.csv");
    for (int k = 1; k <= 4; ++k) {
      const std::string K = std::to_string(k);
      EXPECT_EQ(sup[1][1 + k], objects[10][1 + k]) << "axis " << k;
      const std::vector<double> f = column(objects, "F" + K);
      for (int g = 0; g < 3; ++g) {
        double mean = 0;
        for (int i = 0; i < 50; ++i) mean += f[static_cast<std::size_t>(50 * g + i)];
        EXPECT_NEAR(column(groups, "F" + K)[static_cast<std::size_t>(g)], mean / 50, 1e-6);
      }
    }
    for (const CsvRows* t : {&sup, &groups}) {
      for (std::size_t i = 0; i + 1 < t->size(); ++i) {
        double sum = 0;
        for (int k = 1; k <= 4; ++k) sum += column(*t, "cos2_" + std::to_string(k))[i];
        EXPECT_NEAR(sum, 1.0, 1e-4) << i;
      }
    }
  }
  Case c;
  c.write("t.csv", "a,b,c,d\n1,2,3,9\n2,1,5,-4\n3,5,4,0\n4,3,8,7\n5,4,1,100\n");
  ASSERT_EQ(c.run("--import t.csv . --sup-cols d,a --csv --quiet --axes 2").status, 0);
  const CsvRows vars = table(c, "variables_sup.csv");
  ASSERT_EQ(vars.size(), 3u);
  for (const char* g : {"G1", "G2"})
    for (double r : column(vars, g)) EXPECT_TRUE(r >= -1.0 && r <= 1.0) << r;
}

// The active part's files are those of an import of that part alone; a run
// without options there keeps to it, a run with options names the files.
TEST(Supplementary, TheActivePartIsAnImportOfItAlone) {
  Case whole, part;
  whole.write("t.csv", "id,a,b,c,g\nx1,1,2,3,u\nx2,2,1,5,v\nx3,3,5,4,u\nx4,4,3,8,v\nx5,5,4,1,u\n");
  part.write("t.csv", "id,a,c\nx1,1,3\nx3,3,4\nx4,4,8\nx5,5,1\n");
  const Outcome o = whole.run("--import t.csv w --sup-rows x2 --sup-cols b --quiet");
  ASSERT_EQ(o.status, 0);
  ASSERT_EQ(part.run("--import t.csv w --quiet").status, 0);
  for (const char* name : {"data.dat", "variables.lab", "objects.lab", "ORTHAXIS.ST$",
                           "objects.sco", "variables.sco", "EIGENV.ST$"})
    EXPECT_EQ(whole.read(std::string("w/") + name), part.read(std::string("w/") + name)) << name;
  EXPECT_EQ(whole.read("w/supplementary_objects.csv"), "index,label,a,c\n2,x2,2,5\n");
  EXPECT_EQ(whole.read("w/qualitative.csv"),
            "index,label,g\n1,x1,u\n2,x3,u\n3,x4,v\n4,x5,u\n");
  EXPECT_NE(o.err.find("supplementary elements: 1 object (supplementary_objects.csv), 1 variable "
                       "(supplementary_variables.csv), 1 qualitative variable (qualitative.csv); "
                       "--csv writes"),
            std::string::npos)
      << o.err;
  EXPECT_FALSE(whole.exists("w/objects_sup.csv"));
}

TEST(Supplementary, RefusalsWriteNothing) {
  struct Refusal {
    const char* what;
    std::string args;
    const char* message;
  };
  const std::string csv = "id,a,b,c,g\nx1,1,2,3,u\nx2,2,1,5,v\nx3,3,5,4,u\nx4,4,3,8,v\n";
  const Refusal cases[] = {
      {"unknown row name", "--sup-rows x9", "--sup-rows: no row is named \"x9\""},
      {"unknown column name", "--sup-cols z", "--sup-cols: no column is named \"z\""},
      {"row out of range", "--sup-rows 2-7", "--sup-rows: row 7 is beyond the table's 5 rows"},
      {"column out of range", "--sup-cols 5", "--sup-cols: column 5 is beyond the table's 4 columns"},
      {"too few active objects", "--sup-rows 1-4", "leave 1 active object and 3 active variables"},
      {"too few active variables", "--sup-cols a,b", "leave 5 active objects and 1 active variable"},
      {"qualitative named", "--sup-cols g", "column 4 (\"g\") holds texts, not numbers"},
      {"negative in a supplementary row of a CoA", "--analysis correspondence --sup-rows x5",
       "-1 is negative: a supplementary row"},
  };
  for (const auto& r : cases) {
    SCOPED_TRACE(r.what);
    Case c;
    c.write("t.csv", csv + "x5,-1,1,1,u\n");
    const Outcome o = c.run("--import t.csv w " + r.args);
    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << o.err;
    EXPECT_NE(o.err.find(r.message), std::string::npos) << o.err;
    EXPECT_FALSE(c.exists("w"));
  }
}

TEST(Supplementary, BiplotDrawsThemAtTheActiveScale) {
  Case c;
  c.write("iris.csv", iris_csv("4.9,3.1,1.5,0.1,setosa\n"));
  ASSERT_EQ(c.run("--import iris.csv . --sup-rows 151 --sup-cols 4 --svg --quiet").status, 0);
  const std::string svg = c.read("biplot.svg");
  auto count = [&](const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = svg.find(what); at != std::string::npos; at = svg.find(what, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("class=\"supplementary-object\""), 1u);
  EXPECT_EQ(count("class=\"supplementary-variable\""), 1u);
  EXPECT_EQ(count("class=\"centroid\""), 3u);
  // The repeated object's hollow circle is drawn where object 10 is.
  const std::size_t active = svg.find("<circle class=\"object\"", 0);
  std::size_t tenth = active;
  for (int i = 0; i < 9; ++i) tenth = svg.find("<circle class=\"object\"", tenth + 1);
  const std::string at = svg.substr(svg.find("cx=", tenth), svg.find(" r=", tenth) - svg.find("cx=", tenth));
  const std::size_t sup = svg.find("class=\"supplementary-object\"");
  EXPECT_EQ(svg.substr(svg.find("cx=", sup), at.size()), at);
}

// The picture and the page share one biplot: an unknown --groups is said once.
TEST(Supplementary, AnUnknownGroupingIsSaidOnceForThePictureAndThePage) {
  Case c;
  c.write("iris.csv", iris_csv());
  const Outcome o = c.run("--import iris.csv . --svg --html --groups Genus --quiet");
  ASSERT_EQ(o.status, 0) << o.err;
  const std::string warning = "--groups: no qualitative variable is named \"Genus\"";
  const std::size_t first = o.err.find(warning);
  ASSERT_NE(first, std::string::npos) << o.err;
  EXPECT_EQ(o.err.find(warning, first + 1), std::string::npos) << o.err;
}

}  // namespace
}  // namespace orthaxis::e2e
