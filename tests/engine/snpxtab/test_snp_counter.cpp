#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "snpxtab/SnpCounter.h"

using namespace xtab;

namespace {

// The counts point into the line: the caller keeps the line alive.
SnpCounts countLine(const std::string& genotypes, const std::vector<int8_t>& codes) {
  SnpCounts s;
  size_t bad = 0;
  EXPECT_EQ(countSnpLine(genotypes, codes, s, bad), CountStatus::kOk) << genotypes;
  return s;
}

}  // namespace

TEST(ClassCodes, OnlyIntegersOfValueOneOrZero) {
  EXPECT_EQ(classCodeOf("1"), 1);
  EXPECT_EQ(classCodeOf("0"), 0);
  EXPECT_EQ(classCodeOf("+1"), 1);
  EXPECT_EQ(classCodeOf("01"), 1);
  EXPECT_EQ(classCodeOf("-0"), 0);
  EXPECT_EQ(classCodeOf("000"), 0);
  EXPECT_EQ(classCodeOf("-1"), kNoClass);
  EXPECT_EQ(classCodeOf("2"), kNoClass);
  EXPECT_EQ(classCodeOf("10"), kNoClass);
  EXPECT_EQ(classCodeOf("case"), kNoClass);
  EXPECT_EQ(classCodeOf("control"), kNoClass);
  EXPECT_EQ(classCodeOf("1.0"), kNoClass);
  EXPECT_EQ(classCodeOf(" 1"), kNoClass);
  EXPECT_EQ(classCodeOf("1x"), kNoClass);
  EXPECT_EQ(classCodeOf(""), kNoClass);
  EXPECT_EQ(classCodeOf("+"), kNoClass);
  std::vector<int8_t> codes;
  readClassCodes("0\t1\tcase\t\t1", codes);
  EXPECT_EQ(codes, (std::vector<int8_t>{0, 1, kNoClass, kNoClass, 1}));
}

TEST(SnpCounter, AllelesAreDiscoveredInLineOrder) {
  std::vector<int8_t> codes{1, 0, 1, 0};
  const std::string line = "G/G\tN/N\tG/T\tT/T";
  SnpCounts s = countLine(line, codes);
  EXPECT_EQ(s.alleleA, "G");
  EXPECT_EQ(s.alleleB, "T");
  EXPECT_EQ(s.countA, 3);
  EXPECT_EQ(s.countB, 3);
  EXPECT_EQ(s.countN, 2);
  EXPECT_EQ(s.byClass[1][kAA], 1);
  EXPECT_EQ(s.byClass[1][kAB], 1);
  EXPECT_EQ(s.byClass[0][kBB], 1);
  EXPECT_EQ(s.byClass[0][kMissing], 1);
  EXPECT_EQ(s.total[kMissing], 1);
  // Equal counts: B, the second allele met, is the minor allele.
  EXPECT_FALSE(riskAlleleIsA(s, 0));
  EXPECT_TRUE(riskAlleleIsA(s, 1));
}

TEST(SnpCounter, MissingAllelesAndHalfCalls) {
  std::vector<int8_t> codes{1, 1, 1, 1};
  // A/N is a heterozygote, N/A is missing (the first allele decides).
  SnpCounts s = countLine("A/N\tN/A\tA/A\tN/N", codes);
  EXPECT_EQ(s.byClass[1][kAB], 1);
  EXPECT_EQ(s.byClass[1][kMissing], 2);
  EXPECT_EQ(s.byClass[1][kAA], 1);
  EXPECT_EQ(s.countA, 4);
  EXPECT_EQ(s.countN, 4);
  EXPECT_FALSE(s.hasB);
}

TEST(SnpCounter, ThirdAlleleIsNotCounted) {
  std::vector<int8_t> codes{0, 0, 0, 0, 0};
  // C/C: a homozygote of a third allele is no genotype; A/C counts as a
  // heterozygote (two different alleles); C never enters the allele counts.
  SnpCounts s = countLine("A/A\tG/G\tC/C\tA/C\tC/G", codes);
  EXPECT_EQ(s.countA, 3);
  EXPECT_EQ(s.countB, 3);
  EXPECT_EQ(s.byClass[0][kAA], 1);
  EXPECT_EQ(s.byClass[0][kBB], 1);
  EXPECT_EQ(s.byClass[0][kAB], 2);
  EXPECT_EQ(s.total[kAA] + s.total[kAB] + s.total[kBB] + s.total[kMissing], 4);
}

