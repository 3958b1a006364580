#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "stats/Distributions.h"

using namespace stats;

namespace {

TEST(ChiSquare, AgreesWithClosedFormsOverARange) {
  // 1 df: the upper tail is erfc(sqrt(x/2)); 2 df: exp(-x/2).
  for (double x = 0.001; x < 60.0; x *= 1.37) {
    EXPECT_NEAR(chi_square_p(1, x), std::erfc(std::sqrt(x / 2)), 1e-13 + 1e-12 * std::erfc(std::sqrt(x / 2))) << x;
    EXPECT_NEAR(chi_square_p(2, x), std::exp(-x / 2), 1e-13 + 1e-12 * std::exp(-x / 2)) << x;
  }
}

// The usual degrees of freedom take lgam of their halves from a table: the
// p-values must be igamc's to the last bit, on both of its routes (series
// below the mean, continued fraction above), at the switch and in the
// underflow, where the message must still be printed.
TEST(ChiSquare, TheKeptHalfLogGammasGiveIgamcsBits) {
  std::mt19937_64 rng(9);
  std::vector<double> xs = {0.0, 1e-300, 1e-12, 0.5, 1.0, 1.0000000000000002, 2.0, 3.0, 16.0, 17.0, 1417.0};
  for (int i = 0; i < 20000; ++i) xs.push_back(std::ldexp(static_cast<double>(rng() >> 11) / 9007199254740992.0, static_cast<int>(rng() % 24) - 12));
  for (int df = 1; df <= 18; ++df) {
    for (double x : xs) {
      if (x * 0.5 > 700.0) continue;  // underflow, below
      const double expected = igamc(df * 0.5, x * 0.5);
      const double got = chi_square_p(df, x);
      ASSERT_EQ(std::memcmp(&expected, &got, sizeof got), 0) << df << " " << x;
    }
  }
  testing::internal::CaptureStdout();
  EXPECT_EQ(chi_square_p(1, 2000.0), 0.0);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("igamc underflow error"), std::string::npos);
}

TEST(ChiSquare, ZeroAndNegativeStatistics) {
  EXPECT_EQ(igamc(0.5, 0.0), 1.0);
  EXPECT_EQ(igamc(0.5, -1.0), 1.0);
  EXPECT_EQ(igam(0.5, 0.0), 0.0);
  EXPECT_EQ(igam(0.5, -2.0), 0.0);
  EXPECT_EQ(chi_square_p(1, 0.0), 1.0);
  EXPECT_EQ(chi_square_p_checked(1, -0.5), 1.0);
  EXPECT_EQ(chi_square_p(0, 3.0), 1.0);  // a = 0: df 0 gives p = 1
}

TEST(Gamma, ValuesAndPoles) {
  EXPECT_NEAR(stats::gamma(5.0), 24.0, 1e-12);
  EXPECT_NEAR(stats::gamma(0.5), std::sqrt(M_PI), 1e-14);
  EXPECT_NEAR(stats::gamma(2.5), 1.329340388179137, 1e-15);
  EXPECT_NEAR(stats::gamma(40.5) / std::tgamma(40.5), 1.0, 1e-14);
  EXPECT_NEAR(stats::gamma(-2.5), std::tgamma(-2.5), 1e-14);
  EXPECT_NEAR(stats::gamma(-40.5) / std::tgamma(-40.5), 1.0, 1e-13);
  EXPECT_NEAR(lgam(100.0), std::lgamma(100.0), 1e-12);
  EXPECT_NEAR(lgam(4.5), 2.453736570842443, 1e-14);
  EXPECT_NEAR(lgam(2000.0), std::lgamma(2000.0), 1e-9);
  lgam(-40.5);
  EXPECT_EQ(sign_of_gamma, std::tgamma(-40.5) < 0 ? -1 : 1);

  testing::internal::CaptureStdout();
  EXPECT_EQ(stats::gamma(0.0), 1.79769313486231570815e308);
  EXPECT_EQ(lastMathError(), kMathSingularity);
  double neg = stats::gamma(-40.0);
  EXPECT_EQ(std::fabs(neg), 1.79769313486231570815e308);
  EXPECT_EQ(lastMathError(), kMathOverflow);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "\ngamma singularity error\n\ngamma overflow error\n");
}

TEST(Ndtri, SymmetryAndBounds) {
  EXPECT_EQ(ndtri(0.5), 0.0);
  EXPECT_NEAR(ndtri(0.975), 1.959963984540054, 1e-14);
  // Dyadic values, so that 1 - y is exact.
  for (double y : {0x1p-40, 0x1p-20, 0x1p-7, 0.125, 0.25, 0.375, 0.4375}) EXPECT_NEAR(ndtri(y), -ndtri(1.0 - y), 1e-9 * std::fabs(ndtri(y)) + 1e-15) << y;
  testing::internal::CaptureStdout();
  EXPECT_EQ(ndtri(0.0), -1.79769313486231570815e308);
  EXPECT_EQ(ndtri(1.0), 1.79769313486231570815e308);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nndtri domain error\n\nndtri domain error\n");
  EXPECT_EQ(lastMathError(), kMathDomain);
}

TEST(Igami, RoundTripsThroughIgamc) {
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> a(0.3, 30.0), y(1e-8, 0.999);
  for (int i = 0; i < 300; ++i) {
    double aa = a(rng), yy = y(rng);
    double x = igami(aa, yy);
    EXPECT_NEAR(igamc(aa, x), yy, 1e-9 * yy + 1e-14) << aa << " " << yy;
  }
}

TEST(MathError, WordsAndUnknownCodes) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(math_error("f", 5), 0);
  math_error("g", 6);
  math_error("h", 0);
  math_error("i", 9);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "\nf total loss of precision error\n\ng partial loss of precision error\n\nh unknown error\n\ni unknown "
            "error\n");
  EXPECT_EQ(lastMathError(), 9);
}

TEST(Underflow, FullBuildReportsIgamcUnderflowInTheKoreanCodePage) {
  testing::internal::CaptureStdout();
  double p = igamc(0.5, 1000.0);  // statistic 2000 with 1 df
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(p, 0.0);
  EXPECT_EQ(out,
            "igamc \xBF\xA1\xB7\xAF : ax->-997.118487   -MAXLOG->-709.782713 \n"
            "\nigamc underflow error\n");
  EXPECT_EQ(lastMathError(), kMathUnderflow);
}

TEST(Underflow, IgamReportsToo) {
  testing::internal::CaptureStdout();
  double p = igam(1000.0, 1e-300);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(p, 0.0);
  EXPECT_EQ(out.substr(0, 11), "igam \xBF\xA1\xB7\xAF :");
  EXPECT_NE(out.find("\nigam underflow error\n"), std::string::npos);
}

}  // namespace
