// Allele tables and sub-phenotypes over SNP lists, and the pair store that
// LD blocking reads.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common_sgt/Settings.h"
#include "ld/PairStore.h"
#include "ld/SubPhenotypes.h"
#include "test_pair_files.h"

namespace {

using pairtest::genoText;
using pairtest::load;
using pairtest::writeFile;

struct DebugGuard {
  int saved = g_debugLevel;
  ~DebugGuard() { g_debugLevel = saved; }
};

// Six individuals; the loaded groups are {0}, {1, 4}, {2}, {3}, {5}.
std::string sixIndividuals() {
  return genoText({"1", "1", "1", "1", "1", "1"},
                  {{"A/G", "A/A", "G/A", "N/N", "A/A", "A/N"},
                   {"C/C", "C/T", "C/C", "C/C", "T/C", "C/C"},
                   {"A/A", "A/A", "C/C", "A/A", "A/A", "A/A"}});
}

std::string text(const SnpAlleleTable& t) {
  std::string s;
  for (int a = 0; a < t.size(); ++a) s += std::string(1, t.alleles[a]) + std::to_string(t.counts[a]) + " ";
  return s;
}

TEST(PairAlleleTable, CountsEveryLetterOfTheSampleType) {
  GenoData data;
  ASSERT_TRUE(load(data, writeFile("six.geno", sixIndividuals()), "1"));
  // Half-missing A/N still gives its A; N/N gives nothing.
  EXPECT_EQ(text(buildAlleleTable(data, 0)), "A7 G2 ");
  EXPECT_EQ(text(buildAlleleTable(data, 1)), "C10 T2 ");
  const SnpAlleleTable mono = buildAlleleTable(data, 2);
  EXPECT_EQ(text(mono), "A10 C2 ");
  EXPECT_EQ(buildAlleleTable(data, 0).first(), 'A');
  EXPECT_EQ(buildAlleleTable(data, 0).second(), 'G');
}

TEST(PairAlleleTable, TiesGoToTheSmallerCodeAndASingleAlleleServesTwice) {
  // SNP 0: T 2, G 2, A 1, C 1 -> G T A C. SNP 1: only C. SNP 2: nothing.
  const std::string path = writeFile(
      "ties.geno", genoText({"x", "x", "x"}, {{"T/G", "G/T", "A/C"}, {"C/C", "C/C", "C/N"}, {"N/N", "N/N", "N/N"}}));
  GenoData data;
  ASSERT_TRUE(load(data, path, "x"));
  EXPECT_EQ(text(buildAlleleTable(data, 0)), "G2 T2 A1 C1 ");
  const SnpAlleleTable single = buildAlleleTable(data, 1);
  EXPECT_EQ(text(single), "C5 ");
  EXPECT_EQ(single.first(), 'C');
  EXPECT_EQ(single.second(), 'C');
  const SnpAlleleTable none = buildAlleleTable(data, 2);
  EXPECT_EQ(none.size(), 0);
  EXPECT_EQ(none.first(), 'N');
  EXPECT_EQ(none.second(), 'N');
}

TEST(PairAlleleTable, LargestCountFirstWhateverTheLetter) {
  // Three alleles, the largest count on the largest letter: G 4, A 1, C 1.
  const std::string path = writeFile("order.geno", genoText({"x", "x", "x"}, {{"G/G", "G/A", "G/C"}}));
  GenoData data;
  ASSERT_TRUE(load(data, path, "x"));
  EXPECT_EQ(text(buildAlleleTable(data, 0)), "G4 A1 C1 ");
}

TEST(PairSubPhenotypes, MergedInOrderOfFirstIndividualWithoutMissing) {
  GenoData data;
  ASSERT_TRUE(load(data, writeFile("six2.geno", sixIndividuals()), "1"));
  ASSERT_EQ(data.m_numpheno, 5);
  std::vector<Phenotype> subs;
  std::vector<int> of;
  buildSubPhenotypes(data, {0, 1}, subs, of);
  ASSERT_EQ(subs.size(), 2u);
  EXPECT_EQ(subs[0].genotype, "AGCC");  // individuals 0 and 2 (groups 0 and 2)
  EXPECT_EQ(subs[0].count, 2);
  EXPECT_EQ(subs[0].memberIndex, (std::vector<int>{0, 2}));
  EXPECT_EQ(subs[0].memberId, (std::vector<std::string>{"s1", "s3"}));
  EXPECT_EQ(subs[1].genotype, "AACT");
  EXPECT_EQ(subs[1].memberIndex, (std::vector<int>{1, 4}));
  EXPECT_EQ(subs[0].numMarkers, 2);
  EXPECT_EQ(subs[0].numHeterozygous, 1);
  EXPECT_EQ(of, (std::vector<int>{0, 1, 0, -1, 1, -1}));
}

TEST(PairSubPhenotypes, FollowTheOrderOfTheList) {
  GenoData data;
  ASSERT_TRUE(load(data, writeFile("six3.geno", sixIndividuals()), "1"));
  std::vector<Phenotype> subs;
  std::vector<int> of;
  buildSubPhenotypes(data, {2, 0}, subs, of);
  ASSERT_EQ(subs.size(), 3u);
  EXPECT_EQ(subs[0].genotype, "AAAG");
  EXPECT_EQ(subs[1].genotype, "AAAA");
  EXPECT_EQ(subs[1].count, 2);
  EXPECT_EQ(subs[2].genotype, "CCAG");
  buildSubPhenotypes(data, {1}, subs, of);
  ASSERT_EQ(subs.size(), 2u);
  EXPECT_EQ(subs[0].genotype, "CC");
  EXPECT_EQ(subs[0].count, 4);
  EXPECT_EQ(of, (std::vector<int>{0, 1, 0, 0, 1, 0}));
  buildSubPhenotypes(data, {}, subs, of);
  ASSERT_EQ(subs.size(), 1u);  // every individual has the empty genotype
  EXPECT_EQ(subs[0].count, 6);
}

TEST(PairSubPhenotypes, DebugLevelsPrintTheListTablesAndRecords) {
  DebugGuard guard;
  GenoData data;
  ASSERT_TRUE(load(data, writeFile("six4.geno", sixIndividuals()), "1"));
  std::vector<Phenotype> subs;
  std::vector<int> of;
  g_debugLevel = 1;
  testing::internal::CaptureStdout();
  buildSubPhenotypes(data, {0, 1}, subs, of);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "buildSubPhenotypes SNP list: 0 1\n");
  g_debugLevel = 2;
  testing::internal::CaptureStdout();
  buildSubPhenotypes(data, {0, 1}, subs, of);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "buildSubPhenotypes SNP list: 0 1\n"
            "Allele Frequency Table:\n"
            "  SNP[0] rs1: A=7 G=2\n"
            "  SNP[1] rs2: C=10 T=2\n"
            "Individual Phenotype:\n"
            "  pheno[0]=AGCC*2\n"
            "  pheno[1]=AACT*2\n");
  g_debugLevel = 0;
  testing::internal::CaptureStdout();
  buildSubPhenotypes(data, {0, 1}, subs, of);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(PairStoreRows, FindsWhatWasAddedAndNothingElse) {
  PairStore store(5);
  store.add(0, 1, {0.5, 0.01, 0.2});
  store.add(0, 2, {0.6, 0.02, 0.3});
  store.add(2, 3, {0.7, 0.03, 0.4});
  EXPECT_EQ(store.pairCount(), 3);
  EXPECT_EQ(store.snpCount(), 5);
  ASSERT_NE(store.find(0, 2), nullptr);
  EXPECT_EQ(store.find(0, 2)->absDprime, 0.6);
  EXPECT_EQ(store.find(0, 2)->varDprime, 0.02);
  EXPECT_EQ(store.find(0, 2)->minorFreq, 0.3);
  EXPECT_EQ(store.find(2, 3)->absDprime, 0.7);
  EXPECT_EQ(store.find(0, 3), nullptr);  // beyond the row
  EXPECT_EQ(store.find(1, 2), nullptr);  // empty row
  EXPECT_EQ(store.find(2, 0), nullptr);  // wrong order
  EXPECT_EQ(store.find(4, 5), nullptr);
  EXPECT_EQ(store.find(-1, 2), nullptr);
  // A pair that does not continue its row is refused.
  store.add(0, 4, {0.9, 0.0, 0.1});
  store.add(3, 3, {0.9, 0.0, 0.1});
  EXPECT_EQ(store.find(0, 4), nullptr);
  EXPECT_EQ(store.pairCount(), 3);
  store.reset(2);
  EXPECT_EQ(store.pairCount(), 0);
  EXPECT_EQ(store.find(0, 1), nullptr);
}

TEST(PairStoreRows, ReservationShowsInTheBytes) {
  PairStore store(10);
  const int64_t before = store.reservedBytes();
  store.reserve(1000);
  EXPECT_GE(store.reservedBytes(), before + 1000 * static_cast<int64_t>(sizeof(PairLDSummary)));
  PairStore empty;
  EXPECT_EQ(empty.snpCount(), 0);
  EXPECT_EQ(empty.find(0, 1), nullptr);
}

}  // namespace
