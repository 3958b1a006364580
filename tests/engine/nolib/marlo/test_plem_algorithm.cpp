#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "common_sgt/Settings.h"
#include "marlo/PLEMAlgorithm.h"
#include "test_plem_reference.h"

namespace plemtest {

std::vector<Phenotype> makePhenotypes(const std::vector<std::pair<std::string, int>>& entries) {
  std::vector<Phenotype> ph(entries.size());
  int next = 0;
  for (size_t p = 0; p < entries.size(); ++p) {
    ph[p].setGenotype(entries[p].first, entries[p].second);
    for (int m = 0; m < entries[p].second; ++m) {
      ph[p].memberIndex[m] = next;
      ph[p].memberId[m] = "i" + std::to_string(next);
      ++next;
    }
  }
  return ph;
}

}  // namespace plemtest

namespace {

using plemtest::makePhenotypes;

// Genotype text of one individual from its two haplotypes.
std::string genotypeOf(const std::string& a, const std::string& b) {
  std::string g;
  for (size_t m = 0; m < a.size(); ++m) {
    g += std::min(a[m], b[m]);
    g += std::max(a[m], b[m]);
  }
  return g;
}

// Individuals given as haplotype pairs, grouped by genotype in order of
// first appearance.
std::vector<Phenotype> fromPairs(const std::vector<std::pair<std::string, std::string>>& individuals) {
  std::vector<std::pair<std::string, int>> entries;
  for (const auto& [a, b] : individuals) {
    const std::string g = genotypeOf(a, b);
    auto it = std::find_if(entries.begin(), entries.end(), [&](const auto& e) { return e.first == g; });
    if (it == entries.end())
      entries.emplace_back(g, 1);
    else
      ++it->second;
  }
  return makePhenotypes(entries);
}

// Fixes the random starts of the block EMs for the duration of a test.
class SeedScope {
 public:
  explicit SeedScope(uint32_t seed) : m_given(g_seedGiven), m_value(g_seedValue) {
    g_seedGiven = true;
    g_seedValue = seed;
  }
  ~SeedScope() {
    g_seedGiven = m_given;
    g_seedValue = m_value;
  }

 private:
  bool m_given;
  uint32_t m_value;
};

class DebugScope {
 public:
  explicit DebugScope(int level) : m_level(g_debugLevel) { g_debugLevel = level; }
  ~DebugScope() { g_debugLevel = m_level; }

 private:
  int m_level;
};

// Gives the tests the steps of the estimator.
class PlemProbe : public PLEMAlgorithm {
 public:
  using PLEMAlgorithm::buildBlockPhenotypes;
  using PLEMAlgorithm::ligate;
  // One join of two hand-made blocks over all markers (the last join).
  bool joinBlocks(const std::vector<std::string>& left, const std::vector<std::string>& right) {
    blocks.assign(2, BlockHaplotypeSet());
    std::string l, r;
    for (const auto& h : left) l += h;
    for (const auto& h : right) r += h;
    blocks[0].set(static_cast<int>(left.size()), std::move(l), blockLength);
    blocks[1].set(static_cast<int>(right.size()), std::move(r), numMarkers - blockLength);
    numBlocks = 2;
    BlockHaplotypeSet scratch;
    return ligate(0, scratch);
  }
};

std::vector<std::string> texts(const BlockHaplotypeSet& set) {
  std::vector<std::string> out;
  for (int i = 0; i < set.numHaplotypes; ++i) out.push_back(set.text(i));
  return out;
}

using Options = std::vector<std::pair<int, int>>;

}  // namespace

TEST(PLEMAlgorithm, ConstructedSettings) {
  PLEMAlgorithm plem;
  EXPECT_EQ(plem.blockLength, 10);
  EXPECT_EQ(plem.plemEps, 0.00001);
  EXPECT_EQ(plem.ligationEps, 1.0);
  EXPECT_EQ(plem.numBlockPhenotypes, 0);
  EXPECT_TRUE(plem.ligationRecords.empty());
  EXPECT_TRUE(plem.blocks.empty());
  HaplotypePair r;
  r.probability = 7.0;
  plem.getBestPair(0, r);
  EXPECT_EQ(r.haplotype1, "");
  EXPECT_EQ(r.probability, 0.0);
}

