#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

#include "marlo/Phenotype.h"

namespace {

std::set<std::pair<std::string, std::string>> unorderedPairs(const Phenotype& ph) {
  std::set<std::pair<std::string, std::string>> pairs;
  for (int j = 0; j < ph.numPairs; ++j) {
    std::string a = ph.haplotype1(j), b = ph.haplotype2(j);
    if (b < a) std::swap(a, b);
    pairs.emplace(a, b);
  }
  return pairs;
}

}  // namespace

TEST(Phenotype, HomozygousEverywhereHasOnePairOfEqualHaplotypes) {
  Phenotype ph;
  ph.setGenotype("AACCGG", 3);
  EXPECT_EQ(ph.numMarkers, 3);
  EXPECT_EQ(ph.numHeterozygous, 0);
  EXPECT_EQ(ph.numPairs, 1);
  EXPECT_EQ(ph.haplotype1(0), "ACG");
  EXPECT_EQ(ph.haplotype2(0), "ACG");
  EXPECT_EQ(ph.count, 3);
  EXPECT_EQ(ph.memberIndex.size(), 3u);
  EXPECT_EQ(ph.memberId.size(), 3u);
  EXPECT_TRUE(ph.pairWeight.empty());
}

TEST(Phenotype, PairsFollowTheBitsOfTheirIndex) {
  // Heterozygous at markers 0, 2 and 3.
  Phenotype ph;
  ph.setGenotype("AGCCATGT", 1);
  ASSERT_EQ(ph.numHeterozygous, 3);
  ASSERT_EQ(ph.numPairs, 4);
  EXPECT_EQ(ph.haplotype1(0), "ACAG");
  EXPECT_EQ(ph.haplotype2(0), "GCTT");
  EXPECT_EQ(ph.haplotype1(1), "GCAG");
  EXPECT_EQ(ph.haplotype2(1), "ACTT");
  EXPECT_EQ(ph.haplotype1(2), "ACTG");
  EXPECT_EQ(ph.haplotype2(2), "GCAT");
  EXPECT_EQ(ph.haplotype1(3), "GCTG");
  EXPECT_EQ(ph.haplotype2(3), "ACAT");
  // The last heterozygous marker always gives haplotype1 the smaller letter.
  for (int j = 0; j < ph.numPairs; ++j) {
    EXPECT_EQ(ph.haplotype1(j)[3], 'G');
    EXPECT_EQ(ph.haplotype2(j)[3], 'T');
  }
}

TEST(Phenotype, EveryCompatibleUnorderedPairOccursOnce) {
  const std::string genotype = "ACGGATCTNN";  // heterozygous at 0, 2, 3
  Phenotype ph;
  ph.setGenotype(genotype, 1);
  ASSERT_EQ(ph.numPairs, 4);
  // All 2^3 phasings, each unordered pair counted once.
  std::set<std::pair<std::string, std::string>> expected;
  for (int mask = 0; mask < 8; ++mask) {
    std::string a = "AGACN", b = "CGTTN";
    int bit = 0;
    for (int m : {0, 2, 3}) {
      if ((mask >> bit++) & 1) std::swap(a[m], b[m]);
    }
    if (b < a) std::swap(a, b);
    expected.emplace(a, b);
  }
  EXPECT_EQ(expected.size(), 4u);
  EXPECT_EQ(unorderedPairs(ph), expected);
}

TEST(Phenotype, MissingAllelesAreLettersLikeAnyOther) {
  Phenotype nn;
  nn.setGenotype("NNAC", 1);
  EXPECT_EQ(nn.isHeterozygous[0], 0);
  EXPECT_EQ(nn.isHeterozygous[1], 1);
  EXPECT_EQ(nn.numPairs, 1);
  EXPECT_EQ(nn.haplotype1(0), "NA");
  EXPECT_EQ(nn.haplotype2(0), "NC");
  Phenotype an;
  an.setGenotype("AN", 1);
  EXPECT_EQ(an.numHeterozygous, 1);
  EXPECT_EQ(an.haplotype1(0), "A");
  EXPECT_EQ(an.haplotype2(0), "N");
}

TEST(Phenotype, PairCountLimits) {
  Phenotype ph;
  std::string g;
  for (int m = 0; m < 31; ++m) g += "AC";
  ph.setGenotype(g, 1);
  EXPECT_EQ(ph.numHeterozygous, 31);
  EXPECT_EQ(ph.numPairs, 1 << 30);
  g += "AC";
  ph.setGenotype(g, 1);
  EXPECT_EQ(ph.numHeterozygous, 32);
  EXPECT_EQ(ph.numPairs, Phenotype::kPairCountNotRepresentable);
}

TEST(Phenotype, ChromosomeWideRecordIsRefusedNotAllocated) {
  std::string g;
  for (int m = 0; m < 28501; ++m) g += (m % 3 == 0) ? "AG" : "CC";
  Phenotype ph;
  ph.setGenotype(g, 2);
  EXPECT_EQ(ph.numMarkers, 28501);
  EXPECT_EQ(ph.numHeterozygous, 9501);
  EXPECT_EQ(ph.numPairs, Phenotype::kPairCountNotRepresentable);
  EXPECT_TRUE(ph.pairWeight.empty());
  testing::internal::CaptureStdout();
  EXPECT_FALSE(ph.allocatePairWeights());
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("9501 heterozygous markers"), std::string::npos) << out;
  EXPECT_TRUE(ph.pairWeight.empty());
  // Pairs can still be named: the bits beyond the index are 0.
  EXPECT_EQ(ph.haplotype1(0).size(), 28501u);
}

TEST(Phenotype, SetGenotypeReleasesEarlierWeights) {
  Phenotype ph;
  ph.setGenotype("AGCT", 1);
  ASSERT_TRUE(ph.allocatePairWeights());
  EXPECT_EQ(ph.pairWeight.size(), 2u);
  for (double w : ph.pairWeight) EXPECT_EQ(w, 0.0);
  ph.setGenotype("AA", 4);
  EXPECT_TRUE(ph.pairWeight.empty());
  EXPECT_EQ(ph.memberIndex, std::vector<int>(4, 0));
}
