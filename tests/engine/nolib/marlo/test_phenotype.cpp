#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "marlo/Phenotype.h"

namespace {

std::vector<std::string> pairsOf(const std::string& genotype) {
  Phenotype ph;
  ph.setGenotype(genotype, 1);
  std::vector<std::string> out;
  for (int j = 0; j < ph.numPairs; ++j) out.push_back(ph.haplotype1(j) + "|" + ph.haplotype2(j));
  return out;
}

}  // namespace

TEST(Phenotype, PairsFollowTheBitsOfTheirIndex) {
  // Bit b of j swaps the letters at the b-th heterozygous marker; the last
  // one never swaps, so haplotype1 keeps its smaller letter there.
  EXPECT_EQ(pairsOf("AGCCATGT"), (std::vector<std::string>{"ACAG|GCTT", "GCAG|ACTT", "ACTG|GCAT", "GCTG|ACAT"}));
  EXPECT_EQ(pairsOf("AACCGG"), (std::vector<std::string>{"ACG|ACG"}));
  // N is a letter like any other: NN is homozygous, AN heterozygous.
  EXPECT_EQ(pairsOf("NNAC"), (std::vector<std::string>{"NA|NC"}));
  EXPECT_EQ(pairsOf("AN"), (std::vector<std::string>{"A|N"}));

  Phenotype ph;
  ph.setGenotype("NNAC", 3);
  EXPECT_EQ(ph.isHeterozygous, (std::vector<unsigned char>{0, 1}));
  EXPECT_EQ(ph.numHeterozygous, 1);
  EXPECT_EQ(ph.numMarkers, 2);
  EXPECT_EQ(ph.memberIndex.size(), 3u);
  EXPECT_EQ(ph.memberId.size(), 3u);
  EXPECT_TRUE(ph.pairWeight.empty());
}

TEST(Phenotype, PairCountLimits) {
  auto heterozygous = [](int n) {
    std::string g;
    for (int m = 0; m < n; ++m) g += "AC";
    return g + "GG";
  };
  Phenotype ph;
  ph.setGenotype(heterozygous(31), 1);
  EXPECT_EQ(ph.numPairs, 1 << 30);
  ph.setGenotype(heterozygous(32), 1);
  EXPECT_EQ(ph.numHeterozygous, 32);
  EXPECT_EQ(ph.numPairs, Phenotype::kPairCountNotRepresentable);
  // Such a record is refused, never allocated; its pairs can still be named
  // (index bits beyond 63 are 0).
  ph.setGenotype(heterozygous(70), 2);
  testing::internal::CaptureStdout();
  EXPECT_FALSE(ph.allocatePairWeights());
  EXPECT_NE(testing::internal::GetCapturedStdout().find("70 heterozygous markers"), std::string::npos);
  EXPECT_TRUE(ph.pairWeight.empty());
  EXPECT_EQ(ph.haplotype1(3), "CC" + std::string(68, 'A') + "G");
  EXPECT_EQ(ph.haplotype2(3), "AA" + std::string(68, 'C') + "G");
}

TEST(Phenotype, SetGenotypeReplacesTheRecord) {
  Phenotype ph;
  ph.setGenotype("AGCT", 1);
  ASSERT_TRUE(ph.allocatePairWeights());
  EXPECT_EQ(ph.pairWeight, (std::vector<double>{0.0, 0.0}));
  ph.memberIndex[0] = 7;
  ph.setGenotype("AA", 4);
  EXPECT_TRUE(ph.pairWeight.empty());
  EXPECT_EQ(ph.memberIndex, std::vector<int>(4, 0));
  EXPECT_EQ(ph.numPairs, 1);
}