TEST(PLEMAlgorithm, ComplementHaplotype) {
  std::string c;
  // Markers A/G, C/C, N/T, A/N.
  const std::string g = "AGCCNTAN";
  EXPECT_TRUE(PLEMAlgorithm::complementHaplotype(g, 0, 4, "ACTA", c));
  EXPECT_EQ(c, "GCNN");
  EXPECT_TRUE(PLEMAlgorithm::complementHaplotype(g, 0, 4, "GCNN", c));
  EXPECT_EQ(c, "ACTA");
  // A letter that is neither of the marker's: no complement.
  EXPECT_FALSE(PLEMAlgorithm::complementHaplotype(g, 0, 4, "ATTA", c));
  EXPECT_EQ(c, "");
  // A range inside the genotype; the haplotype starts at the range.
  EXPECT_TRUE(PLEMAlgorithm::complementHaplotype(g, 2, 4, "NA", c));
  EXPECT_EQ(c, "TN");
  EXPECT_FALSE(PLEMAlgorithm::complementHaplotype(g, 1, 2, "A", c));
  // An empty range is its own complement; a range beyond the genotype is not.
  EXPECT_TRUE(PLEMAlgorithm::complementHaplotype(g, 2, 2, "", c));
  EXPECT_EQ(c, "");
  EXPECT_FALSE(PLEMAlgorithm::complementHaplotype(g, 3, 5, "AA", c));
}

TEST(PLEMAlgorithm, BlockPhenotypesAreDistinctCutsWithSummedCounts) {
  auto ph = makePhenotypes({{"AGCCTT", 2}, {"AACCTT", 1}, {"AGCCGT", 3}, {"AACCGG", 4}});
  PlemProbe plem;
  plem.setData(ph.data(), 3, 4, 10);
  plem.buildBlockPhenotypes(0, 2);
  ASSERT_EQ(plem.numBlockPhenotypes, 2);
  EXPECT_EQ(plem.blockPhenotypes[0].genotype, "AGCC");
  EXPECT_EQ(plem.blockPhenotypes[0].count, 5);
  EXPECT_EQ(plem.blockPhenotypes[1].genotype, "AACC");
  EXPECT_EQ(plem.blockPhenotypes[1].count, 5);
  EXPECT_EQ(plem.blockPhenotypes[1].numHeterozygous, 0);
  plem.buildBlockPhenotypes(2, 1);
  ASSERT_EQ(plem.numBlockPhenotypes, 3);
  EXPECT_EQ(plem.blockPhenotypes[0].genotype, "TT");
  EXPECT_EQ(plem.blockPhenotypes[0].count, 3);
  EXPECT_EQ(plem.blockPhenotypes[1].genotype, "GT");
  EXPECT_EQ(plem.blockPhenotypes[2].genotype, "GG");
}

TEST(PLEMAlgorithm, OptionListsByHand) {
  // Left markers A/G, C/T; right markers A/A, C/T.
  auto ph = makePhenotypes({{"AGCTAACT", 1}});
  PlemProbe plem;
  plem.setData(ph.data(), 4, 1, 1);
  plem.blockLength = 2;
  // Left: AT pairs with GC (index 3), AC with GT (2); GT and GC are then
  // members already; AA fits no marker pair. Right: AT with AC and AC with
  // AT (both orders); GG does not fit.
  ASSERT_TRUE(plem.joinBlocks({"AT", "AC", "GT", "GC", "AA"}, {"AT", "GG", "AC"}));
  ASSERT_EQ(plem.ligationRecords.size(), 1u);
  const LigationRecord& rec = plem.ligationRecords[0];
  EXPECT_EQ(rec.leftOptions, (Options{{0, 3}, {1, 2}}));
  EXPECT_EQ(rec.rightOptions, (Options{{0, 2}, {2, 0}}));
  EXPECT_EQ(rec.numLeft, 2);
  EXPECT_EQ(rec.numRight, 2);
  EXPECT_EQ(rec.count, 1);
  EXPECT_EQ(rec.weight.size(), 4u);
  // All eight haplotypes have the same frequency, so every combination ends
  // at 1/4 and the last one wins: k = 3, left option (1,2) = AC|GT with right
  // option (2,0) = AC|AT: H1 = ACAC, H2 = GTAT.
  for (double w : rec.weight) EXPECT_EQ(w, 0.25);
  EXPECT_EQ(rec.bestHaplotype1, "ACAC");
  EXPECT_EQ(rec.bestHaplotype2, "GTAT");
  EXPECT_EQ(rec.bestProbability, 0.25);
}

TEST(PLEMAlgorithm, ComplementMissingFromTheListGivesNoOption) {
  auto ph = makePhenotypes({{"AGCTAACT", 1}});
  PlemProbe plem;
  plem.setData(ph.data(), 4, 1, 1);
  plem.blockLength = 2;
  // AT's complement GC is not listed; GT's complement AC is, at index 1.
  ASSERT_TRUE(plem.joinBlocks({"AT", "GT", "AC"}, {"AC", "AT"}));
  EXPECT_EQ(plem.ligationRecords[0].leftOptions, (Options{{1, 2}}));
  EXPECT_EQ(plem.ligationRecords[0].rightOptions, (Options{{0, 1}, {1, 0}}));
}

