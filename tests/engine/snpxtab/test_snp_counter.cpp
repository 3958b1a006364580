// SNP line counting beyond what tests/e2e/cases/snpxtab pins (allele order,
// equal counts, half calls, columns of no class, too few columns, "AG").
#include <gtest/gtest.h>

#include <random>
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

namespace {

void expectSameCounts(const SnpCounts& a, const SnpCounts& b, const std::string& line) {
  EXPECT_EQ(a.hasA, b.hasA) << line;
  EXPECT_EQ(a.hasB, b.hasB) << line;
  if (a.hasA && b.hasA) {
    EXPECT_EQ(a.alleleA, b.alleleA) << line;
  }
  if (a.hasB && b.hasB) {
    EXPECT_EQ(a.alleleB, b.alleleB) << line;
  }
  EXPECT_EQ(a.countA, b.countA) << line;
  EXPECT_EQ(a.countB, b.countB) << line;
  EXPECT_EQ(a.countN, b.countN) << line;
  for (int g = 0; g < 4; ++g) {
    EXPECT_EQ(a.total[g], b.total[g]) << line << " genotype class " << g;
    EXPECT_EQ(a.byClass[0][g], b.byClass[0][g]) << line << " genotype class " << g;
    EXPECT_EQ(a.byClass[1][g], b.byClass[1][g]) << line << " genotype class " << g;
  }
}

}  // namespace

// The scanned count must be the column-by-column count wherever it answers,
// and must leave every line it cannot count (long alleles, malformed
// genotypes, wrong column counts) to the column-by-column count.
TEST(SnpCounter, ScannedCountMatchesTheColumnByColumnCountOnRandomLines) {
  std::mt19937 rng(3);
  const char* const usual[] = {"A/A", "A/G", "G/A", "G/G", "N/N", "N/A", "A/N", "C/C", "C/G", "T/T", "A/T"};
  const char* const odd[] = {"AT/A", "A//", "//A", "AG", "", "A/G/T", "/A", "A/", "N/N\r", "AGT", "A/-", "a/A"};
  GenotypeColumnScan scan;
  int scanned = 0, refused = 0;
  for (int round = 0; round < 3000; ++round) {
    std::vector<int8_t> codes(1 + rng() % 12);
    for (int8_t& c : codes) c = static_cast<int8_t>(static_cast<int>(rng() % 3) - 1);
    groupByClassCode(scan, codes);
    const bool clean = rng() % 2 == 0;
    size_t columns = codes.size();
    if (!clean && rng() % 4 == 0) columns = 1 + rng() % 14;
    std::string line;
    for (size_t c = 0; c < columns; ++c) {
      if (c) line += '\t';
      line += !clean && rng() % 6 == 0 ? odd[rng() % (sizeof odd / sizeof *odd)]
                                       : usual[rng() % (sizeof usual / sizeof *usual)];
    }
    SnpCounts reference, fast;
    size_t badColumn = 0;
    const CountStatus status = countSnpLine(line, codes, reference, badColumn);
    scan.scan(line);
    if (countScannedSnpLine(scan, codes.size(), fast)) {
      ++scanned;
      ASSERT_EQ(status, CountStatus::kOk) << line;
      expectSameCounts(fast, reference, line);
    } else {
      ++refused;
      EXPECT_FALSE(clean) << line;
    }
  }
  // Both ways were taken often enough for the comparison to mean something.
  EXPECT_GT(scanned, 1000);
  EXPECT_GT(refused, 300);
}
