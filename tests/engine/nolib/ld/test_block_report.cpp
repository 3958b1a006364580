#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ld/BlockReport.h"
#include "ld/CrossoverRate.h"
#include "ld/LDBlock.h"
#include "marlo/GenoData.h"

namespace {

std::string tempPath(const std::string& name) {
  return testing::TempDir() + "block_report_" + std::to_string(getpid()) + "_" + name;
}

std::string readBack(FILE* fp) {
  fflush(fp);
  rewind(fp);
  std::string s;
  char buf[4096];
  size_t got;
  while ((got = fread(buf, 1, sizeof buf, fp)) > 0) s.append(buf, got);
  return s;
}

// Genotype data of a sample type without individuals: two markers, no
// genotypes. The report then has no haplotypes and its last line no end.
GenoData emptyType() {
  GenoData data;
  data.m_ChromosomeNo = "7";
  data.m_nummarker = 2;
  data.m_ori_nummarker = 2;
  data.markerIds = {"rsA", "rsB"};
  data.positions = {150, 275};
  data.alleleSets.assign(2, {});
  data.m_numindiv = 0;
  return data;
}

TEST(BlockReport, WithoutIndividualsTheLastLineHasNoEnd) {
  GenoData data = emptyType();
  std::vector<LDBlock> blocks = {LDBlock(0, 1)};
  const std::string path = tempPath("empty.hblk");
  FILE* fp = fopen(path.c_str(), "w+");
  ASSERT_NE(fp, nullptr);
  testing::internal::CaptureStdout();
  EXPECT_TRUE(writeBlocks(blocks, fp, data, "7", "X", 0.0));
  const std::string console = testing::internal::GetCapturedStdout();
  const std::string text = readBack(fp);
  fclose(fp);
  remove(path.c_str());
  EXPECT_EQ(console,
            "LD Blocking Result for Sample type X :1 Blocks Found\n"
            "num=0 at selectHTS\n"
            "Block 1 [1\t,2\t]\n"
            "out of loop\n");
  EXPECT_EQ(text,
            "!Chromosome_No:7\n!Sample_Type:X\n!Sample_Count:0\n"
            "!Block_No:1\n!Total_SNP_Count:2\n!Tag_SNP_Count:0\n!Haplotype_Count:0\n"
            "SNP_List\t1\t2\t\n"
            "SNP_ID\trsA\trsB\t\n"
            "Tag_SNP\tN\tN\tSample_Type\t\n"
            "Allele\tN/N\tN/N\tFrequency\t\n"
            "Location\t150\t275\tAccuracy\t");
}

TEST(BlockReport, NoBlocksWriteNothingButTheCounts) {
  GenoData data = emptyType();
  std::vector<LDBlock> blocks;
  const std::string path = tempPath("none.hblk");
  FILE* fp = fopen(path.c_str(), "w+");
  ASSERT_NE(fp, nullptr);
  testing::internal::CaptureStdout();
  EXPECT_TRUE(writeBlocks(blocks, fp, data, "7", "X", 0.0));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "LD Blocking Result for Sample type X :0 Blocks Found\nout of loop\n");
  EXPECT_EQ(readBack(fp), "");
  fclose(fp);
  remove(path.c_str());
}

TEST(BlockReport, CrossoverNeedsTwoBlocks) {
  GenoData data = emptyType();
  std::vector<LDBlock> one = {LDBlock(0, 1)};
  const std::string path = tempPath("one.rblk");
  FILE* fp = fopen(path.c_str(), "w+");
  ASSERT_NE(fp, nullptr);
  testing::internal::CaptureStdout();
  EXPECT_TRUE(computeCrossover(one, fp, data, "7", "X", 3));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Calculating Crossover Rate(1 Blocks)\n\n");
  EXPECT_EQ(readBack(fp), "");
  fclose(fp);
  remove(path.c_str());
}

TEST(BlockReport, CrossoverOfBlocksWithoutHaplotypesHasNoRows) {
  // Two blocks whose haplotypes are unknown: a section with counts 0,0, D'
  // 0 and the column line, never a division by zero.
  GenoData data = emptyType();
  std::vector<LDBlock> two = {LDBlock(0, 1), LDBlock(0, 1)};
  const std::string path = tempPath("two.rblk");
  FILE* fp = fopen(path.c_str(), "w+");
  ASSERT_NE(fp, nullptr);
  testing::internal::CaptureStdout();
  EXPECT_TRUE(computeCrossover(two, fp, data, "7", "X", 3));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Calculating Crossover Rate(2 Blocks)\n1-2\n");
  EXPECT_EQ(readBack(fp),
            "!Chromosome_No:7\n!Sample_Type:X\n!Block_No:1,2\n!Haplotype_Count:0,0\n!Multi_Dprime:0.00000\n"
            "No\tHaplotype_1\tHaplotype_2\tCrossover_Rate\n");
  fclose(fp);
  remove(path.c_str());
}

TEST(BlockReport, MissingFilesAreRefused) {
  GenoData data = emptyType();
  std::vector<LDBlock> blocks = {LDBlock(0, 1)};
  testing::internal::CaptureStdout();
  EXPECT_FALSE(writeBlocks(blocks, nullptr, data, "7", "X", 0.0));
  EXPECT_FALSE(computeCrossover(blocks, nullptr, data, "7", "X", 3));
  const std::string console = testing::internal::GetCapturedStdout();
  EXPECT_NE(console.find("NULL\t"), std::string::npos);
}

}  // namespace
