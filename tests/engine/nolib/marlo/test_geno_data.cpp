#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "common_sgt/Settings.h"
#include "marlo/GenoData.h"
#include "marlo_test_util.h"

namespace {

using marlotest::captureStdout;
using marlotest::writeFile;

// A genotype file from sample types and marker rows of genotypes.
std::string genoText(const std::vector<std::string>& types, const std::vector<std::vector<std::string>>& rows) {
  std::string s = "Marker\tChr\tPos\tStrand";
  for (size_t j = 0; j < types.size(); ++j) s += "\ts" + std::to_string(j + 1);
  s += "\nType\t.\t.\t.";
  for (const auto& t : types) s += "\t" + t;
  s += "\n";
  for (size_t k = 0; k < rows.size(); ++k) {
    s += "rs" + std::to_string(k + 1) + "\t5\t" + std::to_string(1000 * (k + 1)) + "\t+";
    for (const auto& g : rows[k]) s += "\t" + g;
    s += "\n";
  }
  return s;
}

// Header and data of one type loaded from content; the output of loadData.
std::string load(GenoData& d, const std::string& content, const char* type, const char* name = "geno") {
  const std::string path = writeFile(name, content);
  EXPECT_TRUE(captureStdout([&] { return d.loadHeader(path.c_str()); }).first);
  auto [ok, out] = captureStdout([&] { return d.loadData(path.c_str(), type); });
  EXPECT_TRUE(ok) << out;
  return out;
}

}  // namespace

TEST(GenoDataHeader, SampleTypeOrder) {
  // Unsigned byte order with a prefix first, "0" traded to the front (the
  // exchange itself is pinned by the end-to-end cases), "M" appended even
  // when the file has a type of that name.
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"case", "control", "0", "case", "0"}, "0:2 case:2 control:1 M:5 "},
      {{"\xc3\xa9", "xy", "x", "B"}, "B:1 x:1 xy:1 \xc3\xa9:1 M:4 "},
      {{"M", "a", "M"}, "M:2 a:1 M:3 "},
  };
  for (const auto& [types, table] : cases) {
    GenoData d;
    const std::string path = writeFile("order", genoText(types, {std::vector<std::string>(types.size(), "A/A")}));
    ASSERT_TRUE(d.loadHeader(path.c_str()));
    std::string names;
    for (const auto& e : d.sampleTypeTable) names += e.name + ":" + std::to_string(e.count) + " ";
    EXPECT_EQ(names, table);
    EXPECT_EQ(d.m_SampleTypeTableSize + 1, static_cast<int>(d.sampleTypeTable.size()));
    EXPECT_EQ(d.typeIndex.at("M"), d.m_SampleTypeTableSize);
    EXPECT_EQ(d.m_MergeSampleCount, static_cast<int>(types.size()));
  }
  // Loading "M" takes every column, also when the file names a type "M".
  // Allele letters are in signed character order, and so are the two
  // letters of a genotype text.
  GenoData d;
  load(d, genoText({"M", "a", "M"}, {{"A/\xe9", "b/A", "A/A"}}), "M");
  EXPECT_EQ(d.selectedColumns, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(d.m_ChromosomeNo, "5");
  EXPECT_EQ(d.m_ori_nummarker, 1);
  EXPECT_EQ(d.alleleText(0), "\xe9/A/b");
  ASSERT_EQ(d.m_numpheno, 3);
  EXPECT_EQ(d.phenotypes[0].genotype + " " + d.phenotypes[1].genotype,
            "\xe9"
            "A Ab");
}

