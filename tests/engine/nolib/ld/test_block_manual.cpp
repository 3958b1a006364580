#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ld/ManualBlockList.h"

namespace {

using Kind = ManualBlockOutcome::Kind;

struct Read {
  ManualBlockOutcome outcome;
  std::string console;
};

Read read(const std::string& list, int snps = 10) {
  testing::internal::CaptureStdout();
  Read r;
  r.outcome = readManualBlocks(list, snps, "ctl");
  r.console = testing::internal::GetCapturedStdout();
  return r;
}

std::vector<std::vector<int>> snpLists(const ManualBlockOutcome& o) {
  std::vector<std::vector<int>> out;
  for (const LDBlock& b : o.blocks) out.push_back(b.snps);
  return out;
}

TEST(ManualBlocks, EmptyListDoesNothing) {
  Read r = read("");
  EXPECT_EQ(r.outcome.kind, Kind::kEmpty);
  EXPECT_TRUE(r.outcome.blocks.empty());
  EXPECT_EQ(r.console, "");
}

TEST(ManualBlocks, RangesBecomeBlocksOfConsecutiveSnps) {
  Read r = read("1-2,6-9");
  EXPECT_EQ(r.outcome.kind, Kind::kBlocks);
  EXPECT_EQ(snpLists(r.outcome), std::vector<std::vector<int>>({{0, 1}, {5, 6, 7, 8}}));
  EXPECT_EQ(r.console,
            "## LD Block Reconstruction For 1-2,6-9\n"
            "Block for idx 1-2 [1]-[2]\n"
            "Block for idx [1]-[2]\n"
            "Block for idx 6-9 [6]-[9]\n"
            "Block for idx [6]-[9]\n");
}

TEST(ManualBlocks, BeginAndEndInAnyCase) {
  Read r = read("BeGiN-eNd", 4);
  EXPECT_EQ(r.outcome.kind, Kind::kBlocks);
  EXPECT_EQ(snpLists(r.outcome), std::vector<std::vector<int>>({{0, 1, 2, 3}}));
  EXPECT_EQ(r.console,
            "## LD Block Reconstruction For BeGiN-eNd\n"
            "Block for idx BeGiN-eNd [BeGiN]-[eNd]\n"
            "Block for idx [1]-[4]\n");
}

TEST(ManualBlocks, EmptyPiecesVanish) {
  Read r = read(",1-3,,5--6,");
  EXPECT_EQ(r.outcome.kind, Kind::kBlocks);
  EXPECT_EQ(snpLists(r.outcome), std::vector<std::vector<int>>({{0, 1, 2}, {4, 5}}));
  // Overlapping and unordered ranges are taken as given.
  r = read("5-7,1-6");
  EXPECT_EQ(snpLists(r.outcome), std::vector<std::vector<int>>({{4, 5, 6}, {0, 1, 2, 3, 4, 5}}));
}

TEST(ManualBlocks, OneSnpRangeDiscardsEverythingAndStopsReading) {
  // The malformed item after the one-SNP range is never read.
  Read r = read("1-2,3-3,x", 10);
  EXPECT_EQ(r.outcome.kind, Kind::kOneSnpRange);
  EXPECT_TRUE(r.outcome.blocks.empty());
  EXPECT_EQ(r.console,
            "## LD Block Reconstruction For 1-2,3-3,x\n"
            "Block for idx 1-2 [1]-[2]\n"
            "Block for idx [1]-[2]\n"
            "Block for idx 3-3 [3]-[3]\n"
            "Block for idx [3]-[3]\n"
            "Not valid snp index in this sample type ctl :3-3 ==>2~2/10\n");
}

TEST(ManualBlocks, IndexZeroIsTakenAsTheFirstSnp) {
  // 0-1: from -1 and to 0 pass the order check, then from becomes 0: a
  // one-SNP range.
  Read r = read("0-1");
  EXPECT_EQ(r.outcome.kind, Kind::kOneSnpRange);
  EXPECT_NE(r.console.find("Not valid snp index in this sample type ctl :0-1 ==>0~0/10\n"), std::string::npos);
  r = read("0-3");
  EXPECT_EQ(snpLists(r.outcome), std::vector<std::vector<int>>({{0, 1, 2}}));
}

TEST(ManualBlocks, WrongNumberOfEndsAborts) {
  for (const char* item : {"12", "1-2-3", "-"}) {
    Read r = read(std::string("1-2,") + item);
    EXPECT_EQ(r.outcome.kind, Kind::kAbort) << item;
    EXPECT_EQ(r.outcome.errorText, "Abort: LD Block index pair is incorrect") << item;
    const std::string last = std::string("Abort: LD Block index pair is incorrect :") + item + "\n";
    EXPECT_EQ(r.console.substr(r.console.size() - last.size()), last) << item;
  }
}

TEST(ManualBlocks, NonDigitsAbort) {
  for (const char* item : {"a-2", "1-2x", "end-3", "1-begin", "+1-2"}) {
    Read r = read(item);
    EXPECT_EQ(r.outcome.kind, Kind::kAbort) << item;
    EXPECT_EQ(r.outcome.errorText, "Abort: LD Block index pair is not digit") << item;
    const std::string last = std::string("Abort: LD Block index pair is not digit :") + item + "\n";
    EXPECT_EQ(r.console.substr(r.console.size() - last.size()), last) << item;
  }
}

TEST(ManualBlocks, ReversedRangeAborts) {
  Read r = read("4-2");
  EXPECT_EQ(r.outcome.kind, Kind::kAbort);
  EXPECT_EQ(r.outcome.errorText, "Abort: LD Block index pair is incorrect");
  EXPECT_EQ(r.console,
            "## LD Block Reconstruction For 4-2\n"
            "Block for idx 4-2 [4]-[2]\n"
            "Block for idx [4]-[2]\n"
            "Abort: LD Block index pair is incorrect :4-2\n");
  // 1-0 is reversed before 0 would be taken as the first SNP.
  EXPECT_EQ(read("1-0").outcome.kind, Kind::kAbort);
}

TEST(ManualBlocks, IndicesBeyondTheSnpsAbort) {
  Read r = read("11-12", 10);
  EXPECT_EQ(r.outcome.kind, Kind::kAbort);
  EXPECT_EQ(r.outcome.errorText, "cannot find actual idxFrom::id");
  EXPECT_EQ(r.console.substr(r.console.find("cannot")), "cannot find actual idxFrom::id of 10\n");
  r = read("9-11", 10);
  EXPECT_EQ(r.outcome.errorText, "cannot find actual idxTo::id");
  EXPECT_EQ(r.console.substr(r.console.find("cannot")), "cannot find actual idxTo::id of 10\n");
  // The last SNP itself is fine.
  r = read("9-10", 10);
  EXPECT_EQ(snpLists(r.outcome), std::vector<std::vector<int>>({{8, 9}}));
  // A number too long for any integer is still beyond the SNPs.
  r = read("1-99999999999999999999999", 10);
  EXPECT_EQ(r.outcome.errorText, "cannot find actual idxTo::id");
}

}  // namespace
