#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "hwe/Hwe.h"
#include "support/TestFiles.h"
#include "hwe/SnpQuality.h"

namespace {

using TempDir = testsupport::ScratchDir;
using testsupport::exists;
using testsupport::readFile;
using testsupport::writeFile;


std::vector<std::string> splitTabs(const std::string& line) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    size_t t = line.find('\t', start);
    out.push_back(line.substr(start, t == std::string::npos ? std::string::npos : t - start));
    if (t == std::string::npos) break;
    start = t + 1;
  }
  return out;
}

// The rows of one report section, by marker.
std::vector<std::vector<std::string>> sectionRows(const std::string& report, const std::string& type) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(report);
  std::string line;
  bool inside = false;
  while (std::getline(in, line)) {
    if (line.rfind("!Sample_Type:", 0) == 0) {
      inside = line == "!Sample_Type:" + type;
      std::getline(in, line);  // column line
      continue;
    }
    if (line.rfind("!", 0) == 0) {
      inside = false;
      continue;
    }
    if (inside) rows.push_back(splitTabs(line));
  }
  return rows;
}

// Header lines for n samples of the given classes.
std::string headerOf(const std::vector<std::string>& classes) {
  std::string ids = "Marker\tChr\tPos\tStrand";
  std::string types = "Marker\tChr\tPos\tStrand";
  for (size_t i = 0; i < classes.size(); ++i) {
    ids += "\ts" + std::to_string(i + 1);
    types += "\t" + classes[i];
  }
  return ids + "\n" + types + "\n";
}

std::string snpLine(const std::string& marker, const std::vector<std::string>& genotypes) {
  std::string s = marker + "\t10\t100\t+";
  for (const std::string& g : genotypes) s += "\t" + g;
  return s + "\n";
}

std::vector<std::string> genotypes(std::initializer_list<std::pair<const char*, int>> parts) {
  std::vector<std::string> out;
  for (const auto& [g, n] : parts)
    for (int i = 0; i < n; ++i) out.push_back(g);
  return out;
}

enum Column { kMarker = 0, kAllele, kMissing, kTotal, kValid, kCallRate, kFreq, kChi, kP, kMono, kCall, kMaf, kHwe,
              kTotalFlag };

TEST(HweRun, CallRateAndAlleleFrequencyLimitsAreStrict) {
  TempDir dir;
  std::vector<std::string> ten(10, "x");
  std::string text = headerOf(ten);
  text += snpLine("rsCall70", genotypes({{"A/A", 3}, {"A/G", 4}, {"N/N", 3}}));  // 7/10 = 0.7
  text += snpLine("rsCall60", genotypes({{"A/A", 3}, {"A/G", 3}, {"N/N", 4}}));  // 6/10
  text += snpLine("rsMaf20", genotypes({{"A/A", 3}, {"A/G", 2}, {"N/N", 5}}));   // G 2 of 10
  text += snpLine("rsMaf10", genotypes({{"A/A", 4}, {"A/G", 1}, {"N/N", 5}}));   // G 1 of 10
  writeFile(dir.file("in.geno"), text);

  Hwe hwe(0.1, 0.3, 0.2, 0.05, false, "", "");
  hwe.setFlagClass("M");
  ASSERT_TRUE(hwe.run(dir.file("in.geno").c_str()));
  auto rows = sectionRows(readFile(dir.file("in.geno.flag")), "M");
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0][kCallRate], "0.700");
  EXPECT_EQ(rows[0][kCall], "0");
  EXPECT_EQ(rows[1][kCall], "1");
  EXPECT_EQ(rows[2][kFreq], "0.800/0.200");
  EXPECT_EQ(rows[2][kMaf], "0");
  EXPECT_EQ(rows[3][kMaf], "1");
  // The last SNP line handled: 5 valid of 10.
  EXPECT_EQ(hwe.getTotalCount(), 10);
  EXPECT_EQ(hwe.getValidCount(), 5);
}

