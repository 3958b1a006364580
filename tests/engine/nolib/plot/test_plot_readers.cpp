#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "plot/AssocPlots.h"
#include "plot/AssocReader.h"
#include "plot/BlockReader.h"
#include "plot/InputError.h"
#include "plot/LdColour.h"
#include "plot/PwldReader.h"

namespace {

std::string writeTemp(const std::string& name, const std::string& text) {
  std::string path = "/tmp/marloplot_unit_" + std::to_string(getpid()) + "_" + name;
  std::ofstream(path) << text;
  return path;
}

std::string errorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const plot::InputError& e) {
    return e.what();
  }
  return "";
}

plot::LdCell cell(float dprime, double lod, bool lodKnown = true) {
  plot::LdCell c;
  c.dprime = dprime;
  c.lod = lod;
  c.flags = plot::LdCell::kPresent | (lodKnown ? plot::LdCell::kLodKnown : 0);
  return c;
}

// The colour of every class, the shades up to |D'| = 0.99999, the threshold
// between 9.21034 and 9.21035 and a pair without LOD are pinned through the
// program by the marloplot picture test LdDiamondsColoursGapsAndBlocks;
// here the ends of the scales its rows do not reach.
TEST(LdColour, EndsOfTheScales) {
  EXPECT_EQ(plot::dprimeColour(cell(0.0f, 6 * std::log(10.0))), 0xFFDFDFu);  // the palest shade
  EXPECT_NEAR(plot::lodThreshold(), 9.2103403720, 1e-10);
  EXPECT_EQ(plot::classifyDprime(cell(1.0f, plot::lodThreshold())), plot::DprimeClass::kStrongComplete);
  EXPECT_EQ(plot::r2Colour(0), 0xFFFFFFu);
  EXPECT_EQ(plot::r2Colour(1), 0x000000u);
  EXPECT_EQ(plot::r2Colour(0.004), 0xFFFFFFu);  // rounds to level 0
  EXPECT_NE(plot::kGapColour, plot::r2Colour(0.15));
}

const char* kHeader = "No\tMarker1\tMarker2\tDistance\t|D'|\tr2\tLOD\tLOD_p_value\tChi_square\tp_value\tFour_gamete\n";

std::string section(const std::string& type, const std::string& rows) {
  return "!Chromosome_No:10\n!Region_Limit:500.0Kb\n!Sample_Type:" + type + "\n" + kHeader + rows;
}

TEST(PwldReader, ReadsTheMergedSectionWindowAndPlaceholders) {
  std::string rows0 = "1\t0\t1\t10\t0.50000\t0.10000\t1.00000\t0.30000\t1.00000\t0.30000\tY\n";
  std::string rowsM =
      "1\t0\t1\t10\t1.00000\t0.90000\t20.00000\t0.00000\t30.00000\t0.00000\tN\n"
      "2\t0\t2\t20\t0.00000\t0.00000\t0.00000\t0.00000\t0.00000\t0.00000\tN\n"
      "3\t1\t2\t10\t0.70000\t-\t-\t-\t-\t-\tN\n"
      "4\t1\t3\t30\t0.70000\t0.20000\t3.00000\t0.08000\t3.00000\t0.08000\tY\n"
      "5\t2\t3\t20\t0.40000\t0.10000\t2.00000\t0.15000\t2.00000\t0.15000\tY\n";
  std::string path = writeTemp("a.pwld", section("0", rows0) + section("M", rowsM));
  plot::LdWindow w = plot::readPwldWindow(path, "", 0, 2, 4);
  EXPECT_EQ(w.type, "M");
  EXPECT_EQ(w.rowsInWindow, 3);  // (1,3) and (2,3) lie outside SNPs 0-2
  EXPECT_EQ(w.placeholders, 1);
  EXPECT_TRUE(w.cell(0, 1).flags & plot::LdCell::kPresent);
  EXPECT_FLOAT_EQ(w.cell(0, 1).dprime, 1.0f);
  EXPECT_FALSE(w.cell(0, 2).flags & plot::LdCell::kPresent);
  EXPECT_EQ(w.cell(1, 2).flags, plot::LdCell::kPresent);  // no LOD, no r2
  plot::LdWindow t0 = plot::readPwldWindow(path, "0", 0, 1, 4);
  EXPECT_EQ(t0.type, "0");
  EXPECT_FLOAT_EQ(t0.cell(0, 1).dprime, 0.5f);
  unlink(path.c_str());
}

// Several sections without M, or without the type asked for, are refused in
// the marloplot input_errors case.
TEST(PwldReader, OnlySectionIsTheDefault) {
  std::string row = "1\t0\t1\t10\t0.50000\t0.10000\t1.00000\t0.30000\t1.00000\t0.30000\tY\n";
  std::string one = writeTemp("one.pwld", section("case", row));
  plot::LdWindow w = plot::readPwldWindow(one, "", 0, 1, 2);
  EXPECT_EQ(w.type, "case");
  EXPECT_EQ(w.rowsInWindow, 1);
  unlink(one.c_str());
}

