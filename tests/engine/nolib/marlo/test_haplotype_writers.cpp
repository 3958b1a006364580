#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "marlo/GenoData.h"
#include "marlo/HaplotypeEstimator.h"
#include "marlo_test_util.h"

namespace {

// An estimator whose answers are set by the test: the writers must work from
// getBestPair and expectedCount alone, as they do for every estimator.
class FakeEstimator : public HaplotypeEstimator {
 public:
  bool perform() override { return true; }
  void getBestPair(int i, HaplotypePair& r) override {
    r = i >= 0 && i < static_cast<int>(best.size()) ? best[i] : HaplotypePair();
    ++bestPairCalls;
  }
  void expectedCount(const std::string& h, double& total) override {
    auto it = expected.find(h);
    if (it != expected.end()) total += it->second;
  }
  std::vector<HaplotypePair> best;
  std::map<std::string, double> expected;
  int bestPairCalls = 0;
};

// Phenotypes with one member each, individuals numbered in order.
std::vector<Phenotype> onePerPhenotype(int n, const std::string& genotype) {
  std::vector<std::pair<std::string, int>> entries(n, {genotype, 1});
  auto ph = marlotest::makePhenotypes(entries);
  for (int p = 0; p < n; ++p) ph[p].memberId[0] = "id" + std::to_string(p + 1);
  return ph;
}

}  // namespace

TEST(HaplotypeWriters, BothSidesInOrderOfFirstAppearanceThenTheExchanges) {
  auto ph = onePerPhenotype(4, "AG");
  FakeEstimator e;
  e.setData(ph.data(), 1, 4, 4);
  e.best = {{"x", "y", 0.9}, {"y", "z", 0.8}, {"w", "w", 0.7}, {"v", "v", 0.6}};
  e.expected = {{"x", 2.0}, {"y", 2.0}, {"z", 1.0}, {"w", 3.0}, {"v", 1.0}};
  std::vector<std::string> h;
  std::vector<double> f;
  e.collectBestHaplotypes(h, f);
  // Listed x y z w v (2 2 1 3 1); entry i trades places with a later j only
  // when strictly less frequent. i=0: x<w gives w y z x v; i=1: nothing;
  // i=2: z<x gives w y x z v. A stable sort would put x before y.
  EXPECT_EQ(h, (std::vector<std::string>{"w", "y", "x", "z", "v"}));
  EXPECT_EQ(f, (std::vector<double>{3.0 / 9, 2.0 / 9, 2.0 / 9, 1.0 / 9, 1.0 / 9}));
}

TEST(HaplotypeWriters, NoHaplotypeGoesStraightToStandardError) {
  // Best pairs without haplotypes and expected copies of zero make every
  // frequency 0/0: not a number, which counts as zero.
  auto ph = onePerPhenotype(2, "AA");
  FakeEstimator e;
  e.setData(ph.data(), 1, 2, 2);
  e.best = {{"", "", 0.0}, {"", "", 0.0}};
  const std::string path = marlotest::tempPath("phap");
  FILE* fp = fopen(path.c_str(), "w");
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  HaplotypeIds ids;
  writePopulationFile(fp, e, "7", 0.01, "case", ids);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "#error= SampleType (case): There is no haplotype.\n");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  fclose(fp);
  EXPECT_EQ(marlotest::readFile(path), "");
  EXPECT_TRUE(ids.empty());
}

TEST(HaplotypeWriters, IndividualFileSkipsImprobablePairsAndNamesUnknownHaplotypesNull) {
  auto ph = onePerPhenotype(4, "AC");
  FakeEstimator e;
  e.setData(ph.data(), 1, 4, 4);
  e.best = {{"A", "C", 0.75}, {"A", "C", 0.0}, {"A", "G", NAN}, {"C", "C", 1.0}};
  const HaplotypeIds ids = {{"A", "h2"}};
  // The merged type answers entry i of the file's types; beyond them "?".
  const std::string path = marlotest::tempPath("ihap");
  FILE* fp = fopen(path.c_str(), "w");
  writeIndividualFile(fp, e, ids, "3", "M", {"u", "v", "u"}, 3);
  fclose(fp);
  EXPECT_EQ(marlotest::readFile(path),
            "!Chromosome_No:3\n!Block_No:1\nNo\tIndividual_ID\tHaplotype1\tHaplotype2\tAccuracy\tSample_Type\n"
            "1\tid1\t3_1_h2\t3_1_null\t0.75000\tu\n4\tid4\t3_1_null\t3_1_null\t1.00000\t?\n");
}

TEST(HaplotypeWriters, BlockFileAsksEachBestPairOnceAndSurvivesAVanishedInput) {
  const std::string input =
      marlotest::writeFile("gone.geno", "M\tC\tP\tS\tq1\tq2\tq3\nT\t.\t.\t.\tk\tj\tk\nm1\t2\t77\t+\tA/A\tA/G\tA/G\n");
  GenoData d;
  marlotest::captureStdout([&] { return d.loadHeader(input.c_str()) && d.loadData(input.c_str(), "k"); });
  unlink(input.c_str());
  FakeEstimator e;
  e.setData(d.phenotypes.data(), 1, d.m_numpheno, d.m_numindiv);
  e.best = {{"A", "A", 0.5}, {"A", "G", 0.25}};
  e.expected = {{"A", 3.0}, {"G", 1.0}};
  const std::string path = marlotest::tempPath("hblk");
  FILE* fp = fopen(path.c_str(), "w");
  testing::internal::CaptureStdout();
  writeBlockFile(fp, e, d, d.typeIndex.at("k"));
  const std::string out = testing::internal::GetCapturedStdout();
  fclose(fp);
  EXPECT_EQ(out.rfind("NULL\tengine/nolib/marlo/HaplotypeEstimator:", 0), 0u) << out;
  EXPECT_EQ(e.bestPairCalls, 2);
  // Without the input there are no Location cells; the rest is whole.
  EXPECT_EQ(marlotest::readFile(path),
            "!Chromosome_No:2\n!Sample_Type:k\n!Sample_Count:2\n!Block_No:1\n!Total_SNP_Count:1\n!Tag_SNP_Count:?\n"
            "!Haplotype_Count:2" +
                std::string(33, ' ') +
                "\n"
                "SNP_List\t1\nSNP_ID\tm1\nTag_SNP\t?\tSample_Type\tk\tk\nAllele\tA/G\tFrequency\tq1\tq3\n"
                "2_k_1_1\tA\t0.75000\t2\t1\n2_k_1_2\tG\t0.25000\t0\t1\n\tAccuracy\t0.50000\t0.25000\n");
}