TEST(HweRun, HweLimitIsStrict) {
  TempDir dir;
  std::vector<std::string> g = genotypes({{"A/A", 13}, {"A/G", 2}, {"G/G", 5}});
  GenotypeTally tally;
  for (const std::string& x : g) tally.add(x[0], x[1], x[2]);
  SnpQuality q;
  computeSnpQuality(tally, q);
  ASSERT_LT(q.pValue, 0.05);
  writeFile(dir.file("in.geno"), headerOf(std::vector<std::string>(20, "x")) + snpLine("rs1", g));

  {
    Hwe equal(0.1, 0.3, 0.05, q.pValue, false, "", "");
    ASSERT_TRUE(equal.run(dir.file("in.geno").c_str()));
    auto rows = sectionRows(readFile(dir.file("in.geno.flag")), "M");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][kHwe], "0");
    EXPECT_EQ(rows[0][kTotalFlag], "0");
  }
  {
    Hwe above(0.1, 0.3, 0.05, std::nextafter(q.pValue, 1.0), false, "", "");
    ASSERT_TRUE(above.run(dir.file("in.geno").c_str()));
    auto rows = sectionRows(readFile(dir.file("in.geno.flag")), "M");
    EXPECT_EQ(rows[0][kHwe], "1");
    EXPECT_EQ(rows[0][kTotalFlag], "1");
  }
}

TEST(HweRun, MultipleCorrectionDividesOnlyTheWorkingThreshold) {
  TempDir dir;
  std::string text = headerOf({"x", "x"});
  for (int i = 0; i < 4; ++i) text += snpLine("rs" + std::to_string(i), {"A/A", "A/G"});
  // Empty lines after the last SNP line are not SNPs.
  writeFile(dir.file("in.geno"), text + "\n\n");
  Hwe hwe(0.1, 0.3, 0.05, 0.2, true, "", "");
  ASSERT_TRUE(hwe.run(dir.file("in.geno").c_str()));
  EXPECT_DOUBLE_EQ(hwe.getHweThreshold(), 0.2 / 4);
  EXPECT_DOUBLE_EQ(hwe.getHweLimit(), 0.2);
  std::string report = readFile(dir.file("in.geno.flag"));
  EXPECT_NE(report.find("!HWE_Test_Limit:0.200000000\n!Multi_Correction:1\n"), std::string::npos);
}

TEST(HweRun, FlagClassJudgesHweOfTheMergedSection) {
  TempDir dir;
  // Class a: 20 samples far from equilibrium; class b: 20 samples in it.
  std::vector<std::string> classes(20, "a");
  classes.resize(40, "b");
  std::vector<std::string> g = genotypes({{"A/A", 10}, {"G/G", 10}, {"A/A", 5}, {"A/G", 10}, {"G/G", 5}});
  writeFile(dir.file("in.geno"), headerOf(classes) + snpLine("rs1", g));

  Hwe own(0.1, 0.3, 0.05, 0.05, false, "", "");
  own.setFlagClass("M");
  ASSERT_TRUE(own.run(dir.file("in.geno").c_str()));
  std::string report = readFile(dir.file("in.geno.flag"));
  EXPECT_EQ(sectionRows(report, "a")[0][kHwe], "1");
  EXPECT_EQ(sectionRows(report, "b")[0][kHwe], "0");
  auto merged = sectionRows(report, "M")[0];
  EXPECT_EQ(merged[kHwe], "1");  // its own judgement: chi-square 25

  Hwe byB(0.1, 0.3, 0.05, 0.05, false, "", "");
  byB.setFlagClass("b");
  ASSERT_TRUE(byB.run(dir.file("in.geno").c_str()));
  report = readFile(dir.file("in.geno.flag"));
  auto mergedB = sectionRows(report, "M")[0];
  EXPECT_EQ(mergedB[kP], merged[kP]);  // the statistics stay the merged ones
  EXPECT_EQ(mergedB[kHwe], "0");
  EXPECT_EQ(mergedB[kTotalFlag], "0");

  Hwe byUnknown(0.1, 0.3, 0.05, 0.05, false, "", "");
  testing::internal::CaptureStdout();
  byUnknown.setFlagClass("nosuchclass");
  bool ran = byUnknown.run(dir.file("in.geno").c_str());
  std::string out = testing::internal::GetCapturedStdout();
  ASSERT_TRUE(ran);
  EXPECT_EQ(sectionRows(readFile(dir.file("in.geno.flag")), "M")[0][kHwe], "1");
  EXPECT_NE(out.find("flag class nosuchclass is not a class of " + dir.file("in.geno") +
                     ": every section judges Hardy-Weinberg equilibrium on its own samples\n"),
            std::string::npos)
      << out;
}

