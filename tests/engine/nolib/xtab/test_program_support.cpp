#include <gtest/gtest.h>

#include "xtab/ProgramSupport.h"

using namespace xtab;

// Names the output_names and errors e2e cases do not reach: a trailing or
// leading dot, a haplotype report in a dotted folder.
TEST(OutputName, TakesTheFirstTwoPiecesOfTheBaseName) {
  EXPECT_EQ(crossTabOutputName("x.geno", ".snp.crss", "01"), "x.geno.snp.crss.01.tmp");
  EXPECT_EQ(crossTabOutputName("em8.geno.em.hblk", ".hap.crss", "0"), "em8.geno.hap.crss.0.tmp");
  EXPECT_EQ(crossTabOutputName("x.", ".snp.crss", "00"), "x..snp.crss.00.tmp");
  EXPECT_EQ(crossTabOutputName(".hidden.geno", ".snp.crss", "00"), ".hidden.snp.crss.00.tmp");
  EXPECT_EQ(crossTabOutputName("/a.b/c.d/y.z.w", ".hap.crss", "3"), "/a.b/c.d/y.z.hap.crss.3.tmp");
  EXPECT_TRUE(baseNameHasDot("dir/x.geno"));
  EXPECT_FALSE(baseNameHasDot("run.v2/xgeno"));
}