TEST(PLEMAlgorithm, HomozygousLeftReportsTheWholeUnorderedPair) {
  // Homozygous over the left block, heterozygous at one right marker: the
  // two orders of the right option are one pair, reported with their summed
  // weight, and the lower haplotype comes first.
  auto ph = makePhenotypes({{"AACCCT", 1}});
  PlemProbe plem;
  plem.setData(ph.data(), 3, 1, 1);
  plem.blockLength = 2;
  ASSERT_TRUE(plem.joinBlocks({"AC"}, {"T", "C"}));
  const LigationRecord& rec = plem.ligationRecords[0];
  EXPECT_EQ(rec.leftOptions, (Options{{0, 0}}));
  EXPECT_EQ(rec.rightOptions, (Options{{0, 1}, {1, 0}}));
  EXPECT_EQ(rec.weight, (std::vector<double>{0.5, 0.5}));
  // Equal weights: the last combination wins, H1 = ACC, H2 = ACT.
  EXPECT_EQ(rec.bestHaplotype1, "ACC");
  EXPECT_EQ(rec.bestHaplotype2, "ACT");
  EXPECT_EQ(rec.bestProbability, 1.0);
  HaplotypePair r;
  plem.getBestPair(0, r);
  EXPECT_EQ(r.haplotype1, "ACC");
  EXPECT_EQ(r.haplotype2, "ACT");
  EXPECT_EQ(r.probability, 1.0);
  double total = 0.0;
  plem.expectedCount("ACT", total);
  EXPECT_EQ(total, 1.0);
}

TEST(PLEMAlgorithm, BestPairPutsTheLowerHaplotypeFirst) {
  // Right list C, T: options (0,1) = C|T and (1,0) = T|C; the last wins, so
  // H1 = ACT and H2 = ACC, reported the other way round.
  auto ph = makePhenotypes({{"AACCCT", 1}});
  PlemProbe plem;
  plem.setData(ph.data(), 3, 1, 1);
  plem.blockLength = 2;
  ASSERT_TRUE(plem.joinBlocks({"AC"}, {"C", "T"}));
  EXPECT_EQ(plem.ligationRecords[0].bestHaplotype1, "ACT");
  EXPECT_EQ(plem.ligationRecords[0].bestHaplotype2, "ACC");
  HaplotypePair r;
  plem.getBestPair(0, r);
  EXPECT_EQ(r.haplotype1, "ACC");
  EXPECT_EQ(r.haplotype2, "ACT");
  // Byte order, and a proper prefix would be lower: N sorts after C and T.
  auto ph2 = makePhenotypes({{"AACCNT", 1}});
  PlemProbe plem2;
  plem2.setData(ph2.data(), 3, 1, 1);
  plem2.blockLength = 2;
  ASSERT_TRUE(plem2.joinBlocks({"AC"}, {"N", "T"}));
  plem2.getBestPair(0, r);
  EXPECT_EQ(r.haplotype1, "ACN");
  EXPECT_EQ(r.haplotype2, "ACT");
  EXPECT_LT(std::string("ACN"), std::string("ACT"));
  // Outside the records: empty.
  plem2.getBestPair(1, r);
  EXPECT_EQ(r.haplotype1, "");
  EXPECT_EQ(r.haplotype2, "");
  EXPECT_EQ(r.probability, 0.0);
  plem2.getBestPair(-1, r);
  EXPECT_EQ(r.probability, 0.0);
}

TEST(PLEMAlgorithm, HomozygousOverBothBlocksCountsTwice) {
  // S = 1 with H1 = H2: the one weight goes to the haplotype once with m = 2.
  // Two genotypes: AA CC | GG (count 3) and AG CT | GG (count 1), N = 4.
  auto ph = makePhenotypes({{"AACCGG", 3}, {"AGCTGG", 1}});
  PlemProbe plem;
  plem.setData(ph.data(), 3, 2, 4);
  plem.blockLength = 2;
  plem.ligationEps = 100.0;  // one maximisation step
  ASSERT_TRUE(plem.joinBlocks({"AC", "GT"}, {"G"}));
  const LigationRecord& a = plem.ligationRecords[0];
  const LigationRecord& b = plem.ligationRecords[1];
  ASSERT_EQ(a.weight.size(), 1u);
  ASSERT_EQ(b.weight.size(), 1u);
  // f(ACG) = 2 * (3/4) * 0.5 + (1/4) * 0.5 = 0.875, f(GTG) = 0.125.
  // Final weights: 1 each after normalising.
  EXPECT_EQ(a.weight[0], 1.0);
  EXPECT_EQ(b.weight[0], 1.0);
  double total = 0.0;
  plem.expectedCount("ACG", total);
  EXPECT_EQ(total, 7.0);  // 3 * 1 twice, 1 * 1 once
  total = 0.0;
  plem.expectedCount("GTG", total);
  EXPECT_EQ(total, 1.0);
  total = 0.0;
  plem.expectedCount("ACT", total);
  EXPECT_EQ(total, 0.0);
  plem.expectedCount("AC", total);
  EXPECT_EQ(total, 0.0);
  // A non-zero start adds to it.
  total = 0.5;
  plem.expectedCount("ACG", total);
  EXPECT_EQ(total, 7.5);
}

