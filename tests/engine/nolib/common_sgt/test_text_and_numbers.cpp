#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "common_sgt/NumberParse.h"
#include "common_sgt/Random.h"
#include "common_sgt/Settings.h"
#include "common_sgt/SourceUnit.h"
#include "common_sgt/StringSgt.h"
#include "common_sgt/StringUtilSgt.h"

namespace {

TEST(NumberParse, DecimalPrefixOnly) {
  EXPECT_DOUBLE_EQ(parseDecimalDouble("0.01"), 0.01);
  EXPECT_DOUBLE_EQ(parseDecimalDouble("1e-6"), 0.000001);
  EXPECT_DOUBLE_EQ(parseDecimalDouble("-2.5xyz"), -2.5);
  EXPECT_DOUBLE_EQ(parseDecimalDouble(".5"), 0.5);
  EXPECT_DOUBLE_EQ(parseDecimalDouble("5."), 5.0);
  EXPECT_DOUBLE_EQ(parseDecimalDouble("3e"), 3.0);
  EXPECT_DOUBLE_EQ(parseDecimalDouble("3e+"), 3.0);
  EXPECT_DOUBLE_EQ(parseDecimalDouble("_HINT"), 0.0);
  EXPECT_DOUBLE_EQ(parseDecimalDouble(""), 0.0);
  EXPECT_DOUBLE_EQ(parseDecimalDouble("nan"), 0.0);
  EXPECT_DOUBLE_EQ(parseDecimalDouble("inf"), 0.0);
  EXPECT_DOUBLE_EQ(parseDecimalDouble("0x10"), 0.0);
  EXPECT_DOUBLE_EQ(parseDecimalDouble(" 1"), 0.0);
  EXPECT_DOUBLE_EQ(parseDecimalDouble("."), 0.0);
  EXPECT_EQ(parseDecimalDouble("1e999"), DBL_MAX);
  EXPECT_EQ(parseDecimalDouble("-1e999"), -DBL_MAX);
}

TEST(NumberParse, Integers) {
  EXPECT_EQ(parseDecimalInt("12abc"), 12);
  EXPECT_EQ(parseDecimalInt("-7"), -7);
  EXPECT_EQ(parseDecimalInt("+7"), 7);
  EXPECT_EQ(parseDecimalInt("x"), 0);
  EXPECT_EQ(parseDecimalInt("99999999999"), INT_MAX);
  EXPECT_EQ(parseDecimalInt("-99999999999"), INT_MIN);
  EXPECT_EQ(parseDecimalUnsigned("4294967295"), 4294967295u);
  EXPECT_EQ(parseDecimalUnsigned("4294967296"), 4294967295u);
  EXPECT_EQ(parseDecimalUnsigned("-3"), 0u);
  EXPECT_EQ(parseDecimalUnsigned("17x"), 17u);
}

TEST(NumberParse, WholeIntegers) {
  int v = 7;
  EXPECT_TRUE(parseWholeInt("0", v));
  EXPECT_EQ(v, 0);
  EXPECT_TRUE(parseWholeInt("-12", v));
  EXPECT_EQ(v, -12);
  EXPECT_TRUE(parseWholeInt("+5", v));
  EXPECT_EQ(v, 5);
  EXPECT_TRUE(parseWholeInt("2147483647", v));
  EXPECT_EQ(v, 2147483647);
  EXPECT_TRUE(parseWholeInt("-2147483648", v));
  v = 7;
  EXPECT_FALSE(parseWholeInt("2147483648", v));
  EXPECT_FALSE(parseWholeInt("1x", v));
  EXPECT_FALSE(parseWholeInt("x", v));
  EXPECT_FALSE(parseWholeInt("", v));
  EXPECT_FALSE(parseWholeInt("1.0", v));
  EXPECT_FALSE(parseWholeInt(" 1", v));
  EXPECT_EQ(v, 7);
}

TEST(NumberParse, WholeDecimals) {
  double d = 0;
  EXPECT_TRUE(parseWholeDecimal("0.05", d));
  EXPECT_EQ(d, 0.05);
  EXPECT_TRUE(parseWholeDecimal("5e-2", d));
  EXPECT_EQ(d, 0.05);
  EXPECT_TRUE(parseWholeDecimal("1", d));
  EXPECT_TRUE(parseWholeDecimal(".5", d));
  EXPECT_EQ(d, 0.5);
  EXPECT_FALSE(parseWholeDecimal("0.05x", d));
  EXPECT_FALSE(parseWholeDecimal("nan", d));
  EXPECT_FALSE(parseWholeDecimal("inf", d));
  EXPECT_FALSE(parseWholeDecimal("1e999", d));
  EXPECT_FALSE(parseWholeDecimal("", d));
  EXPECT_FALSE(parseWholeDecimal("0x10", d));
}

TEST(Random, FirstValuesForSeedOne) {
  lcgSeed(1);
  std::vector<int> got;
  for (int i = 0; i < 5; ++i) got.push_back(lcgNext());
  EXPECT_EQ(got, (std::vector<int>{41, 18467, 6334, 26500, 19169}));
}

TEST(Random, SeedOptionMakesEveryRandomStartTheSame) {
  g_seedGiven = true;
  g_seedValue = 7;
  seedRandomInitialisation();
  int a = lcgNext();
  lcgNext();
  seedRandomInitialisation();
  EXPECT_EQ(lcgNext(), a);
  g_seedGiven = false;
}

TEST(SourceUnit, StripsExtensionOnly) {
  EXPECT_EQ(sourceUnitName("engine/nolib/marlo/GenoData.cpp"), "engine/nolib/marlo/GenoData");
  EXPECT_EQ(sourceUnitName("dir.x/file"), "dir.x/file");
  EXPECT_EQ(std::string(SGT_UNIT), "tests/engine/nolib/common_sgt/test_text_and_numbers");
}

TEST(StringSgt, AppendAssign) {
  StringSgt s("ab");
  EXPECT_TRUE(s.append("cd"));
  EXPECT_STREQ(s.c_str(), "abcd");
  EXPECT_EQ(s.length(), 4);
  s.assign("x");
  EXPECT_STREQ(s.c_str(), "x");
  testing::internal::CaptureStdout();
  EXPECT_FALSE(s.append(nullptr));
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.rfind("NULL\tengine/nolib/common_sgt/StringSgt:", 0), 0u) << out;
}

struct Collect : StringUtilSgt::FieldHandler {
  std::vector<std::string> pieces;
  bool onField(const char*, const char* piece) override {
    pieces.emplace_back(piece);
    return true;
  }
};

TEST(StringUtilSgt, SkipFieldsAndForEachField) {
  StringUtilSgt u;
  const char* line = "rs1\t10\t100\t+\tA/G\tG/G";
  EXPECT_STREQ(u.skipFields(line, "\t", 4), "A/G\tG/G");
  EXPECT_STREQ(u.skipFields("a\tb", "\t", 4), "b");
  EXPECT_STREQ(u.skipFields("ab", "\t", 4), "ab");
  Collect c;
  EXPECT_TRUE(u.forEachField("a,,b", ",", c));
  EXPECT_EQ(c.pieces, (std::vector<std::string>{"a", "", "b"}));
  Collect none;
  EXPECT_TRUE(u.forEachField("", ",", none));
  EXPECT_TRUE(none.pieces.empty());
  std::string dst;
  EXPECT_TRUE(u.copyN(dst, "abcdef", 3));
  EXPECT_EQ(dst, "abc");
  EXPECT_TRUE(u.copy(dst, "xyz"));
  EXPECT_EQ(dst, "xyz");
}

}  // namespace