TEST(GenoDataLoad, GroupsByGenotypeTextInOrderOfFirstAppearance) {
  GenoData d;
  const std::string content = genoText(
      {"case", "ctrl", "case", "case", "case"},
      {{"G/A", "A/A", "A/G", "N/A", "A/G"}, {"C/C", "C/C", "C/C", "C/C", "C/T"}, {"N/N", "T/T", "N/N", "G/T", "N/N"}});
  EXPECT_EQ(load(d, content, "case"), "GenoData::loadData Phenotype #: 3\nLoading pheno...[COUNT:4]\n");
  EXPECT_EQ(d.m_numindiv, 4);
  EXPECT_EQ(d.selectedColumns, (std::vector<int>{0, 2, 3, 4}));
  ASSERT_EQ(d.m_numpheno, 3);
  ASSERT_EQ(d.phenotypes.size(), 3u);
  // G/A and A/G both read AG: s1 and s3 are one phenotype.
  EXPECT_EQ(d.phenotypes[0].genotype, "AGCCNN");
  EXPECT_EQ(d.phenotypes[0].count, 2);
  EXPECT_EQ(d.phenotypes[0].memberIndex, (std::vector<int>{0, 1}));
  EXPECT_EQ(d.phenotypes[0].memberId, (std::vector<std::string>{"s1", "s3"}));
  EXPECT_EQ(d.phenotypes[1].genotype, "ANCCGT");
  EXPECT_EQ(d.phenotypes[1].memberIndex, (std::vector<int>{2}));
  EXPECT_EQ(d.phenotypes[2].genotype, "AGCTNN");
  EXPECT_EQ(d.phenotypes[2].memberId, (std::vector<std::string>{"s5"}));
  // N never enters an allele set; letters come from the loaded type only.
  EXPECT_EQ(d.alleleText(0) + " " + d.alleleText(1) + " " + d.alleleText(2), "A/G C/T G/T");
  EXPECT_EQ(d.markerIds, (std::vector<std::string>{"rs1", "rs2", "rs3"}));
  EXPECT_EQ(d.positions, (std::vector<int>{1000, 2000, 3000}));
  EXPECT_EQ(d.idToType.at("s4"), "case");
  EXPECT_EQ(d.idToType.count("s2"), 0u);

  // The next type replaces the per-type data; an unknown type counts zero.
  load(d, content, "ctrl");
  EXPECT_EQ(d.m_numpheno, 1);
  EXPECT_EQ(d.phenotypes[0].genotype, "AACCTT");
  EXPECT_EQ(d.alleleText(0) + " " + d.alleleText(2), "A T");
  EXPECT_EQ(load(d, content, "zz"), "Sample type 'zz' counts 0\n");
  EXPECT_EQ(d.m_numindiv, 0);
  EXPECT_EQ(d.m_numpheno, 0);
}

TEST(GenoDataLoad, WindowsLineEndsAndLongLines) {
  // Windows line ends, an empty last line among them (the end-to-end cases
  // have Unix ones).
  std::string crlf;
  for (char c : genoText({"a", "a"}, {{"A/A", "A/C"}, {"G/G", "G/G"}}) + "\n")
    crlf += c == '\n' ? "\r\n" : std::string(1, c);
  GenoData w;
  load(w, crlf, "a");
  EXPECT_EQ(w.m_ori_nummarker, 2);
  EXPECT_EQ(w.sampleTypes, (std::vector<std::string>{"a", "a"}));
  ASSERT_EQ(w.m_numpheno, 2);
  EXPECT_EQ(w.phenotypes[1].genotype, "ACGG");
  // A marker line of 120,000 bytes.
  const int n = 30000;
  std::vector<std::string> row(n, "C/C");
  row[n - 1] = "T/C";
  GenoData d;
  load(d, genoText(std::vector<std::string>(n, "t"), {row, row}), "t");
  ASSERT_EQ(d.m_numpheno, 2);
  EXPECT_EQ(d.phenotypes[0].count, n - 1);
  EXPECT_EQ(d.phenotypes[1].genotype, "CTCT");
  EXPECT_EQ(d.phenotypes[1].memberId[0], "s30000");
}

TEST(GenoDataLoad, HashedGroupingMatchesPairwiseComparison) {
  std::mt19937 rng(7);
  const char* letters[] = {"A/A", "A/G", "G/A", "G/G", "N/N", "N/G"};
  for (int round = 0; round < 20; ++round) {
    const int n = 1 + rng() % 60, markers = 1 + rng() % 5;
    std::vector<std::string> types(n);
    for (auto& t : types) t = rng() % 2 ? "x" : "y";
    std::vector<std::vector<std::string>> rows(markers, std::vector<std::string>(n));
    for (auto& r : rows)
      for (auto& g : r) g = letters[rng() % (round % 2 ? 6 : 3)];
    GenoData d;
    load(d, genoText(types, rows), "M");
    // Every individual joins the first earlier one with an equal text.
    std::vector<std::string> groups;
    std::vector<std::vector<int>> members;
    for (int i = 0; i < n; ++i) {
      std::string text;
      for (int k = 0; k < markers; ++k) {
        text += std::min(rows[k][i][0], rows[k][i][2]);
        text += std::max(rows[k][i][0], rows[k][i][2]);
      }
      size_t g = 0;
      while (g < groups.size() && groups[g] != text) ++g;
      if (g == groups.size()) {
        groups.push_back(text);
        members.emplace_back();
      }
      members[g].push_back(i);
    }
    ASSERT_EQ(d.m_numpheno, static_cast<int>(groups.size()));
    for (size_t g = 0; g < groups.size(); ++g) {
      EXPECT_EQ(d.phenotypes[g].genotype, groups[g]);
      EXPECT_EQ(d.phenotypes[g].memberIndex, members[g]);
      EXPECT_EQ(d.phenotypes[g].count, static_cast<int>(members[g].size()));
    }
  }
}

