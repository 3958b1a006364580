// Manual block lists: what each kind of item makes of the list, with the
// exact abort texts (the command runs are in tests/e2e/cases/ldblock/).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ld/ManualBlockList.h"

namespace {

using Kind = ManualBlockOutcome::Kind;

TEST(ManualBlocks, Lists) {
  const struct {
    std::string list;
    int snps;
    Kind kind;
    std::vector<std::vector<int>> blocks;
    std::string errorText;
    std::string lastLine;  // the end of the console text
  } cases[] = {
      {"", 10, Kind::kEmpty, {}, "", ""},
      {"1-2,6-9", 10, Kind::kBlocks, {{0, 1}, {5, 6, 7, 8}}, "",
       "## LD Block Reconstruction For 1-2,6-9\nBlock for idx 1-2 [1]-[2]\nBlock for idx [1]-[2]\n"
       "Block for idx 6-9 [6]-[9]\nBlock for idx [6]-[9]\n"},
      {"BeGiN-eNd", 4, Kind::kBlocks, {{0, 1, 2, 3}}, "", "Block for idx BeGiN-eNd [BeGiN]-[eNd]\nBlock for idx [1]-[4]\n"},
      // Empty pieces vanish; overlapping and unordered ranges are taken as given.
      {",1-3,,5--6,", 10, Kind::kBlocks, {{0, 1, 2}, {4, 5}}, "", "Block for idx [5]-[6]\n"},
      {"5-7,1-6", 10, Kind::kBlocks, {{4, 5, 6}, {0, 1, 2, 3, 4, 5}}, "", "Block for idx [1]-[6]\n"},
      // Indices are 1-based: 0 is out of range like an index past the last,
      // also after ranges that were fine.
      {"0-3", 10, Kind::kAbort, {}, "cannot find actual idxFrom::id", "cannot find actual idxFrom::id of -1\n"},
      {"1-2,0-1", 10, Kind::kAbort, {}, "cannot find actual idxFrom::id", "cannot find actual idxFrom::id of -1\n"},
      {"0-0", 10, Kind::kAbort, {}, "cannot find actual idxFrom::id", "cannot find actual idxFrom::id of -1\n"},
      {"1-0", 10, Kind::kAbort, {}, "Abort: LD Block index pair is incorrect",
       "Abort: LD Block index pair is incorrect :1-0\n"},
      {"9-10", 10, Kind::kBlocks, {{8, 9}}, "", "Block for idx [9]-[10]\n"},  // the last SNP itself
      {"1-2,12", 10, Kind::kAbort, {}, "Abort: LD Block index pair is incorrect",
       "Abort: LD Block index pair is incorrect :12\n"},
      {"1-2,-", 10, Kind::kAbort, {}, "Abort: LD Block index pair is incorrect",
       "Abort: LD Block index pair is incorrect :-\n"},
      {"4-2", 10, Kind::kAbort, {}, "Abort: LD Block index pair is incorrect",
       "Block for idx [4]-[2]\nAbort: LD Block index pair is incorrect :4-2\n"},
      {"1-2x", 10, Kind::kAbort, {}, "Abort: LD Block index pair is not digit",
       "Abort: LD Block index pair is not digit :1-2x\n"},
      {"end-3", 10, Kind::kAbort, {}, "Abort: LD Block index pair is not digit",
       "Block for idx [end]-[3]\nAbort: LD Block index pair is not digit :end-3\n"},
      {"1-begin", 10, Kind::kAbort, {}, "Abort: LD Block index pair is not digit",
       "Abort: LD Block index pair is not digit :1-begin\n"},
      {"+1-2", 10, Kind::kAbort, {}, "Abort: LD Block index pair is not digit",
       "Abort: LD Block index pair is not digit :+1-2\n"},
      {"11-12", 10, Kind::kAbort, {}, "cannot find actual idxFrom::id", "cannot find actual idxFrom::id of 10\n"},
      {"9-11", 10, Kind::kAbort, {}, "cannot find actual idxTo::id", "cannot find actual idxTo::id of 10\n"},
      // A number too long for any integer is still beyond the SNPs.
      {"1-99999999999999999999999", 10, Kind::kAbort, {}, "cannot find actual idxTo::id",
       "cannot find actual idxTo::id of 922337203685477569\n"},
  };
  for (const auto& c : cases) {
    testing::internal::CaptureStdout();
    const ManualBlockOutcome out = readManualBlocks(c.list, c.snps, "ctl");
    const std::string console = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.kind, c.kind) << c.list;
    std::vector<std::vector<int>> blocks;
    for (const LDBlock& b : out.blocks) blocks.push_back(b.snps);
    EXPECT_EQ(blocks, c.blocks) << c.list;
    EXPECT_EQ(out.errorText, c.errorText) << c.list;
    if (c.lastLine.empty()) {
      EXPECT_EQ(console, "");
    }
    ASSERT_GE(console.size(), c.lastLine.size()) << c.list;
    EXPECT_EQ(console.substr(console.size() - c.lastLine.size()), c.lastLine) << c.list;
  }
}

}  // namespace