TEST(PLEMAlgorithm, JoinArithmeticByHand) {
  // Genotypes (left A/G, right C/T): AG|CT count 1 and AA|CC count 1, N = 2,
  // P = 2. Lists: left A, G; right C, T.
  // Record 0: left (A,G), right (C,T),(T,C): ACGT and ATGC combinations.
  // Record 1: left (A,A), right (C,C): S = 1, ACAC.
  // Step 1: w = 1/2, 1/2 and 1; factors 1/2 and 1/2: f(AC) = 0.125 + 0.5 =
  // 0.625, f(GT) = f(AT) = f(GC) = 0.125. L = ln 3 - 0 + 0 = 1.0986.
  // With ligationEps 2 the loop stops; posteriors 0.625*0.125 and 0.125^2
  // normalised: 5/6 and 1/6.
  auto ph = makePhenotypes({{"AGCT", 1}, {"AACC", 1}});
  PlemProbe plem;
  plem.setData(ph.data(), 2, 2, 2);
  plem.blockLength = 1;
  plem.ligationEps = 2.0;
  ASSERT_TRUE(plem.joinBlocks({"A", "G"}, {"C", "T"}));
  EXPECT_EQ(plem.joinFigures.back().iterations, 1);
  const LigationRecord& r0 = plem.ligationRecords[0];
  EXPECT_EQ(r0.leftOptions, (Options{{0, 1}}));
  EXPECT_EQ(r0.rightOptions, (Options{{0, 1}, {1, 0}}));
  EXPECT_DOUBLE_EQ(r0.weight[0], 5.0 / 6.0);
  EXPECT_DOUBLE_EQ(r0.weight[1], 1.0 / 6.0);
  EXPECT_EQ(r0.bestHaplotype1, "AC");
  EXPECT_EQ(r0.bestHaplotype2, "GT");
  EXPECT_DOUBLE_EQ(r0.bestProbability, 5.0 / 6.0);
  EXPECT_EQ(r0.weightSum, 1.0);
  // ligationEps 1: step 2 runs. Weights 2*0.625*0.125 = 0.15625 and
  // 2*0.125*0.125 = 0.03125; 0.390625 for ACAC; factors give 5/12, 1/12 and
  // 1/2: f(AC) = 17/24, f(GT) = 5/24, f(AT) = f(GC) = 1/24. L2 = ln 3 +
  // ln 0.1875 + ln 0.390625 = -1.5154, |L1 - L2| = 2.61 goes on. Step 3:
  // weights 2*(17/24)*(5/24) and 2/576, L3 = ln 3 + ln(0.29861) +
  // ln(0.50174) = -0.7997, |L2 - L3| = 0.716 < 1 stops.
  auto ph2 = makePhenotypes({{"AGCT", 1}, {"AACC", 1}});
  PlemProbe plem2;
  plem2.setData(ph2.data(), 2, 2, 2);
  plem2.blockLength = 1;
  ASSERT_TRUE(plem2.joinBlocks({"A", "G"}, {"C", "T"}));
  EXPECT_EQ(plem2.joinFigures.back().iterations, 3);
  const double ac = 17.0 / 24, gt = 5.0 / 24, at = 1.0 / 24;
  const double w0 = 2 * ac * gt, w1 = 2 * at * at;
  // Frequencies of step 3, then the posteriors.
  const double fAc = w0 / (w0 + w1) * 0.25 + 0.5, fGt = w0 / (w0 + w1) * 0.25, fAt = w1 / (w0 + w1) * 0.25;
  EXPECT_NEAR(plem2.ligationRecords[0].weight[0], fAc * fGt / (fAc * fGt + fAt * fAt), 1e-15);
  EXPECT_NEAR(plem2.ligationRecords[0].weight[1], fAt * fAt / (fAc * fGt + fAt * fAt), 1e-15);
}