// Malformed input the end-to-end cases do not reach: refused with a message
// naming the problem, and no half-loaded data kept.
TEST(GenoDataLoad, MalformedInputIsRefused) {
  struct Case {
    std::string content;
    bool headerOk;
    const char* message;
  };
  const std::string head = "a\tb\tc\td\ts1\nT\t.\t.\t.\tx\nrs1\t1\t1\t+\tA/A\n";
  const std::vector<Case> cases = {
      {"a\tb\tc\td\ts1\n", false, "line 2 (sample types) is missing"},
      {head + "rs2\t1\t2\t+\n", true, "line 4 (marker #1): fewer than four tabs"},
      {head + "rs2\t1\t2\t+\tA/AA\n", true, "genotype 'A/AA' of sample column 1 is not three characters"},
      {head + "rs2\t1\t99999999999\t+\tA/A\n", true, "position '99999999999' is not a decimal integer"},
      {head + "rs2\t1\t2147483648\t+\tA/A\n", true, "position '2147483648' is not a decimal integer"},
  };
  for (const Case& c : cases) {
    const std::string path = writeFile("bad", c.content);
    GenoData d;
    auto h = captureStdout([&] { return d.loadHeader(path.c_str()); });
    ASSERT_EQ(h.first, c.headerOk) << h.second;
    auto l = captureStdout([&] { return d.loadData(path.c_str(), "M"); });
    EXPECT_FALSE(l.first);
    EXPECT_NE((h.second + l.second).find(c.message), std::string::npos) << h.second << l.second;
    EXPECT_EQ(d.m_numindiv, 0);
    EXPECT_EQ(d.m_numpheno, 0);
    EXPECT_TRUE(d.phenotypes.empty());
    EXPECT_TRUE(d.markerIds.empty());
  }
}

TEST(GenoDataLoad, FileChangedAfterTheHeader) {
  GenoData d;
  const std::string missing = marlotest::tempPath("does_not_exist.geno");
  EXPECT_FALSE(captureStdout([&] { return d.loadHeader(missing.c_str()); }).first);
  EXPECT_EQ(d.headerState(), GenoData::HeaderState::kCannotOpen);
  // Shortened between the header and the data.
  const std::string path = writeFile("shrink", genoText({"a"}, {{"A/A"}, {"C/C"}}));
  ASSERT_TRUE(d.loadHeader(path.c_str()));
  writeFile("shrink", genoText({"a"}, {{"A/A"}}));
  auto c = captureStdout([&] { return d.loadData(path.c_str(), "a"); });
  EXPECT_FALSE(c.first);
  EXPECT_NE(c.second.find("line 4 (marker #1): the file ends before the 2 marker lines counted"), std::string::npos)
      << c.second;
  EXPECT_TRUE(d.phenotypes.empty());
  // Gone.
  unlink(path.c_str());
  c = captureStdout([&] { return d.loadData(path.c_str(), "a"); });
  EXPECT_FALSE(c.first);
  EXPECT_EQ(c.second, "GenoData::loadData cannot open " + path + "\n");
}

TEST(GenoDataLoad, DebugTraces) {
  const std::string path = writeFile("debug", genoText({"b", "a", "b"}, {{"A/A", "A/C", "C/C"}}));
  GenoData d;
  marlotest::Scoped<int> debug(g_debugLevel, 2);
  auto h = captureStdout([&] { return d.loadHeader(path.c_str()); });
  auto c = captureStdout([&] { return d.loadData(path.c_str(), "b"); });
  EXPECT_EQ(h.second,
            "GenoData::loadHeader " + path +
                "\n m_MergeSampleCount = 3\n Samples = [s1],[s2],...[s3]\n m_SampleTypeTableSize = 2\n"
                "    types[\"a\"] = (1)\n    types[\"b\"] = (2)\n m_ChromosomeNo = 5\n m_ori_nummarker = 1\n");
  EXPECT_EQ(c.second,
            "GenoData::loadData(sample type =\"b\")\n m_nummarker = 1\n m_numindiv/total = 2/3\n"
            "GenoData::loadData Phenotype #: 2\nLoading pheno...[COUNT:2]\n");
}

