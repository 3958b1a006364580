#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "hapxtab/HapCrossTab.h"

namespace {

struct RunResult {
  int status = 0;
  std::string out;
  std::string err;
};

std::string dir() { return testing::TempDir(); }

void writeFile(const std::string& path, const std::string& text) {
  std::ofstream f(path, std::ios::binary);
  f << text;
}

std::string readFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return "<absent>";
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

bool exists(const std::string& path) {
  FILE* f = fopen(path.c_str(), "r");
  if (f) fclose(f);
  return f != nullptr;
}

RunResult runHapxtab(std::vector<std::string> args) {
  args.insert(args.begin(), "hapxtab");
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
  for (size_t i = 0; i < codes.size(); ++i) {
    s += "\ts";
    s += std::to_string(i);
  }
  s += "\n";
  int k = 1;
  for (const std::vector<int>& row : rows) {
    s += "7_M_1_";
    s += std::to_string(k++);
    s += "\tA\t0.10000";
    for (int c : row) {
      s += "\t";
      s += std::to_string(c);
    }
    s += "\n";
  }
  s += "Location\t100\tAccuracy";
  for (size_t i = 0; i < codes.size(); ++i) s += "\t1.00000";
  s += "\n";
  return s;
}

// Data rows of a report (after the seven header lines).
std::vector<std::string> dataRows(const std::string& report) {
  std::vector<std::string> rows;
  std::stringstream s(report);
  std::string line;
  int n = 0;
  while (std::getline(s, line)) {
    if (++n > 7) rows.push_back(line);
  }
  return rows;
}

}  // namespace

