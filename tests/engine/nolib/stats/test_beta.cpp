#include <gtest/gtest.h>

#include <cmath>

#include "stats/Beta.h"

namespace {

struct Known {
  double a, b, x, value;
};

// Reference values computed with 40-digit arithmetic; the first rows also
// have closed forms (I_0.4(2,3) = 0.5248 by the binomial sum, I_x(5,1) = x^5,
// I_x(1,5) = 1 - (1-x)^5, I_0.5(a,a) = 1/2).
const Known kIncomplete[] = {
    {2, 3, 0.4, 0.5248},
    {5, 1, 0.7, 0.16807},
    {1, 5, 0.05, 0.2262190625},
    {500, 500, 0.5, 0.5},
    {0.5, 0.5, 0.2, 0.29516723530086656},
    {0.1, 0.1, 0.3, 0.46280418611555204},
    {10, 20, 0.3, 0.36400408107194423},
    {10, 20, 0.5, 0.96928582713007927},
    {0.5, 30, 0.001, 0.19276269384046289},
    {100, 300, 0.27, 0.82300891858675958},
    {1, 1000000, 3.7e-06, 0.97527664276203754},
    {1000, 999001, 0.001, 0.50421155516699229},
    {20, 0.5, 0.99, 0.52863006451498426},
    {2000, 3000, 0.41, 0.92526212620830467},
};

TEST(IncompleteBeta, MatchesKnownValues) {
  for (const Known& k : kIncomplete) {
    EXPECT_NEAR(stats::incomplete_beta(k.a, k.b, k.x), k.value, 1e-12 + 1e-9 * k.value)
        << "a=" << k.a << " b=" << k.b << " x=" << k.x;
  }
}

TEST(IncompleteBeta, EndsAndDomain) {
  EXPECT_EQ(stats::incomplete_beta(3, 4, 0), 0);
  EXPECT_EQ(stats::incomplete_beta(3, 4, 1), 1);
  EXPECT_TRUE(std::isnan(stats::incomplete_beta(0, 4, 0.5)));
  EXPECT_TRUE(std::isnan(stats::incomplete_beta(3, -1, 0.5)));
  EXPECT_TRUE(std::isnan(stats::incomplete_beta(3, 4, 1.5)));
  EXPECT_TRUE(std::isnan(stats::incomplete_beta(3, 4, NAN)));
}

TEST(IncompleteBeta, SymmetryAcrossTheMean) {
  // Both branches of the evaluation must agree: I_x(a,b) = 1 - I_(1-x)(b,a).
  for (double x : {0.01, 0.2, 0.33, 0.5, 0.71, 0.95}) {
    EXPECT_NEAR(stats::incomplete_beta(7.5, 3.25, x), 1 - stats::incomplete_beta(3.25, 7.5, 1 - x), 1e-14);
  }
}

const Known kInverse[] = {
    {10, 20, 0.025, 0.17938364923511184}, {10, 20, 0.975, 0.50832335380999008},
    {0.2, 5, 0.5, 0.0044913614003379672}, {3, 7, 0.3, 0.21422790110446357},
    {100, 900, 0.025, 0.08218828996955176}, {100, 900, 0.975, 0.11932646296672048},
    {2, 3, 0.5248, 0.4},
};

TEST(IncompleteBetaInverse, MatchesKnownValues) {
  for (const Known& k : kInverse) {
    EXPECT_NEAR(stats::incomplete_beta_inverse(k.a, k.b, k.x), k.value, 1e-12 * k.value)
        << "a=" << k.a << " b=" << k.b << " y=" << k.x;
  }
}

TEST(IncompleteBetaInverse, ClosedForms) {
  // Beta(1, b): x = 1 - (1-y)^(1/b); Beta(a, 1): x = y^(1/a); Beta(1/2, 1/2):
  // x = sin^2(pi y / 2). The first is the smallest of b uniform p-values,
  // the case of the top point of a QQ band.
  for (double y : {0.025, 0.5, 0.975}) {
    for (double b : {1.0, 7.0, 1e6}) {
      double x = -std::expm1(std::log1p(-y) / b);
      EXPECT_NEAR(stats::incomplete_beta_inverse(1, b, y), x, 1e-11 * x) << "b=" << b << " y=" << y;
      double xa = std::pow(y, 1 / b);
      EXPECT_NEAR(stats::incomplete_beta_inverse(b, 1, y), xa, 1e-11 * xa) << "a=" << b << " y=" << y;
    }
    double s = std::sin(M_PI * y / 2);
    EXPECT_NEAR(stats::incomplete_beta_inverse(0.5, 0.5, y), s * s, 1e-12);
  }
}

TEST(IncompleteBetaInverse, RoundTripsOverOrderStatistics) {
  // The band of a QQ plot of a million p-values needs Beta(i, m - i + 1) at
  // 2.5% and 97.5% for i from 1 to m.
  const double m = 1e6;
  for (double i : {1.0, 2.0, 10.0, 1000.0, 500000.0, 999999.0, 1e6}) {
    for (double y : {0.025, 0.975}) {
      double x = stats::incomplete_beta_inverse(i, m - i + 1, y);
      ASSERT_TRUE(x > 0 && x < 1) << i;
      EXPECT_NEAR(stats::incomplete_beta(i, m - i + 1, x), y, 1e-9) << "i=" << i << " y=" << y;
    }
  }
  EXPECT_EQ(stats::incomplete_beta_inverse(2, 5, 0), 0);
  EXPECT_EQ(stats::incomplete_beta_inverse(2, 5, 1), 1);
  EXPECT_TRUE(std::isnan(stats::incomplete_beta_inverse(2, 5, -0.1)));
}

}  // namespace
