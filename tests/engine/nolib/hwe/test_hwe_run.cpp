// The flagging run's limits and failure paths. The report layout, class
// sections, the flag class, CRLF input, short columns and the refusal of
// the input or its report as output are pinned by tests/e2e/cases/preflag.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "hwe/Hwe.h"
#include "hwe/SnpQuality.h"
#include "support/TestFiles.h"

namespace {

using testsupport::exists;
using testsupport::readFile;
using testsupport::ScratchDir;
using testsupport::writeFile;

enum Column { kValid = 4, kCallRate, kFreq, kChi, kP, kMono, kCall, kMaf, kHwe, kTotalFlag };
using Rows = std::vector<std::vector<std::string>>;

// The rows of one report section, split at tabs.
Rows sectionRows(const std::string& report, const std::string& type) {
  Rows rows;
  std::istringstream in(report);
  bool inside = false;
  for (std::string line; std::getline(in, line);) {
    if (line[0] == '!') {
      inside = line == "!Sample_Type:" + type;
      if (inside) std::getline(in, line);  // the column line
    } else if (inside) {
      std::istringstream cells(line);
      rows.emplace_back();
      for (std::string c; std::getline(cells, c, '\t');) rows.back().push_back(c);
    }
  }
  return rows;
}

Rows flagRows(const ScratchDir& dir, const std::string& type = "M") {
  return sectionRows(readFile(dir.file("in.geno.flag")), type);
}

std::string headerOf(const std::vector<std::string>& classes) {
  std::string ids = "Marker\tChr\tPos\tStrand", types = ids;
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
  for (const auto& [g, n] : parts) out.insert(out.end(), n, g);
  return out;
}

TEST(HweRun, CallRateAndAlleleFrequencyLimitsAreStrict) {
  ScratchDir dir;
  std::string text = headerOf(std::vector<std::string>(10, "x"));
  text += snpLine("rsCall70", genotypes({{"A/A", 3}, {"A/G", 4}, {"N/N", 3}}));  // 7/10 = 0.7
  text += snpLine("rsCall60", genotypes({{"A/A", 3}, {"A/G", 3}, {"N/N", 4}}));  // 6/10
  text += snpLine("rsMaf20", genotypes({{"A/A", 3}, {"A/G", 2}, {"N/N", 5}}));   // G 2 of 10
  text += snpLine("rsMaf10", genotypes({{"A/A", 4}, {"A/G", 1}, {"N/N", 5}}));   // G 1 of 10
  writeFile(dir.file("in.geno"), text);

  Hwe hwe(0.1, 0.3, 0.2, 0.05, false, "", "");
  ASSERT_TRUE(hwe.run(dir.file("in.geno").c_str()));
  Rows rows = flagRows(dir);
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
  ScratchDir dir;
  std::vector<std::string> g = genotypes({{"A/A", 13}, {"A/G", 2}, {"G/G", 5}});
  GenotypeTally tally;
  for (const std::string& x : g) tally.add(x[0], x[1], x[2]);
  SnpQuality q;
  computeSnpQuality(tally, q);
  ASSERT_LT(q.pValue, 0.05);
  writeFile(dir.file("in.geno"), headerOf(std::vector<std::string>(20, "x")) + snpLine("rs1", g));
  for (auto [limit, flag] : {std::pair{q.pValue, "0"}, std::pair{std::nextafter(q.pValue, 1.0), "1"}}) {
    Hwe hwe(0.1, 0.3, 0.05, limit, false, "", "");
    ASSERT_TRUE(hwe.run(dir.file("in.geno").c_str()));
    Rows rows = flagRows(dir);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][kHwe], flag);
    EXPECT_EQ(rows[0][kTotalFlag], flag);
  }
}

TEST(HweRun, MultipleCorrectionDividesOnlyTheWorkingThreshold) {
  ScratchDir dir;
  std::string text = headerOf({"x", "x"});
  for (int i = 0; i < 4; ++i) text += snpLine("rs" + std::to_string(i), {"A/A", "A/G"});
  // Empty lines after the last SNP line are not SNPs.
  writeFile(dir.file("in.geno"), text + "\n\n");
  Hwe hwe(0.1, 0.3, 0.05, 0.2, true, "", "");
  ASSERT_TRUE(hwe.run(dir.file("in.geno").c_str()));
  EXPECT_DOUBLE_EQ(hwe.getHweThreshold(), 0.2 / 4);
  EXPECT_DOUBLE_EQ(hwe.getHweLimit(), 0.2);
  EXPECT_NE(readFile(dir.file("in.geno.flag")).find("!HWE_Test_Limit:0.200000000\n!Multi_Correction:1\n"),
            std::string::npos);
}

TEST(HweRun, UnknownFlagClassIsReportedAndEverySectionJudgesItself) {
  ScratchDir dir;
  // Class a far from equilibrium, class b in it, all samples: chi-square 25.
  std::vector<std::string> classes(20, "a");
  classes.resize(40, "b");
  writeFile(dir.file("in.geno"), headerOf(classes) + snpLine("rs1", genotypes({{"A/A", 10}, {"G/G", 10}, {"A/A", 5},
                                                                               {"A/G", 10}, {"G/G", 5}})));
  Hwe hwe(0.1, 0.3, 0.05, 0.05, false, "", "");
  testing::internal::CaptureStdout();
  hwe.setFlagClass("nosuchclass");
  bool ran = hwe.run(dir.file("in.geno").c_str());
  std::string out = testing::internal::GetCapturedStdout();
  ASSERT_TRUE(ran);
  EXPECT_EQ(flagRows(dir)[0][kHwe], "1");
  EXPECT_NE(out.find("flag class nosuchclass is not a class of " + dir.file("in.geno") +
                     ": every section judges Hardy-Weinberg equilibrium on its own samples\n"),
            std::string::npos)
      << out;
}