TEST(SnpCounter, OnlyClassesOneAndZeroEnterTheTables) {
  std::vector<int8_t> codes{1, kNoClass, 0};
  SnpCounts s = countLine("A/A\tA/A\tA/A", codes);
  EXPECT_EQ(s.total[kAA], 3);
  EXPECT_EQ(s.byClass[1][kAA], 1);
  EXPECT_EQ(s.byClass[0][kAA], 1);
}

TEST(SnpCounter, AllHomozygousSnpMakesTheUnfoundAlleleMinor) {
  std::vector<int8_t> codes{1, 0, 1};
  SnpCounts s = countLine("A/A\tA/A\tA/A", codes);
  EXPECT_FALSE(riskAlleleIsA(s, 0));  // count(A) 6 is not below count(B) 0
  GenotypeCounts g = riskGenotypeCounts(s, 0);
  EXPECT_EQ(g.rr[1] + g.ro[1] + g.rr[0] + g.ro[0], 0.0);
  EXPECT_EQ(g.oo[1], 2.0);
  EXPECT_EQ(g.oo[0], 1.0);
}

TEST(SnpCounter, RiskGenotypesFollowTheRiskAllele) {
  std::vector<int8_t> codes{1, 1, 1, 0, 0};
  // A: 2 + 2 + 1 + 0 + 0 = 5 ... B: 0 + 0 + 1 + 2 + 2 = 5 plus one more B.
  SnpCounts s = countLine("A/A\tA/A\tA/B\tB/B\tB/B", codes);
  EXPECT_EQ(s.countA, 5);
  EXPECT_EQ(s.countB, 5);
  GenotypeCounts minor = riskGenotypeCounts(s, 0);  // B
  EXPECT_EQ(minor.rr[0], 2.0);
  EXPECT_EQ(minor.oo[1], 2.0);
  GenotypeCounts major = riskGenotypeCounts(s, 1);  // A
  EXPECT_EQ(major.rr[1], 2.0);
  EXPECT_EQ(major.ro[1], 1.0);
  EXPECT_EQ(major.oo[0], 2.0);
}

TEST(SnpCounter, LongAllelesAreWholeTokens) {
  std::vector<int8_t> codes{1, 0, 0};
  const std::string line = "AT/A\tA/A\tAT/AT";
  SnpCounts s = countLine(line, codes);
  EXPECT_EQ(s.alleleA, "AT");
  EXPECT_EQ(s.alleleB, "A");
  EXPECT_EQ(s.byClass[1][kAB], 1);
  EXPECT_EQ(s.byClass[0][kBB], 1);
  EXPECT_EQ(s.byClass[0][kAA], 1);
}

TEST(SnpCounter, MalformedGenotypesAreReported) {
  std::vector<int8_t> codes{1, 0};
  SnpCounts s;
  size_t bad = 99;
  for (const char* line : {"A/A\tAA", "A/A\t", "A/A\t/A", "A/A\tA/", "A/A\tA/G/T", "A/A\t//A"}) {
    EXPECT_EQ(countSnpLine(line, codes, s, bad), CountStatus::kBadGenotype) << line;
    EXPECT_EQ(bad, 1u) << line;
  }
}

TEST(SnpCounter, ColumnCountMustMatchTheClassLine) {
  std::vector<int8_t> codes{1, 0, 1};
  SnpCounts s;
  size_t found = 0;
  EXPECT_EQ(countSnpLine("A/A\tA/G", codes, s, found), CountStatus::kColumnCount);
  EXPECT_EQ(found, 2u);
  EXPECT_EQ(countSnpLine("A/A\tA/G\tG/G\tG/G\tA/A", codes, s, found), CountStatus::kColumnCount);
  EXPECT_EQ(found, 5u);
}