TEST(PLEMAlgorithm, BlockRangesPerLevel) {
  struct Case {
    int markers, length;
    std::vector<std::vector<int>> joins;  // block length, left block, from, width
    int lastLeft, lastRight;
  };
  const std::vector<Case> cases = {
      {25, 10, {{10, 0, 0, 20}, {20, 0, 0, 25}}, 20, 5},
      {20, 10, {{10, 0, 0, 20}}, 10, 10},
      {21, 10, {{10, 0, 0, 20}, {20, 0, 0, 21}}, 20, 1},
      {40, 10, {{10, 0, 0, 20}, {10, 2, 20, 20}, {20, 0, 0, 40}}, 20, 20},
      {45, 10, {{10, 0, 0, 20}, {10, 2, 20, 20}, {20, 0, 0, 40}, {40, 0, 0, 45}}, 40, 5},
      {60, 10, {{10, 0, 0, 20}, {10, 2, 20, 20}, {10, 4, 40, 20}, {20, 0, 0, 40}, {40, 0, 0, 60}}, 40, 20},
      {7, 1, {{1, 0, 0, 2}, {1, 2, 2, 2}, {1, 4, 4, 2}, {2, 0, 0, 4}, {2, 2, 4, 3}, {4, 0, 0, 7}}, 4, 3},
      {2, 1, {{1, 0, 0, 2}}, 1, 1},
  };
  SeedScope seed(3);
  for (const Case& c : cases) {
    // Everyone homozygous for the same haplotype: one haplotype per block.
    auto ph = makePhenotypes({{std::string(2 * c.markers, 'A'), 3}});
    PLEMAlgorithm plem;
    plem.setData(ph.data(), c.markers, 1, 3);
    plem.blockLength = c.length;
    ASSERT_TRUE(plem.perform()) << c.markers;
    ASSERT_EQ(plem.joinFigures.size(), c.joins.size()) << c.markers;
    for (size_t j = 0; j < c.joins.size(); ++j) {
      const auto& f = plem.joinFigures[j];
      EXPECT_EQ((std::vector<int>{f.blockLength, f.left, f.from, f.width}), c.joins[j]) << c.markers << " join " << j;
      EXPECT_EQ(f.numLeft, 1);
      EXPECT_EQ(f.numRight, 1);
    }
    ASSERT_EQ(plem.blocks.size(), 2u);
    EXPECT_EQ(plem.blocks[0].numMarkers, c.lastLeft) << c.markers;
    EXPECT_EQ(plem.blocks[1].numMarkers, c.lastRight) << c.markers;
    EXPECT_EQ(plem.blocks[0].text(0), std::string(c.lastLeft, 'A'));
    HaplotypePair r;
    plem.getBestPair(0, r);
    EXPECT_EQ(r.haplotype1, std::string(c.markers, 'A'));
    EXPECT_EQ(r.haplotype2, r.haplotype1);
    EXPECT_EQ(r.probability, 1.0);
  }
}

TEST(PLEMAlgorithm, BlockSizeOfTheLastBlock) {
  PLEMAlgorithm plem;
  plem.numMarkers = 25;
  plem.blockLength = 10;
  plem.numBlocks = 3;
  EXPECT_EQ(plem.blockSize(0), 10);
  EXPECT_EQ(plem.blockSize(1), 10);
  EXPECT_EQ(plem.blockSize(2), 5);
  plem.numMarkers = 30;
  EXPECT_EQ(plem.blockSize(2), 10);
  plem.blockLength = 20;
  plem.numBlocks = 2;
  EXPECT_EQ(plem.blockSize(1), 10);
}

TEST(PLEMAlgorithm, SelectionKeepsExpectedCopiesEqualToTheThreshold) {
  SeedScope seed(5);
  // Markers 1 and 2 are blocks of one marker. AG (count 1) and AA (count 2):
  // block 0 copies A = 1 + 2*2 = 5, G = 1 exactly (one pair each, weight 1).
  auto ph = makePhenotypes({{"AGCC", 1}, {"AACC", 2}});
  {
    PLEMAlgorithm plem;
    plem.setData(ph.data(), 2, 2, 3);
    plem.blockLength = 1;
    plem.plemEps = 1.0;
    ASSERT_TRUE(plem.perform());
    EXPECT_EQ(texts(plem.blocks[0]), (std::vector<std::string>{"A", "G"}));
    EXPECT_EQ(texts(plem.blocks[1]), (std::vector<std::string>{"C"}));
  }
  {
    PLEMAlgorithm plem;
    plem.setData(ph.data(), 2, 2, 3);
    plem.blockLength = 1;
    plem.plemEps = std::nextafter(1.0, 2.0);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(plem.perform());
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("markers 1 to 2"), std::string::npos) << out;
  }
  // A join: markers A/A, C/C, G/T in blocks of one. Block copies: A = 6,
  // C = 6 (three homozygous members, twice each), G = 2*2 + 1 = 5, T = 1.
  // Level 1 joins blocks 0 and 1 (not the last join): AC gets 6 copies.
  auto ph3 = makePhenotypes({{"AACCGG", 2}, {"AACCGT", 1}});
  {
    PLEMAlgorithm plem;
    plem.setData(ph3.data(), 3, 2, 3);
    plem.blockLength = 1;
    plem.plemEps = 1.0;
    ASSERT_TRUE(plem.perform());
    EXPECT_EQ(texts(plem.blocks[0]), (std::vector<std::string>{"AC"}));
    EXPECT_EQ(texts(plem.blocks[1]), (std::vector<std::string>{"G", "T"}));
  }
  {
    // Threshold 6 keeps A, C and the joined AC (6 copies each) but drops G
    // and T, so the last join finds no right option.
    PLEMAlgorithm plem;
    plem.setData(ph3.data(), 3, 2, 3);
    plem.blockLength = 1;
    plem.plemEps = 6.0;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(plem.perform());
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_EQ(plem.joinFigures.size(), 2u);
    EXPECT_EQ(plem.joinFigures[0].kept, 1);
    EXPECT_NE(out.find("markers 1 to 3"), std::string::npos) << out;
  }
  {
    // Just above 6 A and C fall already: the first join finds no option.
    PLEMAlgorithm plem;
    plem.setData(ph3.data(), 3, 2, 3);
    plem.blockLength = 1;
    plem.plemEps = std::nextafter(6.0, 7.0);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(plem.perform());
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_EQ(plem.joinFigures.size(), 1u);
    EXPECT_NE(out.find("markers 1 to 2"), std::string::npos) << out;
  }
}

