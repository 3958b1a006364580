// What the command runs do not show: the class filter's exact match, an
// empty manual block list, block haplotypes of individuals missing in a
// block, expected copies of a join, and the block and crossover files in
// degenerate cases (no individuals, no blocks, one block, no file).
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "ld/BlockReport.h"
#include "ld/CrossoverRate.h"
#include "ld/LDBlockEstimate.h"
#include "ld/LDBlocking.h"
#include "ld/PairwiseLD.h"
#include "test_pair_files.h"

namespace {

using pairtest::genoText;
using pairtest::readFile;
using pairtest::SeedGuard;
using pairtest::writeFile;

// Two sample types a and b, three SNPs in perfect linkage.
std::string twoTypes() {
  return genoText({"b", "a", "b", "a"},
                  {{"A/A", "A/A", "G/G", "G/G"}, {"C/C", "C/C", "T/T", "T/T"}, {"A/A", "A/A", "C/C", "C/C"}});
}

bool run(GenoData& data, const std::string& path, const PairwiseLDOptions& o, std::string& out) {
  testing::internal::CaptureStdout();
  bool ok = runPairwiseLD(data, path, o) == PairwiseLDStatus::kDone;
  out = testing::internal::GetCapturedStdout();
  return ok;
}

TEST(PairAnalysis, ClassNamesMatchExactly) {
  // "A" is no sample type of a file with "a": nothing is analysed.
  const std::string path = writeFile("class.geno", twoTypes());
  GenoData data;
  PairwiseLDOptions o;
  o.classToAnalyze = "A";
  std::string out;
  EXPECT_FALSE(run(data, path, o, out));
  EXPECT_NE(out.find("skip class [a]\nskip class [b]\nskip class [M]\n"), std::string::npos) << out;
  EXPECT_EQ(readFile(path + ".pwld"), "");
}

TEST(PairAnalysis, BlockingWithAnEmptyManualListWritesNoBlocks) {
  const std::string path = writeFile("manual.geno", twoTypes());
  GenoData data;
  PairwiseLDOptions o;
  o.blocking = true;
  o.blockingMethod = 0;
  o.crossOver = true;
  std::string out;
  EXPECT_TRUE(run(data, path, o, out));
  EXPECT_NE(out.find("LD Blocking Method :Manual\n"), std::string::npos) << out;
  EXPECT_EQ(out.find("LD Blocking Result"), std::string::npos) << out;  // no block step at all
  EXPECT_EQ(readFile(path + ".ld.hblk"), "");
  EXPECT_EQ(readFile(path + ".ld.rblk"), "");
  // The rows are there all the same, and the store's size is printed.
  EXPECT_NE(readFile(path + ".pwld").find("3\t1\t2\t1000\t1.00000"), std::string::npos);
  EXPECT_NE(out.find("Allocating pwvs complete, size="), std::string::npos);
  EXPECT_EQ(out.find("Allocating pwvs complete, size=0\n"), std::string::npos) << out;
}

// Eight individuals over five SNPs: five carry AAAAA with one G at a
// different SNP each, two are GGGGG, the eighth is AAAAA but missing at SNP 2.
void loadPanel(GenoData& data) {
  const std::vector<std::vector<std::string>> rows = {
      {"A/G", "A/A", "A/A", "A/A", "A/A", "G/G", "G/G", "A/A"},
      {"A/A", "A/G", "A/A", "A/A", "A/A", "G/G", "G/G", "A/A"},
      {"A/A", "A/A", "A/G", "A/A", "A/A", "G/G", "G/G", "N/N"},
      {"A/A", "A/A", "A/A", "A/G", "A/A", "G/G", "G/G", "A/A"},
      {"A/A", "A/A", "A/A", "A/A", "A/G", "G/G", "G/G", "A/A"}};
  ASSERT_TRUE(pairtest::load(data, writeFile("panel.geno", genoText(std::vector<std::string>(8, "1"), rows)), "1"));
}

TEST(BlockEstimate, IndividualsMissingInTheBlockStayInTheTotal) {
  SeedGuard guard;
  g_seedGiven = true;
  g_seedValue = 3;
  GenoData data;
  loadPanel(data);
  LDBlock block;
  block.snps = {1, 2, 3};
  SnpListEstimate estimate;
  ASSERT_TRUE(estimateBlockHaplotypes(data, block, "1", estimate));
  EXPECT_EQ(block.chromosomeTotal, 16);
  EXPECT_EQ(estimate.phenotypeOf(7), -1);
  EXPECT_GE(estimate.phenotypeOf(6), 0);
  int sum = 0;
  for (int c : block.haplotypeCounts) sum += c;
  EXPECT_EQ(sum, 14);
  // Outside the block the eighth individual is complete: SNPs 0, 1, 3, 4
  // hold AAAA once in individuals 0, 1, 3, 4 and twice in 2 and 7.
  ASSERT_TRUE(estimate.run(data, {0, 1, 3, 4}, "1"));
  EXPECT_GE(estimate.phenotypeOf(7), 0);
  EXPECT_DOUBLE_EQ(estimate.expectedCount("AAAA"), 8.0);
  EXPECT_DOUBLE_EQ(estimate.expectedCount("GGGG"), 4.0);
  EXPECT_DOUBLE_EQ(estimate.expectedCount("GAAA"), 1.0);
  EXPECT_EQ(estimate.expectedCount("AAGG"), 0.0);
}

// Console and file text of one writer call on a temporary file.
std::pair<std::string, std::string> written(const std::function<bool(FILE*)>& write, bool expectedResult = true) {
  FILE* fp = tmpfile();
  EXPECT_NE(fp, nullptr);
  testing::internal::CaptureStdout();
  EXPECT_EQ(write(fp), expectedResult);
  const std::string console = testing::internal::GetCapturedStdout();
  fflush(fp);
  rewind(fp);
  std::string text;
  for (int c; (c = fgetc(fp)) != EOF;) text += static_cast<char>(c);
  fclose(fp);
  return {console, text};
}

TEST(BlockReport, SampleTypeWithoutIndividuals) {
  GenoData data;
  data.m_ChromosomeNo = "7";
  data.m_nummarker = data.m_ori_nummarker = 2;
  data.markerIds = {"rsA", "rsB"};
  data.positions = {150, 275};
  data.alleleSets.assign(2, {});
  data.m_numindiv = 0;
  std::vector<LDBlock> none, one = {LDBlock(0, 1)}, two = {LDBlock(0, 1), LDBlock(0, 1)};
  // No haplotypes, no tags; the last line has no end.
  EXPECT_EQ(written([&](FILE* fp) { return finishBlocksAndReport(one, fp, data, "7", "X", 0.0); }),
            std::make_pair(std::string("LD Blocking Result for Sample type X :1 Blocks Found\n"
                                       "num=0 at selectHTS\nBlock 1 [1\t,2\t]\nout of loop\n"),
                           std::string("!Chromosome_No:7\n!Sample_Type:X\n!Sample_Count:0\n"
                                       "!Block_No:1\n!Total_SNP_Count:2\n!Tag_SNP_Count:0\n!Haplotype_Count:0\n"
                                       "SNP_List\t1\t2\t\nSNP_ID\trsA\trsB\t\nTag_SNP\tN\tN\tSample_Type\t\n"
                                       "Allele\tN/N\tN/N\tFrequency\t\nLocation\t150\t275\tAccuracy\t")));
  EXPECT_EQ(written([&](FILE* fp) { return finishBlocksAndReport(none, fp, data, "7", "X", 0.0); }),
            std::make_pair(std::string("LD Blocking Result for Sample type X :0 Blocks Found\nout of loop\n"),
                           std::string()));
  // Crossover needs two blocks; without haplotypes a section with counts
  // 0,0, D' 0 and no rows, never a division by zero.
  EXPECT_EQ(written([&](FILE* fp) { return computeCrossover(one, fp, data, "7", "X", 3); }),
            std::make_pair(std::string("Calculating Crossover Rate(1 Blocks)\n\n"), std::string()));
  EXPECT_EQ(written([&](FILE* fp) { return computeCrossover(two, fp, data, "7", "X", 3); }),
            std::make_pair(std::string("Calculating Crossover Rate(2 Blocks)\n1-2\n"),
                           std::string("!Chromosome_No:7\n!Sample_Type:X\n!Block_No:1,2\n!Haplotype_Count:0,0\n"
                                       "!Multi_Dprime:0.00000\nNo\tHaplotype_1\tHaplotype_2\tCrossover_Rate\n")));
  // Without a file both refuse.
  const auto refused = written(
      [&](FILE*) {
        return finishBlocksAndReport(one, nullptr, data, "7", "X", 0.0) || computeCrossover(one, nullptr, data, "7", "X", 3);
      },
      false);
  EXPECT_NE(refused.first.find("NULL\t"), std::string::npos);
}

}  // namespace