TEST(HweRun, OutputNamingTheInputOrItsReportIsRefused) {
  TempDir dir;
  std::string text = headerOf({"x", "x"}) + snpLine("rs1", {"A/A", "A/G"});
  writeFile(dir.file("in.geno"), text);
  for (const std::string& out : {dir.file("in.geno"), dir.path() + "/./in.geno", dir.file("in.geno.flag")}) {
    Hwe hwe(0.1, 0.3, 0.05, 0.05, false, out.c_str(), "");
    EXPECT_FALSE(hwe.run(dir.file("in.geno").c_str())) << out;
    EXPECT_EQ(readFile(dir.file("in.geno")), text);
    EXPECT_FALSE(exists(dir.file("in.geno.flag")));
  }
  // A report left by an earlier run, named through a link, is refused too.
  writeFile(dir.file("in.geno.flag"), "old report\n");
  ASSERT_EQ(symlink(dir.file("in.geno.flag").c_str(), dir.file("alias").c_str()), 0);
  Hwe viaLink(0.1, 0.3, 0.05, 0.05, false, dir.file("alias").c_str(), "");
  EXPECT_FALSE(viaLink.run(dir.file("in.geno").c_str()));
  EXPECT_EQ(readFile(dir.file("in.geno.flag")), "old report\n");
  // The hint file must survive too.
  writeFile(dir.file("hint"), "!Sample_Index\n0\n1\n");
  Hwe overHint(0.1, 0.3, 0.05, 0.05, false, dir.file("hint").c_str(), dir.file("hint").c_str());
  EXPECT_FALSE(overHint.run(dir.file("in.geno").c_str()));
  EXPECT_EQ(readFile(dir.file("hint")), "!Sample_Index\n0\n1\n");
}

TEST(HweRun, MalformedSnpLineFailsTheRun) {
  TempDir dir;
  std::string text = headerOf({"x", "x"}) + snpLine("rs1", {"A/A", "A/G"}) + "rs2\t10\t100\n" +
                     snpLine("rs3", {"A/A", "A/G"});
  writeFile(dir.file("in.geno"), text);
  Hwe hwe(0.1, 0.3, 0.05, 0.05, false, dir.file("out.geno").c_str(), "");
  EXPECT_FALSE(hwe.run(dir.file("in.geno").c_str()));
  // Each section stops at the bad line; no filtered line is written.
  std::string report = readFile(dir.file("in.geno.flag"));
  EXPECT_EQ(sectionRows(report, "x").size(), 1u);
  EXPECT_EQ(sectionRows(report, "M").size(), 1u);
  EXPECT_FALSE(exists(dir.file("out.geno")));
  EXPECT_EQ(readFile(dir.file("in.geno")), text);
}

TEST(HweRun, MissingInputAndHeaderlessInputFail) {
  TempDir dir;
  Hwe missing(0.1, 0.3, 0.05, 0.05, false, "", "");
  EXPECT_FALSE(missing.run(dir.file("none.geno").c_str()));
  EXPECT_FALSE(exists(dir.file("none.geno.flag")));
  writeFile(dir.file("empty.geno"), "");
  Hwe empty(0.1, 0.3, 0.05, 0.05, false, "", "");
  EXPECT_FALSE(empty.run(dir.file("empty.geno").c_str()));
}

