#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common_sgt/Settings.h"
#include "ld/LDBlock.h"
#include "ld/LDBlockEstimate.h"
#include "marlo/GenoData.h"

namespace {

std::string writeGeno(const std::string& name, const std::string& content) {
  const std::string path = testing::TempDir() + "block_estimate_" + std::to_string(getpid()) + "_" + name;
  FILE* fp = fopen(path.c_str(), "wb");
  fwrite(content.data(), 1, content.size(), fp);
  fclose(fp);
  return path;
}

// Seven individuals over five SNPs: five carry AAAAA with one G at a
// different SNP each (one haplotype pair apiece), two are GGGGG. With
// withMissing an eighth individual, missing at SNP 3, joins them.
std::string panel(bool withMissing) {
  const char* rows[5][8] = {
      {"A/G", "A/A", "A/A", "A/A", "A/A", "G/G", "G/G", "A/A"},
      {"A/A", "A/G", "A/A", "A/A", "A/A", "G/G", "G/G", "A/A"},
      {"A/A", "A/A", "A/G", "A/A", "A/A", "G/G", "G/G", "N/N"},
      {"A/A", "A/A", "A/A", "A/G", "A/A", "G/G", "G/G", "A/A"},
      {"A/A", "A/A", "A/A", "A/A", "A/G", "G/G", "G/G", "A/A"},
  };
  const int n = withMissing ? 8 : 7;
  std::string ids = "ID\tchr\tpos\tx";
  std::string types = "type\tchr\tpos\tx";
  for (int i = 0; i < n; ++i) {
    ids += "\ti" + std::to_string(i + 1);
    types += "\t1";
  }
  std::string text = ids + "\n" + types + "\n";
  for (int k = 0; k < 5; ++k) {
    text += "r" + std::to_string(k + 1) + "\t10\t" + std::to_string(100 * (k + 1)) + "\t+";
    for (int i = 0; i < n; ++i) text += std::string("\t") + rows[k][i];
    text += "\n";
  }
  return text;
}

class BlockEstimate : public testing::Test {
 protected:
  void load(bool withMissing) {
    g_seedGiven = true;
    g_seedValue = 3;
    const std::string path = writeGeno("panel.geno", panel(withMissing));
    ASSERT_TRUE(data.loadHeader(path.c_str()));
    testing::internal::CaptureStdout();
    const bool loaded = data.loadData(path.c_str(), "1");
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(loaded);
    remove(path.c_str());
  }
  void TearDown() override { g_seedGiven = false; }
  GenoData data;
};

TEST_F(BlockEstimate, CountsAreRoundedAndListedInOrderOfFirstAppearance) {
  load(false);
  LDBlock block;
  block.snps = {0, 1, 2, 3, 4};
  SnpListEstimate estimate;
  ASSERT_TRUE(estimateBlockHaplotypes(data, block, "1", estimate));
  EXPECT_EQ(block.chromosomeTotal, 14);
  // AAAAA collects 1/14 five times; times 14 that is just below 5, which
  // truncation would turn into 4.
  double w = 0.0;
  for (int k = 0; k < 5; ++k) w += 1.0 / 14.0;
  ASSERT_EQ(static_cast<int>(w * 7 * 2), 4);
  const std::vector<std::string> order = {"AAAAA", "GAAAA", "AGAAA", "AAGAA", "AAAGA", "AAAAG", "GGGGG"};
  EXPECT_EQ(block.haplotypes, order);
  EXPECT_EQ(block.haplotypeCounts, std::vector<int>({5, 1, 1, 1, 1, 1, 4}));
  EXPECT_EQ(block.haplotypeCount, 7);
}

TEST_F(BlockEstimate, IndividualsMissingInTheBlockStayInTheTotal) {
  load(true);
  LDBlock block;
  block.snps = {1, 2, 3};
  SnpListEstimate estimate;
  ASSERT_TRUE(estimateBlockHaplotypes(data, block, "1", estimate));
  // n = 8, but individual 8 has no genotype over SNP 3.
  EXPECT_EQ(block.chromosomeTotal, 16);
  EXPECT_EQ(estimate.phenotypeOf(7), -1);
  EXPECT_GE(estimate.phenotypeOf(6), 0);
  int sum = 0;
  for (int c : block.haplotypeCounts) sum += c;
  EXPECT_EQ(sum, 14);
  // Outside the block individual 8 is complete.
  LDBlock other;
  other.snps = {3, 4};
  SnpListEstimate second;
  ASSERT_TRUE(estimateBlockHaplotypes(data, other, "1", second));
  EXPECT_GE(second.phenotypeOf(7), 0);
}

TEST_F(BlockEstimate, JoinedListGivesExpectedCopies) {
  load(false);
  SnpListEstimate estimate;
  ASSERT_TRUE(estimate.run(data, {0, 1, 3, 4}, "1"));
  // Individuals 1, 2, 4 and 5 carry AAAA once, individual 3 twice.
  EXPECT_DOUBLE_EQ(estimate.expectedCount("AAAA"), 6.0);
  EXPECT_DOUBLE_EQ(estimate.expectedCount("GGGG"), 4.0);
  EXPECT_DOUBLE_EQ(estimate.expectedCount("GAAA"), 1.0);
  EXPECT_EQ(estimate.expectedCount("AAGG"), 0.0);
}

}  // namespace