TEST(PwldReader, MalformedRowsNameTheLine) {
  auto refuse = [](const std::string& rows, long long snps) {
    std::string path = writeTemp("bad.pwld", section("M", rows));
    std::string e = errorOf([&] { plot::readPwldWindow(path, "", 0, 2, snps); });
    unlink(path.c_str());
    return e.substr(e.find(", line"));
  };
  std::string ok = "1\t0\t1\t10\t0.50000\t0.10000\t1.00000\t0.30000\t1.00000\t0.30000\tY\n";
  EXPECT_EQ(refuse(ok + "2\t0\t1\t10\t0.5\t0.1\t1\t0.3\t1\t0.3\tY\n", 3), ", line 6: pair 0-1 out of order");
  EXPECT_EQ(refuse(ok + "2\t1\t1\t10\t0.5\t0.1\t1\t0.3\t1\t0.3\tY\n", 3),
            ", line 6: not a pair row (Marker1 and Marker2 must be integers with Marker1 < Marker2)");
  EXPECT_EQ(refuse("1\t0\t2\t10\t1.5\t0.1\t1\t0.3\t1\t0.3\tY\n", 3), ", line 5: |D'| must be a number from 0 to 1");
  EXPECT_EQ(refuse("1\t0\t2\t10\t0.5\t0.1\tnan\t0.3\t1\t0.3\tY\n", 3),
            ", line 5: LOD \"nan\" is neither a number nor -");
  EXPECT_EQ(refuse("1\t0\t2\t10\t0.5\t0.1\t1\t0.3\t1\t0.3\tX\n", 3), ", line 5: Four_gamete must be Y or N");
  EXPECT_EQ(refuse("1\t0\t5\t10\t0.5\t0.1\t1\t0.3\t1\t0.3\tY\n", 3),
            ", line 5: pair 0-5 names SNP 5, but the genotype file has 3 SNPs; do the files belong together?");
}

TEST(PwldReader, LineNumbersStayRightAfterSkippedSections) {
  // Section 0 is skipped unread and spans several read buffers (1 MiB).
  std::string rows0;
  for (int i = 0; i < 400; ++i) {
    for (int j = i + 1; j < i + 101; ++j) {
      rows0 += std::to_string(i * 100 + j) + "\t" + std::to_string(i) + "\t" + std::to_string(j) +
               "\t10\t0.50000\t0.10000\t1.00000\t0.30000\t1.00000\t0.30000\tY\n";
    }
  }
  ASSERT_GT(rows0.size(), 2u << 20);
  std::string rowsM = "1\t0\t1\t10\t0.5\t0.1\t1\t0.3\t1\t0.3\tY\n2\t0\t2\t10\t0.5\t0.1\t1\t0.3\tY\n";
  std::string path = writeTemp("skip.pwld", section("0", rows0) + section("M", rowsM));
  std::string e = errorOf([&] { plot::readPwldWindow(path, "", 0, 2, 500); });
  // 4 + 40000 lines of section 0, 4 header lines of M, then its second row.
  EXPECT_EQ(e, path + ", line 40010: 9 fields instead of 11");
  plot::LdWindow w = plot::readPwldWindow(path, "0", 399, 401, 500);
  EXPECT_EQ(w.rowsInWindow, 2);  // (399, 400) and (399, 401): SNP 401's own row is not in the file
  unlink(path.c_str());
}

TEST(BlockReader, BlocksOfOneTypeWithTheirSnps) {
  std::string text =
      "!Chromosome_No:10\n!Sample_Type:0\n!Sample_Count:2\n!Block_No:1\n!Total_SNP_Count:2\n"
      "SNP_List\t1\t2\t\nSNP_ID\ta\tb\t\nTag_SNP\tY\tY\tSample_Type\t0\t0\n"
      "!Chromosome_No:10\n!Sample_Type:M\n!Sample_Count:4\n!Block_No:1\n"
      "SNP_List\t2\t3\t4\t\nSNP_ID\tb\tc\td\t\n10_M_1_1\tA\tC\tG\t0.50000\t1\t1\n"
      "!Chromosome_No:10\n!Sample_Type:M\n!Sample_Count:4\n!Block_No:2\nSNP_List\t6\t7\t\nSNP_ID\tf\tg\t\n";
  std::string path = writeTemp("b.ld.hblk", text);
  plot::BlockReport r = plot::readBlocks(path, "M");
  ASSERT_EQ(r.blocks.size(), 2u);
  EXPECT_EQ(r.blocks[0].snps, (std::vector<long long>{1, 2, 3}));
  EXPECT_EQ(r.blocks[0].ids, (std::vector<std::string>{"b", "c", "d"}));
  EXPECT_EQ(r.blocks[1].number, 2);
  EXPECT_EQ(r.typesSeen, (std::vector<std::string>{"0", "M"}));
  EXPECT_TRUE(plot::readBlocks(path, "1").blocks.empty());
  std::string bad = writeTemp("bad.ld.hblk", "!Sample_Type:M\n!Block_No:1\nSNP_List\t3\t2\t\n");
  EXPECT_EQ(errorOf([&] { plot::readBlocks(bad, "M"); }), bad + ", line 3: SNP_List not in ascending order");
  // Found by fuzzing: the names of the first list stayed beside the indices
  // of the second.
  std::string twice =
      writeTemp("twice.ld.hblk", "!Sample_Type:M\n!Block_No:1\nSNP_List\t1\t2\t3\t\nSNP_ID\ta\tb\tc\t\nSNP_List\t5\t6\t\n");
  EXPECT_EQ(errorOf([&] { plot::readBlocks(twice, "M"); }), twice + ", line 5: second SNP_List line in one block");
  // Without a SNP_ID line the block has indices only; the plot names the
  // SNPs by index then.
  std::string noIds = writeTemp("noids.ld.hblk", "!Sample_Type:M\n!Block_No:1\nSNP_List\t1\t2\t\n");
  plot::BlockReport n = plot::readBlocks(noIds, "M");
  ASSERT_EQ(n.blocks.size(), 1u);
  EXPECT_EQ(n.blocks[0].snps, (std::vector<long long>{0, 1}));
  EXPECT_TRUE(n.blocks[0].ids.empty());
  unlink(path.c_str());
  unlink(bad.c_str());
}