TEST(PLEMAlgorithm, ThresholdAtOrBelowZeroKeepsEveryHaplotype) {
  SeedScope seed(9);
  auto ph = makePhenotypes({{"AGCT", 1}, {"AACC", 3}});
  PLEMAlgorithm plem;
  plem.setData(ph.data(), 2, 2, 4);
  plem.blockLength = 1;
  plem.plemEps = -1.0;
  ASSERT_TRUE(plem.perform());
  EXPECT_EQ(texts(plem.blocks[0]), (std::vector<std::string>{"A", "G"}));
  EXPECT_EQ(texts(plem.blocks[1]), (std::vector<std::string>{"C", "T"}));
}

TEST(PLEMAlgorithm, TablesFollowTheOrderOfFirstInsertion) {
  SeedScope seed(11);
  // Block 0 (markers 1-2): genotypes in order GG|TT, AG|CT, AA|CC. Pairs of
  // AG|CT: j = 0 AC|GT, j = 1 GC|AT. First insertions: GT, AC, GC, AT.
  // Threshold 0 keeps them all, in that order.
  auto ph = makePhenotypes({{"GGTTAA", 2}, {"AGCTAA", 1}, {"AACCAA", 2}});
  PLEMAlgorithm plem;
  plem.setData(ph.data(), 3, 3, 5);
  plem.blockLength = 2;
  plem.plemEps = 0.0;
  ASSERT_TRUE(plem.perform());
  EXPECT_EQ(texts(plem.blocks[0]), (std::vector<std::string>{"GT", "AC", "GC", "AT"}));
  // The record of AG|CT|AA takes its left options in that list order: GT
  // first (with AC), then GC (with AT).
  EXPECT_EQ(plem.ligationRecords[1].leftOptions, (Options{{0, 1}, {2, 3}}));
  // Larger joins: their lists follow the first use of each cell, record by
  // record, combination by combination, H1 before H2 (checked against the
  // text-keyed reference below).
}

TEST(PLEMAlgorithm, DebugTraces) {
  SeedScope seed(3);
  DebugScope debug(2);
  auto ph = makePhenotypes({{std::string(50, 'A'), 2}});
  PLEMAlgorithm plem;
  plem.setData(ph.data(), 25, 1, 2);
  testing::internal::CaptureStdout();
  ASSERT_TRUE(plem.perform());
  const std::string out = testing::internal::GetCapturedStdout();
  // The block EMs' own lines start with two spaces.
  std::istringstream lines(out);
  std::string line, kept;
  while (std::getline(lines, line))
    if (line.compare(0, 2, "  ") != 0) kept += line + "\n";
  EXPECT_EQ(kept,
            "Build Initial Haplotype Set for 25 Markers, 3 Blocks\n"
            " Make Haplotype Block 1/3 [0~10)\n"
            " Make Haplotype Block 2/3 [10~20)\n"
            " Make Haplotype Block 3/3 [20~30)\n"
            " Merging Blocks\n"
            " - merge 0,1 to 0 ... size=20, =1 haplotypes\n"
            " - copy 2 to 1\n"
            " - merge 0,1 to nothing ... size=20, =1 haplotypes\n");
  EXPECT_NE(out.find("  Calc Freq numpheno=1\n"), std::string::npos);
}

