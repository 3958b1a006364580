#include <gtest/gtest.h>

#include <string>

#include "stats/Distributions.h"

using namespace stats;

namespace {

TEST(EngineBuild, IgamcUnderflowsSilently) {
  clearMathError();
  testing::internal::CaptureStdout();
  EXPECT_EQ(igamc(0.5, 1000.0), 0.0);
  EXPECT_EQ(chi_square_p(1, 2000.0), 0.0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(lastMathError(), 0);
}

TEST(EngineBuild, IgamStillReports) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(igam(1000.0, 1e-300), 0.0);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.substr(0, 11), "igam \xBF\xA1\xB7\xAF :");
  EXPECT_EQ(lastMathError(), kMathUnderflow);
}

TEST(EngineBuild, SameValuesAsTheFullBuild) {
  EXPECT_NEAR(chi_square_p(1, 3.841458820694124), 0.05, 1e-12);
  EXPECT_EQ(chi_square_p_checked(1, -1.0), 1.0);
}

}  // namespace
