// Per-SNP statistics where a rule is easy to get subtly wrong. Allele texts,
// frequencies, mono-morphic SNPs and the no-allele row are pinned by
// tests/e2e/cases/preflag.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <cstring>
#include <string>
#include <vector>

#include "hwe/SnpQuality.h"

namespace {

// Genotypes as written in a genotype file ("N/N" is missing), with counts.
GenotypeTally tallyOf(std::initializer_list<std::pair<const char*, int>> parts) {
  GenotypeTally t;
  for (const auto& [g, n] : parts)
    for (int i = 0; i < n; ++i) {
      if (std::string(g) == "N/N")
        t.addMissing();
      else
        t.add(g[0], g[1], g[2]);
    }
  return t;
}

TEST(SnpQuality, ShellSortMovesAnAlleleOnlyPastStrictlyGreaterCounts) {
  struct Case {
    std::vector<AlleleCount> alleles;
    const char* sorted;
  } cases[] = {
      {{{"A", 3}, {"G", 3}}, "AG"},
      // Up to four alleles the only gap is 1: equal counts keep their order.
      {{{"T", 2}, {"A", 1}, {"C", 2}, {"G", 1}}, "AGTC"},
      // Five alleles: gaps 4 then 1. With gap 4, e (count 1) moves past a
      // (count 5) to the front, ahead of b, c and d although it came last.
      {{{"a", 5}, {"b", 1}, {"c", 1}, {"d", 1}, {"e", 1}}, "ebcda"},
      // Equal counts at distance 4 stay.
      {{{"a", 1}, {"b", 2}, {"c", 2}, {"d", 2}, {"e", 1}}, "aebcd"},
  };
  for (Case& c : cases) {
    shellSortAlleles(c.alleles);
    std::string texts;
    for (const AlleleCount& a : c.alleles) texts += a.text;
    EXPECT_EQ(texts, c.sorted);
  }
  std::vector<AlleleCount> many;
  for (int i = 0; i < 30; ++i) many.push_back({std::string(1, static_cast<char>('A' + i % 26)), (i * 17) % 11});
  shellSortAlleles(many);
  for (size_t i = 1; i < many.size(); ++i) EXPECT_LE(many[i - 1].count, many[i].count);
}

TEST(SnpQuality, OtherSeparatorsGiveOneAllelePerGenotype) {
  std::vector<AlleleCount> alleles;
  countAlleles(tallyOf({{"A|G", 2}}), alleles);
  ASSERT_EQ(alleles.size(), 1u);
  EXPECT_EQ(alleles[0].text, "A|G");
  EXPECT_EQ(alleles[0].count, 2);
  // A slash as an allele letter vanishes like an empty piece.
  countAlleles(tallyOf({{"//A", 1}}), alleles);
  ASSERT_EQ(alleles.size(), 1u);
  EXPECT_EQ(alleles[0].text, "A");
}

TEST(SnpQuality, ContinuityCorrectionOnlyWhenAnExpectedCountIsBelowFive) {
  // A/A 12, A/G 16, G/G 12: expected 10, 20, 10; chi = 0.4 + 0.8 + 0.4.
  SnpQuality q;
  computeSnpQuality(tallyOf({{"A/A", 12}, {"A/G", 16}, {"G/G", 12}}), q);
  EXPECT_FALSE(q.yates);
  EXPECT_DOUBLE_EQ(q.chiSquare, 1.6);
  EXPECT_EQ(q.df, 1);
  EXPECT_NEAR(q.pValue, std::erfc(std::sqrt(1.6 / 2)), 1e-15);
  // Expected 5 exactly is not below 5: A/A 6, A/G 8, G/G 6 gives 5, 10, 5.
  computeSnpQuality(tallyOf({{"A/A", 6}, {"A/G", 8}, {"G/G", 6}}), q);
  ASSERT_DOUBLE_EQ(q.expected[0].expected, 5.0);
  EXPECT_FALSE(q.yates);
  EXPECT_DOUBLE_EQ(q.chiSquare, 1.0 / 5 + 4.0 / 10 + 1.0 / 5);
  // A/A 30, A/G 8, G/G 2: A 68, G 12 of 80, expected 28.9, 10.2 and 0.9;
  // 0.9 < 5 corrects all three cells: 0.6^2/28.9 + 1.7^2/10.2 + 0.6^2/0.9.
  computeSnpQuality(tallyOf({{"A/A", 30}, {"A/G", 8}, {"G/G", 2}}), q);
  EXPECT_TRUE(q.yates);
  ASSERT_EQ(q.expected.size(), 3u);
  EXPECT_NEAR(q.expected[2].expected, 0.9, 1e-12);
  EXPECT_NEAR(q.chiSquare, 0.36 / 28.9 + 2.89 / 10.2 + 0.36 / 0.9, 1e-12);
}

TEST(SnpQuality, FourAllelesGiveTenCellsAndSixDegreesOfFreedom) {
  SnpQuality q;
  computeSnpQuality(tallyOf({{"A/C", 1}, {"G/T", 1}}), q);
  EXPECT_EQ(q.expected.size(), 10u);
  EXPECT_EQ(q.df, 6);
}

TEST(SnpQuality, ExpectedNameFallsBackToTheReversedGenotype) {
  // Alleles in order of first appearance G, A: the pair (G, A) is named
  // G/A, which was not observed (it is stored as A/G), so it takes A/G.
  SnpQuality q;
  computeSnpQuality(tallyOf({{"G/G", 1}, {"A/G", 1}, {"G/A", 1}}), q);
  ASSERT_EQ(q.expected.size(), 3u);
  EXPECT_EQ(q.expected[0].name, "G/G");
  EXPECT_EQ(q.expected[1].name, "A/G");
  EXPECT_EQ(q.expected[2].name, "A/A");
  // G 4, A 2 of 6: E = 16/12, 8/6, 4/12; O = 1, 2, 0; every |O - E| is
  // corrected by 0.5.
  double d1 = 1.0 / 3 - 0.5, d2 = 2.0 / 3 - 0.5;
  EXPECT_NEAR(q.chiSquare, d1 * d1 / (16.0 / 12) + d2 * d2 / (8.0 / 6) + d1 * d1 / (4.0 / 12), 1e-12);
}

// Nearly every SNP takes the route for one-byte alleles; it must give what
// the route for alleles of any length gives, field by field and bit by bit:
// ties in allele counts (the sort's order), expected counts at and below 5,
// genotypes written either way round, one allele, none, up to six.
TEST(SnpQuality, OneByteAllelesGiveWhatTheGeneralRouteGives) {
  std::mt19937 rng(29);
  const char letters[] = {'A', 'C', 'G', 'T', '0', '-'};
  auto same = [](double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; };
  for (int round = 0; round < 20000; ++round) {
    GenotypeTally t;
    const int alleleKinds = 1 + static_cast<int>(rng() % 6);
    const int genotypes = static_cast<int>(rng() % 8);
    for (int k = 0; k < genotypes; ++k) {
      const char a = letters[rng() % alleleKinds], b = letters[rng() % alleleKinds];
      const int n = rng() % 3 == 0 ? 1 + static_cast<int>(rng() % 4) : static_cast<int>(rng() % 300);
      if (n) t.add(a, '/', b, n);
    }
    if (rng() % 3 == 0) t.addMissing(static_cast<int>(rng() % 10));
    SnpQuality fast, general;
    computeSnpQuality(t, fast);
    computeSnpQualityAnyAlleles(t, general);
    ASSERT_EQ(fast.missing, general.missing);
    ASSERT_EQ(fast.valid, general.valid);
    ASSERT_EQ(fast.total, general.total);
    ASSERT_TRUE(same(fast.callRate, general.callRate));
    ASSERT_EQ(fast.alleleTotal, general.alleleTotal);
    ASSERT_EQ(fast.alleleCount, general.alleleCount);
    ASSERT_EQ(fast.distinctGenotypes, general.distinctGenotypes);
    ASSERT_EQ(fast.alleles.size(), general.alleles.size());
    for (size_t i = 0; i < fast.alleles.size(); ++i) {
      ASSERT_EQ(fast.alleles[i].text, general.alleles[i].text);
      ASSERT_EQ(fast.alleles[i].count, general.alleles[i].count);
    }
    ASSERT_EQ(fast.expected.size(), general.expected.size());
    for (size_t i = 0; i < fast.expected.size(); ++i) {
      ASSERT_EQ(fast.expected[i].name, general.expected[i].name);
      ASSERT_TRUE(same(fast.expected[i].expected, general.expected[i].expected));
    }
    ASSERT_EQ(fast.yates, general.yates);
    ASSERT_TRUE(same(fast.chiSquare, general.chiSquare)) << round;
    ASSERT_EQ(fast.df, general.df);
    ASSERT_TRUE(same(fast.pValue, general.pValue));
    ASSERT_TRUE(same(fast.minorAlleleFrequency, general.minorAlleleFrequency));
    ASSERT_EQ(fast.alleleText, general.alleleText);
    ASSERT_EQ(fast.frequencyText, general.frequencyText);
  }
}

}  // namespace