TEST(PLEMAlgorithm, NothingIsPrintedWithoutDebug) {
  SeedScope seed(3);
  DebugScope debug(0);
  auto ph = makePhenotypes({{std::string(50, 'A'), 2}});
  PLEMAlgorithm plem;
  plem.setData(ph.data(), 25, 1, 2);
  testing::internal::CaptureStdout();
  ASSERT_TRUE(plem.perform());
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(PLEMAlgorithm, JoinEndingEarlyBeforeTheLastLevelLeavesNoEstimate) {
  SeedScope seed(4);
  // Nine markers in blocks of three. One individual carries block-1 letters
  // nobody else has (one copy), dropped at threshold 1.5: the first join
  // (markers 1-6, not the last) has no right option for it.
  std::vector<std::pair<std::string, std::string>> people = {
      {"ACGTACGTA", "ACGTACGTA"}, {"ACGTACGTA", "ACGTACGTA"}, {"ACGTTTTTA", "ACGTACGTA"}};
  auto ph = fromPairs(people);
  PLEMAlgorithm plem;
  plem.setLabel("case");
  plem.setData(ph.data(), 9, static_cast<int>(ph.size()), 3);
  plem.blockLength = 3;
  plem.plemEps = 1.5;
  DebugScope debug(1);
  testing::internal::CaptureStdout();
  EXPECT_FALSE(plem.perform());
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("  1th phenotype: numAllele1*numAllele2=S=0, Cannot merge\n"), std::string::npos) << out;
  EXPECT_NE(out.find("PLEM (sample type case): a genotype fits no pair of the retained block haplotypes over "
                     "markers 1 to 6; there is no estimate for this sample type\n"),
            std::string::npos)
      << out;
  // Never goes on with block haplotypes that do not span the range.
  EXPECT_EQ(plem.joinFigures.size(), 1u);
  HaplotypePair r;
  for (int i = 0; i < static_cast<int>(ph.size()); ++i) {
    plem.getBestPair(i, r);
    EXPECT_EQ(r.haplotype1, "");
    EXPECT_EQ(r.probability, 0.0);
  }
  double total = 0.0;
  plem.expectedCount("ACGTACGTA", total);
  EXPECT_EQ(total, 0.0);
  // The same data estimate with the default threshold.
  PLEMAlgorithm ok;
  ok.setData(ph.data(), 9, static_cast<int>(ph.size()), 3);
  ok.blockLength = 3;
  testing::internal::CaptureStdout();
  EXPECT_TRUE(ok.perform());
  testing::internal::GetCapturedStdout();
  ok.getBestPair(1, r);
  EXPECT_EQ(r.haplotype1, "ACGTACGTA");
  EXPECT_EQ(r.haplotype2, "ACGTTTTTA");
}

TEST(PLEMAlgorithm, JoinTooLargeForMemoryIsRefusedWithTheCombinationLine) {
  SeedScope seed(4);
  auto ph = makePhenotypes({{"AGCTAC", 2}, {"AACCAA", 1}});
  PLEMAlgorithm plem;
  plem.setLabel("x");
  plem.setData(ph.data(), 3, 2, 3);
  plem.blockLength = 2;
  plem.memoryLimitBytes = 16;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(plem.perform());
  const std::string out = testing::internal::GetCapturedStdout();
  // Left haplotypes AC, GT, GC, AT (or fewer), right A, C.
  EXPECT_NE(out.find("alle1.numAlle:"), std::string::npos) << out;
  EXPECT_NE(out.find(", from:0, to:1\n"), std::string::npos) << out;
  EXPECT_NE(out.find("PLEM (sample type x): the join of markers 1 to 3 needs about "), std::string::npos) << out;
  HaplotypePair r;
  plem.getBestPair(0, r);
  EXPECT_EQ(r.probability, 0.0);
}

TEST(PLEMAlgorithm, RefusesSettingsWithoutABoundedRun) {
  auto ph = makePhenotypes({{"AACCGG", 1}});
  struct Case {
    int length;
    double eps;
    int markers;
    const char* message;
  };
  const std::vector<Case> cases = {
      {0, 1.0, 3, "block length 0 is below 1"},
      {1, 0.0, 3, "the convergence threshold 0 is not positive"},
      {1, -1.0, 3, "the convergence threshold -1 is not positive"},
      {3, 1.0, 3, "3 markers fit in one block of 3"},
      {5, 1.0, 3, "3 markers fit in one block of 5"},
  };
  for (const Case& c : cases) {
    PLEMAlgorithm plem;
    plem.setData(ph.data(), c.markers, 1, 1);
    plem.blockLength = c.length;
    plem.ligationEps = c.eps;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(plem.perform());
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find(c.message), std::string::npos) << out;
  }
  // A genotype of the wrong length.
  auto bad = makePhenotypes({{"AACCGG", 1}, {"AACC", 1}});
  PLEMAlgorithm plem;
  plem.setData(bad.data(), 3, 2, 2);
  plem.blockLength = 1;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(plem.perform());
  EXPECT_NE(testing::internal::GetCapturedStdout().find("genotype #1 holds 4 letters for 3 markers"),
            std::string::npos);
  // No genotypes.
  PLEMAlgorithm none;
  none.setData(nullptr, 3, 0, 0);
  none.blockLength = 1;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(none.perform());
  EXPECT_NE(testing::internal::GetCapturedStdout().find("no genotypes"), std::string::npos);
}

