// SNP line counting beyond what tests/e2e/cases/snpxtab pins (allele order,
// equal counts, half calls, columns of no class, too few columns, "AG").
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "snpxtab/SnpCounter.h"

using namespace xtab;

TEST(ClassCodes, OnlyIntegersOfValueOneOrZero) {
  for (const char* one : {"1", "+1", "01"}) EXPECT_EQ(classCodeOf(one), 1) << one;
  for (const char* zero : {"0", "-0", "000"}) EXPECT_EQ(classCodeOf(zero), 0) << zero;
  for (const char* none : {"-1", "2", "10", "case", "1.0", " 1", "1x", "", "+"})
    EXPECT_EQ(classCodeOf(none), kNoClass) << none;
  std::vector<int8_t> codes;
  readClassCodes("0\t1\tcase\t\t1", codes);
  EXPECT_EQ(codes, (std::vector<int8_t>{0, 1, kNoClass, kNoClass, 1}));
}

TEST(SnpCounter, ThirdAllelesAndLongAlleles) {
  SnpCounts s;
  size_t bad = 0;
  // C/C: a homozygote of a third allele is no genotype; A/C counts as a
  // heterozygote (two different alleles); C never enters the allele counts.
  std::vector<int8_t> codes{0, 0, 0, 0, 0};
  ASSERT_EQ(countSnpLine("A/A\tG/G\tC/C\tA/C\tC/G", codes, s, bad), CountStatus::kOk);
  EXPECT_EQ(s.countA, 3);
  EXPECT_EQ(s.countB, 3);
  EXPECT_EQ(s.byClass[0][kAA], 1);
  EXPECT_EQ(s.byClass[0][kBB], 1);
  EXPECT_EQ(s.byClass[0][kAB], 2);
  EXPECT_EQ(s.total[kAA] + s.total[kAB] + s.total[kBB] + s.total[kMissing], 4);
  // Alleles of more than one letter are whole tokens.
  const std::string line = "AT/A\tA/A\tAT/AT";
  ASSERT_EQ(countSnpLine(line, {1, 0, 0}, s, bad), CountStatus::kOk);
  EXPECT_EQ(s.alleleA, "AT");
  EXPECT_EQ(s.alleleB, "A");
  EXPECT_EQ(s.byClass[1][kAB], 1);
  EXPECT_EQ(s.byClass[0][kBB], 1);
  EXPECT_EQ(s.byClass[0][kAA], 1);
}

TEST(SnpCounter, MalformedGenotypesAndColumnCountsAreReported) {
  std::vector<int8_t> codes{1, 0};
  SnpCounts s;
  size_t bad = 99;
  for (const char* line : {"A/A\tAA", "A/A\t", "A/A\t/A", "A/A\tA/", "A/A\tA/G/T", "A/A\t//A"}) {
    EXPECT_EQ(countSnpLine(line, codes, s, bad), CountStatus::kBadGenotype) << line;
    EXPECT_EQ(bad, 1u) << line;
  }
  EXPECT_EQ(countSnpLine("A/A", codes, s, bad), CountStatus::kColumnCount);
  EXPECT_EQ(bad, 1u);
  EXPECT_EQ(countSnpLine("A/A\tA/G\tG/G\tG/G\tA/A", codes, s, bad), CountStatus::kColumnCount);
  EXPECT_EQ(bad, 5u);
}