TEST(Hapxtab, SamplesOfOtherTypesAreSkippedWhereverTheyStand) {
  // Class 2 samples stand between the 0 and 1 samples; they must not cut off
  // the samples after them. Copy counts of the class 2 samples are 2, which
  // would change the table if they were used.
  std::vector<std::string> codes{"0", "2", "0", "1", "2", "1", "1", "0"};
  std::vector<int> row{1, 2, 0, 2, 2, 1, 2, 0};
  std::string in = dir() + "mixed.hblk";
  writeFile(in, mergedSection(codes, {row}, 1));
  RunResult r = runHapxtab({in, "0.05", "0", "N", dir() + "mixed.out"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  std::vector<std::string> rows = dataRows(readFile(dir() + "mixed.out"));
  ASSERT_EQ(rows.size(), 1u);
  // Additive: class 1 (samples 3, 5, 6) copies 2 + 1 + 2 = 5 of 6;
  // class 0 (samples 0, 2, 7) copies 1 of 6. OR = 5*5 / (1*1) = 25.
  EXPECT_EQ(rows[0].substr(0, 14), "7_M_1_1\t25.000") << rows[0];
}

TEST(Hapxtab, CopyCountsOtherThanZeroOneTwoAreSkipped) {
  std::string in = dir() + "odd.hblk";
  std::string text = mergedSection({"1", "1", "0", "0"}, {{2, 0, 1, 0}}, 1);
  // Replace the last copy count of the row by "x" and add a 3.
  size_t at = text.find("7_M_1_1");
  size_t end = text.find('\n', at);
  text.replace(at, end - at, "7_M_1_1\tA\t0.10000\t2\t3\t1\tx");
  writeFile(in, text);
  RunResult r = runHapxtab({in, "0.05", "0", "N", dir() + "odd.out"});
  ASSERT_EQ(r.status, 0) << r.out;
  std::vector<std::string> rows = dataRows(readFile(dir() + "odd.out"));
  ASSERT_EQ(rows.size(), 1u);
  // Class 1: one sample with 2 copies (a = 2, b = 0); class 0: one with 1
  // (c = 1, d = 1). b = 0: odds ratio and risks 0.
  EXPECT_EQ(rows[0].substr(0, 32), "7_M_1_1\t0.000\t0.000-0.000\t0.000\t") << rows[0];
}

TEST(Hapxtab, FiveThousandRowsPassTheFiveThousandAndFirstStops) {
  std::vector<std::string> codes{"1", "0"};
  for (int n : {5000, 5001}) {
    std::vector<std::vector<int>> rows(static_cast<size_t>(n), std::vector<int>{1, 0});
    std::string in = dir() + "many" + std::to_string(n) + ".hblk";
    writeFile(in, mergedSection(codes, rows, n));
    std::string out = dir() + "many" + std::to_string(n) + ".out";
    RunResult r = runHapxtab({in, "0.05", "0", "Y", out});
    if (n == 5000) {
      EXPECT_EQ(r.status, 0);
      EXPECT_EQ(dataRows(readFile(out)).size(), 5000u);
      EXPECT_EQ(r.err.find("#error"), std::string::npos);
    } else {
      EXPECT_EQ(r.status, -1);
      EXPECT_NE(r.out.find("too many haplotype, maximum=5000\n"), std::string::npos);
      EXPECT_NE(r.err.find("#error=too many haplotype, maximum=5000\n"), std::string::npos);
      EXPECT_EQ(r.err.find("#success"), std::string::npos);
    }
  }
}

TEST(Hapxtab, HaplotypeSpaceCountsEveryMergedSectionOnce) {
  std::string text = "!Chromosome_No:7\n!Sample_Type:0\n!Sample_Count:3\n!Haplotype_Count:9\n"
                     "!Chromosome_No:7\n!Sample_Type:1\n!Sample_Count:4\n!Haplotype_Count:8\n";
  text += mergedSection({"1", "0"}, {{1, 0}, {0, 1}}, 2);
  text += mergedSection({"1", "0"}, {{1, 1}, {0, 1}, {2, 2}}, 3);
  std::string in = dir() + "space.hblk";
  writeFile(in, text);
  RunResult r = runHapxtab({in, "0.05", "3", "Y", dir() + "space.out"});
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.err.find("#result=Total Haplotype Space Size=5\n"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("#result=Control Sample Size=3\n"), std::string::npos);
  EXPECT_NE(r.err.find("#result=Case Sample Size=4\n"), std::string::npos);
  std::vector<std::string> rows = dataRows(readFile(dir() + "space.out"));
  ASSERT_EQ(rows.size(), 5u);
  // Each block's threshold uses its own haplotype count: 0.05/2, 0.05/3.
  EXPECT_NE(rows[0].find("\t2.500000e-02\t"), std::string::npos) << rows[0];
  EXPECT_NE(rows[4].find("\t1.666667e-02\t"), std::string::npos) << rows[4];
}

TEST(Hapxtab, MalformedBlockFilesStopWithoutAResult) {
  struct Bad {
    const char* name;
    std::string text;
    const char* message;
  } cases[] = {
      {"short_row", mergedSection({"1", "0", "1"}, {{1, 0}}, 1),
       "haplotype row with fewer copy counts than samples"},
      {"no_tag", "!Sample_Type:M\n!Total_SNP_Count:1\n!Haplotype_Count:1\nh1\tA\t0.5\t1\t0\n",
       "haplotype row before the Tag_SNP line of its section"},
      {"bad_count", "!Sample_Type:M\n!Total_SNP_Count:x\n", "!Total_SNP_Count is not a count"},
      {"empty", "", "no header line: not a haplotype block file"},
  };
  for (const Bad& b : cases) {
    std::string in = dir() + b.name + ".hblk";
    std::string out = dir() + b.name + ".out";
    writeFile(in, b.text);
    RunResult r = runHapxtab({in, "0.05", "0", "Y", out});
    EXPECT_EQ(r.status, -1) << b.name;
    EXPECT_NE(r.out.find(b.message), std::string::npos) << b.name << ": " << r.out;
    EXPECT_NE(r.err.find("#error=Invalid input file"), std::string::npos) << b.name;
    EXPECT_FALSE(exists(out)) << b.name;
  }
}

TEST(Hapxtab, ArgumentsAreChecked) {
  RunResult few = runHapxtab({"x.hblk", "0.05", "0"});
  EXPECT_EQ(few.status, 2);
  EXPECT_NE(few.out.find("usage: hapxtab block-file level model correction [output]"), std::string::npos);
  RunResult model = runHapxtab({"x.hblk", "0.05", "6", "Y"});
  EXPECT_EQ(model.status, 2);
  RunResult level = runHapxtab({"x.hblk", "five", "0", "Y"});
  EXPECT_EQ(level.status, 2);
  RunResult nodot = runHapxtab({dir() + "nodot", "0.05", "0", "Y"});
  EXPECT_EQ(nodot.status, 2);
  RunResult missing = runHapxtab({dir() + "does_not_exist.hblk", "0.05", "0", "Y"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err.substr(0, 30), "#error=Cannot read input file\n");
  EXPECT_FALSE(exists(dir() + "does_not_exist.hap.crss.0.tmp"));
}

TEST(Hapxtab, ResultMayNotOverwriteTheBlockFile) {
  std::string in = dir() + "self.hblk";
  std::string text = mergedSection({"1", "0"}, {{1, 0}}, 1);
  writeFile(in, text);
  RunResult r = runHapxtab({in, "0.05", "0", "Y", in});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(readFile(in), text);
}
