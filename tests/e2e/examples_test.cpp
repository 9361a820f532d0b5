// The shipped examples against published values of their data sets.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>

#include "e2e/harness.h"

namespace orthaxis::e2e {
namespace {

// The iris data with another analysis type; published eigenvalues of the
// covariance matrix (divisor n - 1) and of the uncentred cross products.
void check_iris_type(int type, const double (&published)[4]) {
  Case c;
  c.copy_example("iris");
  c.setup("150 4 " + std::to_string(type) + " 0 4 0 0 1 0 0 0 1",
          {"iris.dat", "iris.obj", "iris.var", "variables.lab", "objects.lab", "iris.mat"});
  Outcome o = c.run();
  ASSERT_EQ(o.status, 0) << o.err;
  auto ev = eigenvalues(c.read("ORTHAXIS.ST$"));
  ASSERT_EQ(ev.size(), 4u);
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(ev[i], published[i], 5e-4 * published[i]) << i;
  // Object scores: four per object after the two heading records.
  auto scores = c.lines("iris.obj");
  ASSERT_EQ(scores.size(), 152u);
  EXPECT_EQ(scores[1], " 150 4");
  // Scores normalised to lambda: the variance (type 2, centred) or the mean
  // square (type 1, uncentred) of the scores on axis 1 is its eigenvalue.
  double sum = 0, squares = 0;
  for (std::size_t i = 2; i < scores.size(); ++i) {
    double s1 = std::strtod(scores[i].c_str(), nullptr);
    sum += s1;
    squares += s1 * s1;
  }
  const double first_axis = type == 2 ? (squares - sum * sum / 150) / 149 : squares;
  EXPECT_NEAR(first_axis, published[0], 2e-3 * published[0]);
}

TEST(Examples, IrisCovarianceEigenvaluesMatchPublishedValues) {
  check_iris_type(2, {4.228242, 0.242671, 0.078210, 0.023835});
}

TEST(Examples, IrisCrossProductEigenvaluesMatchPublishedValues) {
  check_iris_type(1, {9208.3051, 315.4543, 11.9780, 3.5526});
}

TEST(Examples, DuneCorrespondenceEigenvaluesAddToTheTotalInertia) {
  Case c;
  c.copy_example("dune");
  Outcome o = c.run();
  ASSERT_EQ(o.status, 0) << o.err;
  const std::string report = c.read("ORTHAXIS.ST$");
  auto ev = eigenvalues(report);
  ASSERT_EQ(ev.size(), 30u);
  const double published[] = {0.536005, 0.400144, 0.259793, 0.175979, 0.144765, 0.107911};
  for (int i = 0; i < 6; ++i) EXPECT_NEAR(ev[i], published[i], 2e-4) << i;
  double sum = 0;
  for (double v : ev) sum += v;
  EXPECT_NEAR(sum, 2.115264, 2e-4);
  // 19 axes carry the inertia; the rest are zero up to rounding.
  for (int i = 19; i < 30; ++i) EXPECT_LT(std::abs(ev[i]), 1e-6) << i;
  EXPECT_NE(o.out.find("\n   JOB TERMINATED\n STOP  \n"), std::string::npos);
  EXPECT_TRUE(c.exists("SUCCES.ST$"));
}

}  // namespace
}  // namespace orthaxis::e2e
