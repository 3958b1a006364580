// hapxtab on block files the e2e cases under tests/e2e/cases/hapxtab do not
// hold (those pin the arguments, the 5,001-row stop, samples of other types
// and the statistics): odd copy counts, the row limit itself, several merged
// sections, malformed files and the block file named as the result.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "hapxtab/HapCrossTab.h"
#include "support/TestFiles.h"

namespace {

using testsupport::exists;
using testsupport::readFile;
using testsupport::ScratchDir;
using testsupport::writeFile;

struct RunResult {
  int status = 0;
  std::string out;
  std::string err;
  std::vector<std::string> rows;  // data rows of the report
};

// Runs hapxtab on a block file holding text, with the result in out.txt.
RunResult runHapxtab(const ScratchDir& dir, const std::string& text, const char* correction = "Y",
                     const std::string& output = "out.txt") {
  writeFile(dir.file("in.hblk"), text);
  std::vector<std::string> args{"hapxtab", dir.file("in.hblk"), "0.05", "0", correction, dir.file(output)};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  RunResult r;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  {
    HapCrossTab program;
    r.status = program.run(static_cast<int>(args.size()), argv.data());
  }
  r.out = testing::internal::GetCapturedStdout();
  r.err = testing::internal::GetCapturedStderr();
  std::istringstream report(readFile(dir.file(output)));
  int n = 0;
  for (std::string line; std::getline(report, line);)
    if (++n > 7) r.rows.push_back(line);
  return r;
}

// A merged section over one marker with the given Tag_SNP class codes and
// haplotype rows (copy counts per sample).
std::string mergedSection(const std::vector<std::string>& codes, const std::vector<std::vector<int>>& rows,
                          int haplotypeCount) {
  std::string s = "!Chromosome_No:7\n!Sample_Type:M\n!Sample_Count:" + std::to_string(codes.size()) +
                  "\n!Block_No:1\n!Total_SNP_Count:1\n!Tag_SNP_Count:?\n!Haplotype_Count:" +
                  std::to_string(haplotypeCount) + "   \nSNP_List\t1\nSNP_ID\trs1\nTag_SNP\t?\tSample_Type";
  for (const std::string& c : codes) s += "\t" + c;
  s += "\nAllele\tA/G\tFrequency";
  for (size_t i = 0; i < codes.size(); ++i) s += "\ts" + std::to_string(i);
  s += "\n";
  for (size_t k = 0; k < rows.size(); ++k) {
    s += "7_M_1_" + std::to_string(k + 1) + "\tA\t0.10000";
    for (int c : rows[k]) s += "\t" + std::to_string(c);
    s += "\n";
  }
  s += "Location\t100\tAccuracy";
  for (size_t i = 0; i < codes.size(); ++i) s += "\t1.00000";
  return s + "\n";
}

TEST(Hapxtab, CopyCountsOtherThanZeroOneTwoAreSkipped) {
  ScratchDir dir;
  std::string text = mergedSection({"1", "1", "0", "0"}, {{2, 0, 1, 0}}, 1);
  size_t at = text.find("7_M_1_1");
  text.replace(at, text.find('\n', at) - at, "7_M_1_1\tA\t0.10000\t2\t3\t1\tx");
  RunResult r = runHapxtab(dir, text, "N");
  ASSERT_EQ(r.status, 0) << r.out;
  ASSERT_EQ(r.rows.size(), 1u);
  // Class 1: one sample with 2 copies (a = 2, b = 0); class 0: one with 1
  // (c = 1, d = 1). b = 0: odds ratio and risks 0.
  EXPECT_EQ(r.rows[0].substr(0, 32), "7_M_1_1\t0.000\t0.000-0.000\t0.000\t") << r.rows[0];
}

TEST(Hapxtab, FiveThousandRowsPass) {
  ScratchDir dir;
  RunResult r = runHapxtab(dir, mergedSection({"1", "0"}, std::vector<std::vector<int>>(5000, {1, 0}), 5000));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.rows.size(), 5000u);
  EXPECT_EQ(r.err.find("#error"), std::string::npos);
}

TEST(Hapxtab, HaplotypeSpaceCountsEveryMergedSectionOnce) {
  ScratchDir dir;
  std::string text = "!Chromosome_No:7\n!Sample_Type:0\n!Sample_Count:3\n!Haplotype_Count:9\n"
                     "!Chromosome_No:7\n!Sample_Type:1\n!Sample_Count:4\n!Haplotype_Count:8\n" +
                     mergedSection({"1", "0"}, {{1, 0}, {0, 1}}, 2) +
                     mergedSection({"1", "0"}, {{1, 1}, {0, 1}, {2, 2}}, 3);
  RunResult r = runHapxtab(dir, text);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.err.find("#result=Control Sample Size=3\n#result=Case Sample Size=4\n"
                       "#result=Total Haplotype Space Size=5\n"),
            std::string::npos)
      << r.err;
  ASSERT_EQ(r.rows.size(), 5u);
  // Each block's threshold uses its own haplotype count: 0.05/2, 0.05/3.
  EXPECT_NE(r.rows[0].find("\t2.500000e-02\t"), std::string::npos) << r.rows[0];
  EXPECT_NE(r.rows[4].find("\t1.666667e-02\t"), std::string::npos) << r.rows[4];
}

TEST(Hapxtab, MalformedBlockFilesStopWithoutAResult) {
  struct Bad {
    std::string text;
    const char* message;
  } cases[] = {
      {mergedSection({"1", "0", "1"}, {{1, 0}}, 1), "haplotype row with fewer copy counts than samples"},
      {"!Sample_Type:M\n!Total_SNP_Count:1\n!Haplotype_Count:1\nh1\tA\t0.5\t1\t0\n",
       "haplotype row before the Tag_SNP line of its section"},
      {"!Sample_Type:M\nTag_SNP\t?\tSample_Type\t1\n", "Tag_SNP line before !Total_SNP_Count"},
      {"!Sample_Type:M\n!Total_SNP_Count:x\n", "!Total_SNP_Count is not a count"},
      {mergedSection({"1", "0"}, {{1, 0}}, 0), "haplotype row in a block without a haplotype count"},
      {"", "no header line: not a haplotype block file"},
  };
  for (const Bad& b : cases) {
    ScratchDir dir;
    RunResult r = runHapxtab(dir, b.text);
    EXPECT_EQ(r.status, -1) << b.message;
    EXPECT_NE(r.out.find(b.message), std::string::npos) << b.message << ": " << r.out;
    EXPECT_NE(r.err.find("#error=Invalid input file"), std::string::npos) << b.message;
    EXPECT_FALSE(exists(dir.file("out.txt"))) << b.message;
  }
}

TEST(Hapxtab, ResultMayNotOverwriteTheBlockFile) {
  ScratchDir dir;
  std::string text = mergedSection({"1", "0"}, {{1, 0}}, 1);
  RunResult r = runHapxtab(dir, text, "Y", "in.hblk");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(readFile(dir.file("in.hblk")), text);
}

}  // namespace