TEST(AssocReader, SmallerOfTheTwoPValuesPerRow) {
  std::string text =
      "!Chromosome_No : 10\n!Feature_Type : SNP\n"
      "Feature_ID\tOR\tOR_CI\tAR\tPAR\tGFT_chi\tGFT_p\tYates_Corr\tLRT_chi\tLRT_p\tSignificant?\n"
      "rs1\t1\t1-1\t0\t0\t1\t2.000000e-01\tN\t1\t3.000000e-01\tN\n"
      "rs2\t1\t1-1\t0\t0\t1\t5.000000e-02\tN\t1\t4.000000e-02\tN\n";
  std::string path = writeTemp("r.crss", text);
  std::vector<double> ps;
  plot::ReportInfo info = plot::readAssocReport(path, [&](std::string_view, double p, long long) { ps.push_back(p); });
  EXPECT_EQ(info.featureType, "SNP");
  EXPECT_EQ(ps, (std::vector<double>{0.2, 0.04}));
  unlink(path.c_str());
}

TEST(Chromosomes, NaturalOrder) {
  std::vector<std::string> names{"MT", "chr10", "X", "2", "unplaced", "Y", "1", "22", "chrX", "alt"};
  std::sort(names.begin(), names.end(), plot::chromosomeBefore);
  EXPECT_EQ(names, (std::vector<std::string>{"1", "2", "chr10", "22", "X", "chrX", "Y", "MT", "alt", "unplaced"}));
}

TEST(Inflation, MedianOfChiSquareQuantilesByHand) {
  // p-values whose 1-df chi-square quantiles are 0, 1, 4 and 9.
  const double p1 = std::erfc(1 / std::sqrt(2.0)), p4 = std::erfc(2 / std::sqrt(2.0)), p9 = std::erfc(3 / std::sqrt(2.0));
  EXPECT_NEAR(plot::chiSquare1Quantile(p1), 1, 1e-12);
  EXPECT_NEAR(plot::chiSquare1Quantile(p9), 9, 1e-11);
  EXPECT_EQ(plot::chiSquare1Quantile(1), 0);
  EXPECT_TRUE(std::isinf(plot::chiSquare1Quantile(0)));
  // Odd count: the middle quantile, 1; even count: (1 + 4) / 2.
  EXPECT_NEAR(plot::inflationFactor({p4, p1, 1}), 1 / 0.4549364, 1e-9);
  EXPECT_NEAR(plot::inflationFactor({p9, p4, p1, 1}), 2.5 / 0.4549364, 1e-9);
}

TEST(QqBand, ContainsTheExpectedValue) {
  // The smallest of 1000 uniform p-values: 2.5% and 97.5% quantiles of Beta(1, 1000).
  double lower = 0, upper = 0;
  plot::qqBand(1, 1000, lower, upper);
  EXPECT_NEAR(upper, -std::log10(-std::expm1(std::log1p(-0.025) / 1000)), 1e-9);
  EXPECT_NEAR(lower, -std::log10(-std::expm1(std::log1p(-0.975) / 1000)), 1e-9);
  EXPECT_LT(lower, 3.0);  // expected -log10(1/1001) ~ 3.0004
  EXPECT_GT(upper, 3.0);
}

TEST(Numbers, DecimalOnly) {
  double v = 0;
  long long n = 0;
  EXPECT_TRUE(plot::parseDouble("1.5e-3", v));
  EXPECT_DOUBLE_EQ(v, 0.0015);
  for (const char* bad : {"nan", "inf", "0x10", " 1", "1 ", "", "-", "1e", "."}) EXPECT_FALSE(plot::parseDouble(bad, v)) << bad;
  EXPECT_TRUE(plot::parseLong("-12", n));
  EXPECT_EQ(n, -12);
  EXPECT_FALSE(plot::parseLong("12a", n));
  EXPECT_FALSE(plot::parseLong("1234567890123456789", n));
}

}  // namespace
