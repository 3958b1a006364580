// Allele tables and sub-phenotypes over SNP lists, and the pair store that
// LD blocking reads.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ld/PairStore.h"
#include "ld/SubPhenotypes.h"
#include "test_pair_files.h"

namespace {

using pairtest::genoText;
using pairtest::load;
using pairtest::writeFile;

std::string text(const SnpAlleleTable& t) {
  std::string s;
  for (int a = 0; a < t.size(); ++a) s += std::string(1, t.alleles[a]) + std::to_string(t.counts[a]) + " ";
  return s + t.first() + t.second();
}

TEST(PairAlleleTable, LargestCountFirstTiesToTheSmallerCode) {
  // SNP 0: T 2, G 2, A 1, C 1. SNP 1: G 4 then A 1, C 1 (the largest count
  // on the largest letter). SNP 2: only C (it serves as both alleles); the
  // half-missing C/N still gives its C. SNP 3: nothing.
  GenoData data;
  ASSERT_TRUE(load(data,
                   writeFile("ties.geno", genoText({"x", "x", "x"}, {{"T/G", "G/T", "A/C"},
                                                                     {"G/G", "G/A", "G/C"},
                                                                     {"C/C", "C/C", "C/N"},
                                                                     {"N/N", "N/N", "N/N"}})),
                   "x"));
  EXPECT_EQ(text(buildAlleleTable(data, 0)), "G2 T2 A1 C1 GT");
  EXPECT_EQ(text(buildAlleleTable(data, 1)), "G4 A1 C1 GA");
  EXPECT_EQ(text(buildAlleleTable(data, 2)), "C5 CC");
  EXPECT_EQ(text(buildAlleleTable(data, 3)), "NN");
}

TEST(PairSubPhenotypes, MergedInOrderOfFirstIndividualWithoutMissing) {
  // Six individuals; the loaded groups are {0}, {1, 4}, {2}, {3}, {5}:
  // individuals 0 and 2 differ only at SNP 2.
  GenoData data;
  ASSERT_TRUE(load(data,
                   writeFile("six.geno", genoText({"1", "1", "1", "1", "1", "1"},
                                                  {{"A/G", "A/A", "G/A", "N/N", "A/A", "A/N"},
                                                   {"C/C", "C/T", "C/C", "C/C", "T/C", "C/C"},
                                                   {"A/A", "A/A", "C/C", "A/A", "A/A", "A/A"}})),
                   "1"));
  ASSERT_EQ(data.m_numpheno, 5);
  std::vector<Phenotype> subs;
  std::vector<int> of;
  buildSubPhenotypes(data, {0, 1}, subs, of);
  ASSERT_EQ(subs.size(), 2u);
  EXPECT_EQ(subs[0].genotype, "AGCC");  // individuals 0 and 2 (groups 0 and 2)
  EXPECT_EQ(subs[0].count, 2);
  EXPECT_EQ(subs[0].memberIndex, (std::vector<int>{0, 2}));
  EXPECT_EQ(subs[0].memberId, (std::vector<std::string>{"s1", "s3"}));
  EXPECT_EQ(subs[0].numHeterozygous, 1);
  EXPECT_EQ(subs[1].genotype, "AACT");
  EXPECT_EQ(subs[1].memberIndex, (std::vector<int>{1, 4}));
  EXPECT_EQ(of, (std::vector<int>{0, 1, 0, -1, 1, -1}));
  // Missing only counts at the listed SNPs.
  buildSubPhenotypes(data, {1}, subs, of);
  ASSERT_EQ(subs.size(), 2u);
  EXPECT_EQ(subs[0].genotype, "CC");
  EXPECT_EQ(subs[0].count, 4);
  EXPECT_EQ(of, (std::vector<int>{0, 1, 0, 0, 1, 0}));
}

TEST(PairStoreRows, FindsWhatWasAddedAndNothingElse) {
  PairStore store(5);
  store.add(0, 1, {0.5, 0.01, 0.2});
  store.add(0, 2, {0.6, 0.02, 0.3});
  store.add(2, 3, {0.7, 0.03, 0.4});
  ASSERT_NE(store.find(0, 2), nullptr);
  EXPECT_EQ(store.find(0, 2)->absDprime, 0.6);
  EXPECT_EQ(store.find(0, 2)->varDprime, 0.02);
  EXPECT_EQ(store.find(0, 2)->minorFreq, 0.3);
  EXPECT_EQ(store.find(2, 3)->absDprime, 0.7);
  for (auto [i, j] : {std::pair{0, 3} /* beyond the row */, {1, 2} /* empty row */, {2, 0}, {4, 5}, {-1, 2}})
    EXPECT_EQ(store.find(i, j), nullptr) << i << "," << j;
  // A pair that does not continue its row is refused.
  store.add(0, 4, {0.9, 0.0, 0.1});
  store.add(3, 3, {0.9, 0.0, 0.1});
  EXPECT_EQ(store.find(0, 4), nullptr);
  EXPECT_EQ(store.pairCount(), 3);
  store.reserve(1000);
  EXPECT_GE(store.reservedBytes(), 1000 * static_cast<int64_t>(sizeof(PairLDSummary)));
  store.reset(2);
  EXPECT_EQ(store.pairCount(), 0);
  EXPECT_EQ(store.find(0, 1), nullptr);
}

}  // namespace