// Loading with several threads takes the marker lines in batches split
// between them: the data, the messages and the outcome must be those of a
// single thread, including which of several malformed lines is reported
// (the first) and where a batch boundary falls.
TEST(GenoDataLoad, WorkersGiveTheDataAndMessagesOfOneThread) {
  std::mt19937 rng(11);
  const char* letters[] = {"A/A", "A/G", "G/G", "N/N", "C/T", "T/N"};
  // Each keeps or shifts the line's length; "A/\t" leaves a two-letter
  // field and an empty one where one genotype was.
  const std::vector<std::string> flaws = {"A/AA", "A/", "A\t/A", "", "A/A\textra", "A/\t"};
  for (int round = 0; round < 14; ++round) {
    const int n = 2 + static_cast<int>(rng() % 40);
    const int markers = round < 4 ? 1023 + static_cast<int>(rng() % 3) : 1 + static_cast<int>(rng() % 2500);
    std::vector<std::string> types(n);
    for (auto& t : types) t = rng() % 2 ? "x" : "y";
    std::vector<std::vector<std::string>> rows(markers, std::vector<std::string>(n));
    for (auto& r : rows)
      for (auto& g : r) g = letters[rng() % 6];
    std::string content = genoText(types, rows);
    // One flawed line (even rounds: every flaw alone once) or two (the
    // second may come before the first), or a position that is no number;
    // round 0 stays clean.
    bool refused = false;
    int firstBad = markers;  // the marker whose line must be reported
    for (int f = 0; f < (round == 0 ? 0 : 1 + round % 2); ++f) {
      const int k = static_cast<int>(rng() % markers);
      const size_t lineStart = content.find("\nrs" + std::to_string(k + 1) + "\t") + 1;
      const size_t lineEnd = content.find('\n', lineStart);
      std::string line = content.substr(lineStart, lineEnd - lineStart);
      if (round % 7 == 6) {
        line.replace(line.find('\t', line.find('\t') + 1) + 1, 1, "x");
        refused = true;
        firstBad = std::min(firstBad, k);
      } else {
        const size_t sample = rng() % n;
        const std::string& flaw = flaws[(round / 2 + f) % flaws.size()];
        line.replace(line.find("\t+\t") + 3 + 4 * sample, 3, flaw);
        // Only columns after the last sample's are ignored.
        if (!(flaw == "A/A\textra" && sample + 1 == static_cast<size_t>(n))) {
          refused = true;
          firstBad = std::min(firstBad, k);
        }
      }
      content.replace(lineStart, lineEnd - lineStart, line);
    }
    // Every fifth file loses lines between the header and the data (it
    // ends before the lines counted), possibly in the batch read ahead.
    // The last line kept has a bad position: it, not the end, is reported.
    const bool cut = round % 5 == 3 && markers > 2;
    std::string shorter = content;
    if (cut) {
      const int kept = 1 + static_cast<int>(rng() % static_cast<unsigned>(markers - 1));
      const size_t lastKept = content.find("\nrs" + std::to_string(kept) + "\t") + 1;
      const size_t position = content.find('\t', content.find('\t', lastKept) + 1) + 1;
      content[position] = 'y';
      shorter = content.substr(0, content.find('\n', lastKept) + 1);
      refused = true;
      firstBad = std::min(firstBad, kept - 1);
    }
    const std::string path = writeFile("workers", content);
    std::string expectedOut;
    bool expectedOk = false;
    GenoData one;
    for (unsigned workers : {1u, 2u, 3u, 7u}) {
      GenoData d;
      d.setWorkers(workers);
      writeFile("workers", content);
      ASSERT_TRUE(captureStdout([&] { return d.loadHeader(path.c_str()); }).first);
      if (cut) writeFile("workers", shorter);
      auto [ok, out] = captureStdout([&] { return d.loadData(path.c_str(), round % 3 ? "M" : "x"); });
      if (workers == 1) {
        expectedOk = ok;
        expectedOut = out;
        one = d;
        continue;
      }
      ASSERT_EQ(ok, expectedOk) << "round " << round << " workers " << workers;
      ASSERT_EQ(out, expectedOut) << "round " << round << " workers " << workers;
      ASSERT_EQ(d.m_numpheno, one.m_numpheno);
      for (int p = 0; p < d.m_numpheno; ++p) {
        EXPECT_EQ(d.phenotypes[p].genotype, one.phenotypes[p].genotype);
        EXPECT_EQ(d.phenotypes[p].memberIndex, one.phenotypes[p].memberIndex);
      }
      EXPECT_EQ(d.markerIds, one.markerIds);
      EXPECT_EQ(d.positions, one.positions);
      for (int k = 0; k < d.m_nummarker && ok; ++k) EXPECT_EQ(d.alleleText(k), one.alleleText(k));
    }
    EXPECT_EQ(expectedOk, !refused) << "round " << round << ": " << expectedOut;
    if (refused) {
      // One message, about the first bad line.
      const size_t at = expectedOut.find("GenoData::loadData ");
      EXPECT_NE(expectedOut.find("(marker #" + std::to_string(firstBad) + ")", at), std::string::npos)
          << "round " << round << ": " << expectedOut;
      EXPECT_EQ(expectedOut.find("GenoData::loadData ", at + 1), std::string::npos) << "round " << round << ": " << expectedOut;
    }
  }
}
