#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "common_sgt/NumberParse.h"
#include "common_sgt/Random.h"
#include "common_sgt/Settings.h"
#include "common_sgt/SourceUnit.h"
#include "common_sgt/StringSgt.h"
#include "common_sgt/StringUtilSgt.h"

namespace {

// The number prefix of the text; no number at all reads as 0, an overflow
// as the largest double.
TEST(NumberParse, DecimalPrefixOnly) {
  const std::pair<const char*, double> cases[] = {
      {"0.01", 0.01}, {"1e-6", 0.000001}, {"-2.5xyz", -2.5}, {".5", 0.5}, {"5.", 5.0},    {"3e+", 3.0},
      {"", 0.0},      {"nan", 0.0},       {"inf", 0.0},      {"0x10", 0.0}, {" 1", 0.0},  {".", 0.0},
      {"1e999", DBL_MAX}, {"-1e999", -DBL_MAX}};
  for (const auto& [text, value] : cases) EXPECT_DOUBLE_EQ(parseDecimalDouble(text), value) << text;
}

TEST(NumberParse, IntegersClampAtTheirLimits) {
  for (const auto& [text, value] : {std::pair<const char*, int>{"12abc", 12}, {"-7", -7}, {"+7", 7}, {"x", 0},
                                    {"99999999999", INT_MAX}, {"-99999999999", INT_MIN}})
    EXPECT_EQ(parseDecimalInt(text), value) << text;
  for (const auto& [text, value] : {std::pair<const char*, unsigned>{"4294967295", 4294967295u},
                                    {"4294967296", 4294967295u}, {"-3", 0u}, {"17x", 17u}})
    EXPECT_EQ(parseDecimalUnsigned(text), value) << text;
}

// The whole text must be the number; a refused text leaves the value alone.
TEST(NumberParse, WholeNumbers) {
  for (const auto& [text, value] : {std::pair<const char*, int>{"0", 0}, {"-12", -12}, {"+5", 5},
                                    {"2147483647", 2147483647}, {"-2147483648", -2147483648LL}}) {
    int v = 7;
    EXPECT_TRUE(parseWholeInt(text, v)) << text;
    EXPECT_EQ(v, value) << text;
  }
  for (const char* text : {"2147483648", "1x", "x", "", "1.0", " 1"}) {
    int v = 7;
    EXPECT_FALSE(parseWholeInt(text, v)) << text;
    EXPECT_EQ(v, 7) << text;
  }
  for (const auto& [text, value] : {std::pair<const char*, double>{"0.05", 0.05}, {"5e-2", 0.05}, {"1", 1.0}, {".5", 0.5}}) {
    double d = 0;
    EXPECT_TRUE(parseWholeDecimal(text, d)) << text;
    EXPECT_EQ(d, value) << text;
  }
  double d = 0;
  for (const char* text : {"0.05x", "nan", "inf", "1e999", "", "0x10"}) EXPECT_FALSE(parseWholeDecimal(text, d)) << text;
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
