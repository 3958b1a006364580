#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "snpxtab/ProgramSupport.h"

using namespace xtab;

TEST(OutputName, TakesTheFirstTwoPiecesOfTheBaseName) {
  EXPECT_EQ(crossTabOutputName("x.geno", ".snp.crss", "01"), "x.geno.snp.crss.01.tmp");
  EXPECT_EQ(crossTabOutputName("x.geno.impu", ".snp.crss", "13"), "x.geno.snp.crss.13.tmp");
  EXPECT_EQ(crossTabOutputName("em8.geno.em.hblk", ".hap.crss", "0"), "em8.geno.hap.crss.0.tmp");
  EXPECT_EQ(crossTabOutputName("x.", ".snp.crss", "00"), "x..snp.crss.00.tmp");
  EXPECT_EQ(crossTabOutputName(".hidden.geno", ".snp.crss", "00"), ".hidden.snp.crss.00.tmp");
}

TEST(OutputName, DirectoryDotsDoNotMoveTheReport) {
  EXPECT_EQ(crossTabOutputName("run.v2/x.geno", ".snp.crss", "05"), "run.v2/x.geno.snp.crss.05.tmp");
  EXPECT_EQ(crossTabOutputName("/a.b/c.d/y.z.w", ".hap.crss", "3"), "/a.b/c.d/y.z.hap.crss.3.tmp");
  EXPECT_TRUE(baseNameHasDot("x.geno"));
  EXPECT_TRUE(baseNameHasDot("dir/x.geno"));
  EXPECT_FALSE(baseNameHasDot("run.v2/xgeno"));
  EXPECT_FALSE(baseNameHasDot("xgeno"));
}

TEST(Arguments, IntegersAreWholeTexts) {
  int v = 7;
  EXPECT_TRUE(parseIntegerArg("0", v));
  EXPECT_EQ(v, 0);
  EXPECT_TRUE(parseIntegerArg("-12", v));
  EXPECT_EQ(v, -12);
  EXPECT_TRUE(parseIntegerArg("+5", v));
  EXPECT_EQ(v, 5);
  EXPECT_TRUE(parseIntegerArg("2147483647", v));
  EXPECT_EQ(v, 2147483647);
  EXPECT_TRUE(parseIntegerArg("-2147483648", v));
  v = 7;
  EXPECT_FALSE(parseIntegerArg("2147483648", v));
  EXPECT_FALSE(parseIntegerArg("1x", v));
  EXPECT_FALSE(parseIntegerArg("x", v));
  EXPECT_FALSE(parseIntegerArg("", v));
  EXPECT_FALSE(parseIntegerArg("1.0", v));
  EXPECT_FALSE(parseIntegerArg(" 1", v));
  EXPECT_EQ(v, 7);
}

TEST(Arguments, DecimalsAreWholeFiniteNumbers) {
  double d = 0;
  EXPECT_TRUE(parseDecimalArg("0.05", d));
  EXPECT_EQ(d, 0.05);
  EXPECT_TRUE(parseDecimalArg("5e-2", d));
  EXPECT_EQ(d, 0.05);
  EXPECT_TRUE(parseDecimalArg("1", d));
  EXPECT_TRUE(parseDecimalArg(".5", d));
  EXPECT_EQ(d, 0.5);
  EXPECT_FALSE(parseDecimalArg("0.05x", d));
  EXPECT_FALSE(parseDecimalArg("nan", d));
  EXPECT_FALSE(parseDecimalArg("inf", d));
  EXPECT_FALSE(parseDecimalArg("1e999", d));
  EXPECT_FALSE(parseDecimalArg("", d));
  EXPECT_FALSE(parseDecimalArg("0x10", d));
}

TEST(SameFile, RecognisesOneFileUnderTwoNames) {
  std::string a = testing::TempDir() + "samefile_a.txt";
  std::string b = testing::TempDir() + "samefile_b.txt";
  FILE* f = fopen(a.c_str(), "w");
  ASSERT_NE(f, nullptr);
  fclose(f);
  remove(b.c_str());
  EXPECT_TRUE(sameFile(a.c_str(), a.c_str()));
  EXPECT_FALSE(sameFile(a.c_str(), b.c_str()));
  f = fopen(b.c_str(), "w");
  fclose(f);
  EXPECT_FALSE(sameFile(a.c_str(), b.c_str()));
  remove(a.c_str());
  remove(b.c_str());
}