TEST(PLEMAlgorithm, LoadedPhenotypesAreNotWritten) {
  SeedScope seed(2);
  auto ph = makePhenotypes({{"AGCTAC", 2}, {"AACCAA", 1}});
  const auto before = ph;
  PLEMAlgorithm plem;
  plem.setData(ph.data(), 3, 2, 3);
  plem.blockLength = 2;
  ASSERT_TRUE(plem.perform());
  for (size_t p = 0; p < ph.size(); ++p) {
    EXPECT_EQ(ph[p].genotype, before[p].genotype);
    EXPECT_TRUE(ph[p].pairWeight.empty());
    EXPECT_EQ(ph[p].memberId, before[p].memberId);
  }
  EXPECT_EQ(plem.blockPhenotypes, ph.data());
  EXPECT_EQ(plem.numBlockPhenotypes, 2);
}

// The integer-numbered joins against the text-keyed reference on random
// data: block lists in order, best pairs, their probabilities and expected
// counts to the last bit.
TEST(PLEMAlgorithm, MatchesTheTextKeyedReference) {
  std::mt19937 rng(20240611);
  int estimated = 0, refused = 0;
  for (int round = 0; round < 60; ++round) {
    const int length = 2 + static_cast<int>(rng() % 4);
    const int markers = length + 1 + static_cast<int>(rng() % (4 * length));
    const int founders = 2 + static_cast<int>(rng() % 4);
    const int people = 5 + static_cast<int>(rng() % 30);
    const char alleles[][2] = {{'A', 'G'}, {'C', 'T'}, {'A', 'C'}, {'G', 'T'}};
    std::vector<std::string> hap(founders, std::string(markers, ' '));
    for (int m = 0; m < markers; ++m)
      for (int f = 0; f < founders; ++f) hap[f][m] = alleles[m % 4][rng() % 2];
    std::vector<std::pair<std::string, std::string>> pairs;
    for (int i = 0; i < people; ++i) {
      std::string a = hap[rng() % founders], b = hap[rng() % founders];
      for (int m = 0; m < markers; ++m) {
        if (rng() % 40 == 0) a[m] = alleles[m % 4][rng() % 2];
        if (rng() % 30 == 0) a[m] = 'N';
      }
      pairs.emplace_back(a, b);
    }
    auto ph = fromPairs(pairs);
    const uint32_t seed = static_cast<uint32_t>(rng());
    const double plemEps = std::vector<double>{0.00001, 0.2, 0.0, 1.0}[rng() % 4];
    const double ligationEps = std::vector<double>{1.0, 0.01, 0.000001}[rng() % 3];

    SeedScope seeds(seed);
    plemtest::ReferencePlem ref;
    ref.base = &ph;
    ref.numMarkers = markers;
    ref.numIndividuals = people;
    ref.blockLength = length;
    ref.plemEps = plemEps;
    ref.ligationEps = ligationEps;
    const bool refOk = ref.run();

    PLEMAlgorithm plem;
    plem.setData(ph.data(), markers, static_cast<int>(ph.size()), people);
    plem.blockLength = length;
    plem.plemEps = plemEps;
    plem.ligationEps = ligationEps;
    testing::internal::CaptureStdout();
    const bool ok = plem.perform();
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(ok, refOk) << "round " << round;
    if (!ok) {
      ++refused;
      continue;
    }
    ++estimated;
    EXPECT_EQ(texts(plem.blocks[0]), ref.lastLeft) << "round " << round;
    EXPECT_EQ(texts(plem.blocks[1]), ref.lastRight) << "round " << round;
    ASSERT_EQ(plem.ligationRecords.size(), ref.records.size());
    for (size_t p = 0; p < ref.records.size(); ++p) {
      const LigationRecord& a = plem.ligationRecords[p];
      const auto& b = ref.records[p];
      EXPECT_EQ(a.leftOptions, b.left) << "round " << round << " record " << p;
      EXPECT_EQ(a.rightOptions, b.right) << "round " << round << " record " << p;
      EXPECT_EQ(a.weight, b.weight) << "round " << round << " record " << p;
      EXPECT_EQ(a.bestHaplotype1, b.best1);
      EXPECT_EQ(a.bestHaplotype2, b.best2);
      EXPECT_EQ(a.bestProbability, b.bestProbability);
      HaplotypePair r;
      plem.getBestPair(static_cast<int>(p), r);
      for (const std::string& h : {r.haplotype1, r.haplotype2}) {
        double total = 0.0;
        plem.expectedCount(h, total);
        EXPECT_EQ(total, ref.expectedCount(h, 0.0)) << "round " << round;
        total = 0.25;
        plem.expectedCount(h, total);
        EXPECT_EQ(total, ref.expectedCount(h, 0.25)) << "round " << round;
      }
    }
    // A haplotype of no best pair: from zero and from a start.
    const std::string other = ref.lastLeft[0] + ref.lastRight.back();
    double total = 0.0;
    plem.expectedCount(other, total);
    EXPECT_EQ(total, ref.expectedCount(other, 0.0));
  }
  EXPECT_GT(estimated, 20);
  EXPECT_GT(refused, 0);
}