TEST(HweRun, OutputNamingAnEarlierReportOrTheHintFileIsRefused) {
  ScratchDir dir;
  writeFile(dir.file("in.geno"), headerOf({"x", "x"}) + snpLine("rs1", {"A/A", "A/G"}));
  // A report left by an earlier run, named through a link.
  writeFile(dir.file("in.geno.flag"), "old report\n");
  ASSERT_EQ(symlink(dir.file("in.geno.flag").c_str(), dir.file("alias").c_str()), 0);
  Hwe viaLink(0.1, 0.3, 0.05, 0.05, false, dir.file("alias").c_str(), "");
  EXPECT_FALSE(viaLink.run(dir.file("in.geno").c_str()));
  EXPECT_EQ(readFile(dir.file("in.geno.flag")), "old report\n");
  writeFile(dir.file("hint"), "!Sample_Index\n0\n1\n");
  Hwe overHint(0.1, 0.3, 0.05, 0.05, false, dir.file("hint").c_str(), dir.file("hint").c_str());
  EXPECT_FALSE(overHint.run(dir.file("in.geno").c_str()));
  EXPECT_EQ(readFile(dir.file("hint")), "!Sample_Index\n0\n1\n");
}

TEST(HweRun, FailedRunsLeaveNoFilteredFile) {
  const std::string good = headerOf({"x", "x"}) + snpLine("rs1", {"A/A", "A/G"});
  struct Case {
    const char* input;
    std::string text;
    const char* hint;
  } cases[] = {
      {"in.geno", good + "rs2\t10\t100\n" + snpLine("rs3", {"A/A", "A/G"}), ""},  // malformed SNP line
      {"in.geno", good, "no-hint"},                                                // unreadable hint file
      {"in.geno", "", ""},                                                         // no header lines
      {"none.geno", "", ""},                                                       // no input
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    writeFile(dir.file("in.geno"), c.text);
    std::string hint = *c.hint ? dir.file(c.hint) : "";
    Hwe hwe(0.1, 0.3, 0.05, 0.05, false, dir.file("out.geno").c_str(), hint.c_str());
    EXPECT_FALSE(hwe.run(dir.file(c.input).c_str())) << c.text << c.hint;
    EXPECT_FALSE(exists(dir.file("out.geno"))) << c.text << c.hint;
    EXPECT_FALSE(exists(dir.file("none.geno.flag")));
  }
}

TEST(HweRun, LongLinesAreRead) {
  ScratchDir dir;
  const int samples = 6000;  // a SNP line of 24,000 bytes, a class line longer still
  std::vector<std::string> g(samples, "A/G");
  g[0] = "A/A";
  g[1] = "G/G";
  writeFile(dir.file("in.geno"),
            headerOf(std::vector<std::string>(samples, "a_long_class_name_for_the_test")) + snpLine("rs1", g));
  Hwe hwe(0.1, 0.3, 0.05, 0.05, false, "", "");
  ASSERT_TRUE(hwe.run(dir.file("in.geno").c_str()));
  Rows rows = flagRows(dir);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][kValid], "6000");
}

}  // namespace

// With one sample type per sample the sections' rows cannot all wait in
// memory: they spill in chunks to the scratch file and must come back whole
// and in order. Each type's section is then its one sample's judgement and
// the merge is that of the same genotypes under a single type.
TEST(HweRun, ManySampleTypesComeBackWholeAndInOrder) {
  const size_t samples = 1200, snps = 300;
  std::vector<std::string> types(samples), one(samples, "a");
  for (size_t i = 0; i < samples; ++i) types[i] = "t" + std::to_string(i);
  const char* const pool[] = {"A/A", "A/G", "G/G", "N/N", "C/C"};
  unsigned state = 12345;
  std::string body;
  std::vector<std::string> firstColumn, lastColumn;
  for (size_t s = 0; s < snps; ++s) {
    std::vector<std::string> g(samples);
    for (std::string& x : g) {
      state = state * 1103515245u + 12345u;
      x = pool[(state >> 16) % (s % 7 == 0 ? 5 : 3)];
    }
    firstColumn.push_back(g.front());
    lastColumn.push_back(g.back());
    body += snpLine("rs" + std::to_string(s), g);
  }
  ScratchDir many, single, first, last;
  writeFile(many.file("in.geno"), headerOf(types) + body);
  writeFile(single.file("in.geno"), headerOf(one) + body);
  std::string firstBody, lastBody;
  for (size_t s = 0; s < snps; ++s) {
    firstBody += snpLine("rs" + std::to_string(s), {firstColumn[s]});
    lastBody += snpLine("rs" + std::to_string(s), {lastColumn[s]});
  }
  writeFile(first.file("in.geno"), headerOf({"a"}) + firstBody);
  writeFile(last.file("in.geno"), headerOf({"a"}) + lastBody);
  for (ScratchDir* dir : {&many, &single, &first, &last}) {
    Hwe hwe(0.1, 0.3, 0.05, 0.05, false, "", "");
    ASSERT_TRUE(hwe.run(dir->file("in.geno").c_str()));
  }
  Rows merged = flagRows(many);
  ASSERT_EQ(merged.size(), snps);
  EXPECT_EQ(merged, flagRows(single));
  EXPECT_EQ(flagRows(many, "t0"), flagRows(first));
  EXPECT_EQ(flagRows(many, "t" + std::to_string(samples - 1)), flagRows(last));
  for (size_t i = 0; i < samples; i += 97) EXPECT_EQ(flagRows(many, types[i]).size(), snps) << types[i];
}
