#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hwe/SnpQuality.h"
#include "stats/Distributions.h"

namespace {

// Tallies genotypes written as in a genotype file ("N/N" is missing).
GenotypeTally tallyOf(const std::vector<std::string>& genotypes) {
  GenotypeTally t;
  for (const std::string& g : genotypes) {
    if (g == "N/N")
      t.addMissing();
    else
      t.add(g[0], g[1], g[2]);
  }
  return t;
}

std::vector<std::string> repeat(const std::string& g, int n) { return std::vector<std::string>(n, g); }

std::vector<std::string> concat(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

std::string textsOf(const std::vector<AlleleCount>& alleles) {
  std::string s;
  for (const AlleleCount& a : alleles) s += a.text;
  return s;
}

TEST(SnpQuality, ShellSortKeepsEqualCountsInOrderUpToFourAlleles) {
  std::vector<AlleleCount> a = {{"A", 3}, {"G", 3}};
  shellSortAlleles(a);
  EXPECT_EQ(textsOf(a), "AG");
  a = {{"T", 2}, {"A", 1}, {"C", 2}, {"G", 1}};
  shellSortAlleles(a);
  EXPECT_EQ(textsOf(a), "AGTC");
}

TEST(SnpQuality, ShellSortWithFiveAllelesMayReorderEqualCounts) {
  // Five alleles: gaps 4 then 1. With gap 4, e (count 1) moves past a
  // (count 5) to the front, ahead of b, c and d although it came last.
  std::vector<AlleleCount> a = {{"a", 5}, {"b", 1}, {"c", 1}, {"d", 1}, {"e", 1}};
  shellSortAlleles(a);
  EXPECT_EQ(textsOf(a), "ebcda");
  // Only strictly greater counts move: equal counts at distance 4 stay.
  a = {{"a", 1}, {"b", 2}, {"c", 2}, {"d", 2}, {"e", 1}};
  shellSortAlleles(a);
  EXPECT_EQ(textsOf(a), "aebcd");
}

TEST(SnpQuality, ShellSortAscendingOnLargerLists) {
  std::vector<AlleleCount> a;
  for (int i = 0; i < 30; ++i) a.push_back({std::string(1, static_cast<char>('A' + i % 26)), (i * 17) % 11});
  shellSortAlleles(a);
  for (size_t i = 1; i < a.size(); ++i) EXPECT_LE(a[i - 1].count, a[i].count);
}

TEST(SnpQuality, GenotypesAreNormalisedAndAllelesKeepFirstAppearance) {
  GenotypeTally t = tallyOf({"G/A", "A/G", "G/G", "T/C", "N/N"});
  ASSERT_EQ(t.entries().size(), 3u);
  EXPECT_EQ(std::string(t.entries()[0].text, 3), "A/G");
  EXPECT_EQ(t.entries()[0].count, 2);
  EXPECT_EQ(std::string(t.entries()[2].text, 3), "C/T");
  EXPECT_EQ(t.missing(), 1);
  std::vector<AlleleCount> alleles;
  countAlleles(t, alleles);
  EXPECT_EQ(textsOf(alleles), "AGCT");
  EXPECT_EQ(alleles[0].count, 2);  // A
  EXPECT_EQ(alleles[1].count, 4);  // G: 2 from A/G, 2 from G/G
}

TEST(SnpQuality, OtherSeparatorsGiveOneAllelePerGenotype) {
  GenotypeTally t = tallyOf({"A|G", "A|G"});
  std::vector<AlleleCount> alleles;
  countAlleles(t, alleles);
  ASSERT_EQ(alleles.size(), 1u);
  EXPECT_EQ(alleles[0].text, "A|G");
  EXPECT_EQ(alleles[0].count, 2);
  // A slash as an allele letter vanishes like an empty piece.
  t = tallyOf({"//A"});
  countAlleles(t, alleles);
  ASSERT_EQ(alleles.size(), 1u);
  EXPECT_EQ(alleles[0].text, "A");
}

TEST(SnpQuality, ClearForgetsEverything) {
  GenotypeTally t = tallyOf({"A/G", "A/A", "A|A", "N/N"});
  t.clear();
  EXPECT_TRUE(t.entries().empty());
  EXPECT_EQ(t.missing(), 0);
  t.add('A', '/', 'G');
  ASSERT_EQ(t.entries().size(), 1u);
  EXPECT_EQ(t.entries()[0].count, 1);
}

TEST(SnpQuality, NoContinuityCorrectionWhenEveryExpectedCountIsFive) {
  // 40 samples: A/A 12, A/G 16, G/G 12. A 40, G 40, T 80.
  // Expected 10, 20, 10: chi = 4/10 + 16/20 + 4/10 = 1.6.
  SnpQuality q;
  computeSnpQuality(tallyOf(concat({repeat("A/A", 12), repeat("A/G", 16), repeat("G/G", 12)})), q);
  EXPECT_FALSE(q.yates);
  EXPECT_DOUBLE_EQ(q.chiSquare, 1.6);
  EXPECT_EQ(q.df, 1);
  EXPECT_DOUBLE_EQ(q.pValue, stats::chi_square_p(1, 1.6));
  // Expected 5 exactly is not below 5: 20 samples A/A 6, A/G 8, G/G 6
  // gives A 20, G 20, T 40 and expected 5, 10, 5.
  computeSnpQuality(tallyOf(concat({repeat("A/A", 6), repeat("A/G", 8), repeat("G/G", 6)})), q);
  ASSERT_DOUBLE_EQ(q.expected[0].expected, 5.0);
  EXPECT_FALSE(q.yates);
  EXPECT_DOUBLE_EQ(q.chiSquare, 1.0 / 5 + 4.0 / 10 + 1.0 / 5);
}

TEST(SnpQuality, OneSmallExpectedCountCorrectsEveryCell) {
  // A/A 30, A/G 8, G/G 2: A 68, G 12, T 80. Expected 28.9, 10.2 and 0.9;
  // 0.9 < 5 switches the correction on for all three cells:
  // 0.6^2/28.9 + 1.7^2/10.2 + 0.6^2/0.9.
  SnpQuality q;
  computeSnpQuality(tallyOf(concat({repeat("A/A", 30), repeat("A/G", 8), repeat("G/G", 2)})), q);
  EXPECT_TRUE(q.yates);
  ASSERT_EQ(q.expected.size(), 3u);
  EXPECT_NEAR(q.expected[0].expected, 28.9, 1e-12);
  EXPECT_NEAR(q.expected[1].expected, 10.2, 1e-12);
  EXPECT_NEAR(q.expected[2].expected, 0.9, 1e-12);
  EXPECT_NEAR(q.chiSquare, 0.36 / 28.9 + 2.89 / 10.2 + 0.36 / 0.9, 1e-12);
}

TEST(SnpQuality, CorrectionIsNotClampedAtZero) {
  // C/C x3: one expected cell of 3 observed 3; d = 0 - 0.5, chi = 0.25/3.
  SnpQuality q;
  computeSnpQuality(tallyOf(repeat("C/C", 3)), q);
  EXPECT_TRUE(q.yates);
  EXPECT_DOUBLE_EQ(q.chiSquare, 0.25 / 3);
  EXPECT_EQ(q.df, 0);
  EXPECT_EQ(q.pValue, 1.0);
  EXPECT_EQ(q.alleleText, "C");
  EXPECT_EQ(q.frequencyText, "1.000");
  EXPECT_EQ(q.minorAlleleFrequency, 0.0);
}

TEST(SnpQuality, DegreesOfFreedomAreCellsMinusAlleles) {
  SnpQuality q;
  computeSnpQuality(tallyOf({"N/N", "N/N"}), q);
  EXPECT_EQ(q.df, 0);
  EXPECT_EQ(q.pValue, 1.0);
  EXPECT_EQ(q.chiSquare, 0.0);
  EXPECT_EQ(q.alleleText, "NoAllele");
  EXPECT_EQ(q.frequencyText, "NoAllele");
  EXPECT_EQ(q.valid, 0);
  EXPECT_EQ(q.total, 2);
  EXPECT_EQ(q.callRate, 0.0);

  computeSnpQuality(tallyOf({"A/G", "G/G"}), q);
  EXPECT_EQ(q.df, 1);
  computeSnpQuality(tallyOf({"A/C", "G/G", "C/C"}), q);
  EXPECT_EQ(q.expected.size(), 6u);
  EXPECT_EQ(q.df, 3);
  computeSnpQuality(tallyOf({"A/C", "G/T"}), q);
  EXPECT_EQ(q.expected.size(), 10u);
  EXPECT_EQ(q.df, 6);
}

TEST(SnpQuality, ExpectedNameFallsBackToTheReversedGenotype) {
  // Alleles in order of first appearance G, A: the pair (G, A) is named
  // G/A, which was not observed (it is stored as A/G), so it takes A/G.
  SnpQuality q;
  computeSnpQuality(tallyOf({"G/G", "A/G", "G/A"}), q);
  ASSERT_EQ(q.expected.size(), 3u);
  EXPECT_EQ(q.expected[0].name, "G/G");
  EXPECT_EQ(q.expected[1].name, "A/G");
  EXPECT_EQ(q.expected[2].name, "A/A");
  // G 4, A 2, T 6: E = 16/12, 8/6, 4/12; O = 1, 2, 0.
  double chi = (1.0 / 3 - 0.5) * (1.0 / 3 - 0.5) / (16.0 / 12) + (2.0 / 3 - 0.5) * (2.0 / 3 - 0.5) / (8.0 / 6) +
        (1.0 / 3 - 0.5) * (1.0 / 3 - 0.5) / (4.0 / 12);
  EXPECT_NEAR(q.chiSquare, chi, 1e-12);
}

TEST(SnpQuality, EqualCountsMakeTheFirstAlleleMinor) {
  SnpQuality q;
  computeSnpQuality(tallyOf({"A/A", "A/G", "G/G"}), q);
  EXPECT_EQ(q.alleleText, "G/A");
  EXPECT_EQ(q.frequencyText, "0.500/0.500");
  EXPECT_DOUBLE_EQ(q.minorAlleleFrequency, 0.5);
}

TEST(SnpQuality, MonomorphicGenotypeSetsMinorFrequencyToZero) {
  SnpQuality q;
  computeSnpQuality(tallyOf(repeat("A/G", 4)), q);
  EXPECT_EQ(q.distinctGenotypes, 1);
  EXPECT_EQ(q.frequencyText, "0.500/0.500");
  EXPECT_EQ(q.minorAlleleFrequency, 0.0);
}

TEST(SnpQuality, ThreeAllelesListedFromLargestCount) {
  // A/C, A/G, C/G, C/C, A/A, A/G: A 5, C 4, G 3 of 12.
  SnpQuality q;
  computeSnpQuality(tallyOf({"A/C", "A/G", "C/G", "C/C", "A/A", "A/G"}), q);
  EXPECT_EQ(q.alleleText, "A/C/G");
  EXPECT_EQ(q.frequencyText, "0.417/0.333/0.250");
  EXPECT_DOUBLE_EQ(q.minorAlleleFrequency, 0.25);
  EXPECT_NEAR(q.chiSquare, 361.0 / 600, 1e-12);
}

}  // namespace