TEST(HweRun, UnreadableHintFileFailsWithoutFilteredFile) {
  TempDir dir;
  writeFile(dir.file("in.geno"), headerOf({"x", "x"}) + snpLine("rs1", {"A/A", "A/G"}));
  Hwe hwe(0.1, 0.3, 0.05, 0.05, false, dir.file("out.geno").c_str(), dir.file("no-hint").c_str());
  EXPECT_FALSE(hwe.run(dir.file("in.geno").c_str()));
  EXPECT_FALSE(exists(dir.file("out.geno")));
}

TEST(HweRun, CarriageReturnLineEndsGiveTheSameReport) {
  TempDir dir;
  std::string text = headerOf({"a", "b", "a"}) + snpLine("rs1", {"A/A", "A/G", "G/G"}) +
                     snpLine("rs2", {"C/C", "N/N", "C/T"});
  std::string crlf;
  for (char c : text) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  writeFile(dir.file("lf.geno"), text);
  writeFile(dir.file("crlf.geno"), crlf);
  Hwe lf(0.1, 0.3, 0.05, 0.05, false, dir.file("lf.out").c_str(), "");
  ASSERT_TRUE(lf.run(dir.file("lf.geno").c_str()));
  Hwe cr(0.1, 0.3, 0.05, 0.05, false, dir.file("crlf.out").c_str(), "");
  ASSERT_TRUE(cr.run(dir.file("crlf.geno").c_str()));
  EXPECT_EQ(readFile(dir.file("lf.geno.flag")), readFile(dir.file("crlf.geno.flag")));
  // rs2 has a call rate of 2/3 and is dropped; lines end in "\n" only.
  EXPECT_EQ(readFile(dir.file("crlf.out")), readFile(dir.file("lf.out")));
  EXPECT_EQ(readFile(dir.file("crlf.out")), headerOf({"a", "b", "a"}) + snpLine("rs1", {"A/A", "A/G", "G/G"}));
}

TEST(HweRun, ShortAndMalformedColumnsAreNotCounted) {
  TempDir dir;
  std::string text = headerOf({"x", "x", "x", "x"});
  text += "rs1\t10\t100\t+\tA/A\tA/G\n";            // two of four columns
  text += "rs2\t10\t100\t+\tA/A\t\tA/GG\tG/G\n";    // an empty and a long column
  text += "rs3\t10\t100\t+\tA/A\tA/A\tA/A\tA/A\tC/C\t\n";  // one extra column
  writeFile(dir.file("in.geno"), text);
  Hwe hwe(0.1, 0.3, 0.05, 0.05, false, "", "");
  ASSERT_TRUE(hwe.run(dir.file("in.geno").c_str()));
  auto rows = sectionRows(readFile(dir.file("in.geno.flag")), "M");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0][kTotal], "2");
  EXPECT_EQ(rows[0][kMissing], "0");
  EXPECT_EQ(rows[1][kTotal], "2");
  EXPECT_EQ(rows[1][kAllele], "G/A");
  EXPECT_EQ(rows[2][kTotal], "4");
  EXPECT_EQ(rows[2][kAllele], "A");
}

TEST(HweRun, LongLinesAreRead) {
  TempDir dir;
  const int samples = 6000;  // a SNP line of 24,000 bytes, a class line longer still
  std::vector<std::string> classes(samples, "a_long_class_name_for_the_test");
  std::vector<std::string> g(samples, "A/G");
  g[0] = "A/A";
  g[1] = "G/G";
  writeFile(dir.file("in.geno"), headerOf(classes) + snpLine("rs1", g));
  Hwe hwe(0.1, 0.3, 0.05, 0.05, false, "", "");
  ASSERT_TRUE(hwe.run(dir.file("in.geno").c_str()));
  auto rows = sectionRows(readFile(dir.file("in.geno.flag")), "M");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][kValid], "6000");
}

}  // namespace
