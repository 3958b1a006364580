#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "common_sgt/Settings.h"
#include "marlo/GenoData.h"

namespace {

std::string tempPath(const std::string& name) {
  return testing::TempDir() + "genodata_" + std::to_string(getpid()) + "_" + name;
}

std::string writeFile(const std::string& name, const std::string& content) {
  std::string path = tempPath(name);
  FILE* fp = fopen(path.c_str(), "wb");
  EXPECT_NE(fp, nullptr);
  fwrite(content.data(), 1, content.size(), fp);
  fclose(fp);
  return path;
}

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

std::vector<std::string> tableNames(const GenoData& d) {
  std::vector<std::string> names;
  for (const auto& e : d.sampleTypeTable) names.push_back(e.name);
  return names;
}

struct Captured {
  bool result;
  std::string out;
};

template <typename F>
Captured capture(F f) {
  testing::internal::CaptureStdout();
  bool r = f();
  return {r, testing::internal::GetCapturedStdout()};
}

}  // namespace

TEST(GenoDataHeader, ZeroTypeGoesFirstAndMergedTypeLast) {
  auto path = writeFile("order1", genoText({"case", "control", "0", "case", "0"}, {{"A/A", "A/A", "A/A", "A/A", "A/A"}}));
  GenoData d;
  ASSERT_TRUE(d.loadHeader(path.c_str()));
  EXPECT_EQ(tableNames(d), (std::vector<std::string>{"0", "case", "control", "M"}));
  EXPECT_EQ(d.m_SampleTypeTableSize, 3);
  EXPECT_EQ(d.sampleTypeTable[0].count, 2);
  EXPECT_EQ(d.sampleTypeTable[1].count, 2);
  EXPECT_EQ(d.sampleTypeTable[2].count, 1);
  EXPECT_EQ(d.sampleTypeTable[3].count, 5);
  EXPECT_EQ(d.typeIndex.at("0"), 0);
  EXPECT_EQ(d.typeIndex.at("M"), 3);
  EXPECT_EQ(d.m_MergeSampleCount, 5);
  EXPECT_EQ(d.m_ChromosomeNo, "5");
  EXPECT_EQ(d.m_ori_nummarker, 1);
  EXPECT_EQ(d.m_nummarker, 1);
}

TEST(GenoDataHeader, PlainByteOrderWithoutZero) {
  auto path = writeFile("order2", genoText({"b", "a", "b"}, {{"A/A", "A/A", "A/A"}}));
  GenoData d;
  ASSERT_TRUE(d.loadHeader(path.c_str()));
  EXPECT_EQ(tableNames(d), (std::vector<std::string>{"a", "b", "M"}));
}

TEST(GenoDataHeader, ZeroIsExchangedWithTheFirstTypeNotShifted) {
  auto path = writeFile("order3", genoText({"x", "0", "-", "+"}, {{"A/A", "A/A", "A/A", "A/A"}}));
  GenoData d;
  ASSERT_TRUE(d.loadHeader(path.c_str()));
  // Sorted: + - 0 x; "0" trades places with "+".
  EXPECT_EQ(tableNames(d), (std::vector<std::string>{"0", "-", "+", "x", "M"}));
  EXPECT_EQ(d.sampleTypeTable[2].count, 1);
}

TEST(GenoDataHeader, UnsignedByteOrderAndPrefixFirst) {
  auto path = writeFile("order4", genoText({"\xc3\xa9", "xy", "x", "B"}, {{"A/A", "A/A", "A/A", "A/A"}}));
  GenoData d;
  ASSERT_TRUE(d.loadHeader(path.c_str()));
  EXPECT_EQ(tableNames(d), (std::vector<std::string>{"B", "x", "xy", "\xc3\xa9", "M"}));
}

TEST(GenoDataHeader, SingleZeroTypeStaysAndMergedTypeOfTheFileIsShadowed) {
  auto path = writeFile("order5", genoText({"M", "a", "M"}, {{"A/C", "A/A", "C/C"}}));
  GenoData d;
  ASSERT_TRUE(d.loadHeader(path.c_str()));
  EXPECT_EQ(tableNames(d), (std::vector<std::string>{"M", "a", "M"}));
  EXPECT_EQ(d.typeIndex.at("M"), 2);
  // Loading "M" always takes every column.
  auto c = capture([&] { return d.loadData(path.c_str(), "M"); });
  ASSERT_TRUE(c.result);
  EXPECT_EQ(d.m_numindiv, 3);
  EXPECT_EQ(d.selectedColumns, (std::vector<int>{0, 1, 2}));
}

TEST(GenoDataLoad, GroupsByGenotypeTextInOrderOfFirstAppearance) {
  // Columns: s1 case, s2 ctrl, s3 case, s4 case, s5 case
  auto path = writeFile("group", genoText({"case", "ctrl", "case", "case", "case"},
                                          {{"G/A", "A/A", "A/G", "N/A", "A/G"},
                                           {"C/C", "C/C", "C/C", "C/C", "C/T"},
                                           {"N/N", "T/T", "N/N", "G/T", "N/N"}}));
  GenoData d;
  ASSERT_TRUE(d.loadHeader(path.c_str()));
  auto c = capture([&] { return d.loadData(path.c_str(), "case"); });
  ASSERT_TRUE(c.result);
  EXPECT_EQ(c.out, "GenoData::loadData Phenotype #: 3\nLoading pheno...[COUNT:4]\n");
  EXPECT_EQ(d.m_numindiv, 4);
  EXPECT_EQ(d.m_numpheno, 3);
  EXPECT_EQ(d.selectedColumns, (std::vector<int>{0, 2, 3, 4}));
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
  EXPECT_EQ(d.alleleText(0), "A/G");
  EXPECT_EQ(d.alleleText(1), "C/T");
  EXPECT_EQ(d.alleleText(2), "G/T");
  EXPECT_EQ(d.markerIds, (std::vector<std::string>{"rs1", "rs2", "rs3"}));
  EXPECT_EQ(d.positions, (std::vector<int>{1000, 2000, 3000}));
  EXPECT_EQ(d.markerOrder, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(d.markerUsed, (std::vector<bool>{true, true, true}));
  EXPECT_EQ(d.idToType.at("s4"), "case");
  EXPECT_EQ(d.idToType.count("s2"), 0u);

  // The next type replaces the per-type data.
  c = capture([&] { return d.loadData(path.c_str(), "ctrl"); });
  ASSERT_TRUE(c.result);
  EXPECT_EQ(d.m_numpheno, 1);
  EXPECT_EQ(d.phenotypes[0].genotype, "AACCTT");
  EXPECT_EQ(d.alleleText(0), "A");
  EXPECT_EQ(d.alleleText(2), "T");
}

TEST(GenoDataLoad, AlleleLettersInSignedCharacterOrder) {
  auto path = writeFile("signed", genoText({"a", "a"}, {{"A/\xe9", "b/A"}}));
  GenoData d;
  ASSERT_TRUE(d.loadHeader(path.c_str()));
  auto c = capture([&] { return d.loadData(path.c_str(), "a"); });
  ASSERT_TRUE(c.result);
  EXPECT_EQ(d.alleleText(0), "\xe9/A/b");
  // Genotype texts put the signed-smaller letter first as well.
  EXPECT_EQ(d.phenotypes[0].genotype, "\xe9" "A");
  EXPECT_EQ(d.phenotypes[1].genotype, "Ab");
}

TEST(GenoDataLoad, UnknownTypeCountsZero) {
  auto path = writeFile("unknown", genoText({"a"}, {{"A/A"}}));
  GenoData d;
  ASSERT_TRUE(d.loadHeader(path.c_str()));
  auto c = capture([&] { return d.loadData(path.c_str(), "zz"); });
  EXPECT_TRUE(c.result);
  EXPECT_EQ(c.out, "Sample type 'zz' counts 0\n");
  EXPECT_EQ(d.m_numindiv, 0);
  EXPECT_EQ(d.m_numpheno, 0);
}

TEST(GenoDataLoad, LineEndsAtTheEndOfTheFileDoNotMakeMarkers) {
  const std::string base = genoText({"a", "a"}, {{"A/A", "A/C"}, {"G/G", "G/G"}});
  const std::string noNewline = base.substr(0, base.size() - 1);
  for (const std::string& content : {base, noNewline, base + "\n\n", base + "\r\n", noNewline + "\r\n\r\n"}) {
    auto path = writeFile("ends", content);
    GenoData d;
    ASSERT_TRUE(d.loadHeader(path.c_str()));
    EXPECT_EQ(d.m_ori_nummarker, 2);
    auto c = capture([&] { return d.loadData(path.c_str(), "M"); });
    ASSERT_TRUE(c.result) << c.out;
    EXPECT_EQ(d.phenotypes[1].genotype, "ACGG");
  }
}

TEST(GenoDataLoad, WindowsLineEndsAreDropped) {
  std::string content = genoText({"a", "a"}, {{"A/A", "A/C"}});
  std::string crlf;
  for (char c : content) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  auto path = writeFile("crlf", crlf);
  GenoData d;
  ASSERT_TRUE(d.loadHeader(path.c_str()));
  EXPECT_EQ(d.sampleTypes, (std::vector<std::string>{"a", "a"}));
  auto c = capture([&] { return d.loadData(path.c_str(), "a"); });
  ASSERT_TRUE(c.result) << c.out;
  EXPECT_EQ(d.phenotypes[1].genotype, "AC");
}

TEST(GenoDataLoad, LinesOfAnyLength) {
  const int n = 30000;  // a marker line of 120,000 bytes
  std::vector<std::string> types(n, "t");
  std::vector<std::string> row(n, "C/C");
  row[n - 1] = "T/C";
  auto path = writeFile("long", genoText(types, {row, row}));
  GenoData d;
  ASSERT_TRUE(d.loadHeader(path.c_str()));
  EXPECT_EQ(d.m_MergeSampleCount, n);
  auto c = capture([&] { return d.loadData(path.c_str(), "t"); });
  ASSERT_TRUE(c.result) << c.out;
  EXPECT_EQ(d.m_numpheno, 2);
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
    auto path = writeFile("random", genoText(types, rows));
    GenoData d;
    ASSERT_TRUE(d.loadHeader(path.c_str()));
    auto c = capture([&] { return d.loadData(path.c_str(), "M"); });
    ASSERT_TRUE(c.result);
    // Reference: every individual joins the first earlier one with an equal text.
    std::vector<std::string> texts(n);
    for (int i = 0; i < n; ++i)
      for (int k = 0; k < markers; ++k) {
        char a = rows[k][i][0], b = rows[k][i][2];
        if (b < a) std::swap(a, b);
        texts[i] += a;
        texts[i] += b;
      }
    std::vector<std::string> groups;
    std::vector<std::vector<int>> members;
    for (int i = 0; i < n; ++i) {
      size_t g = 0;
      while (g < groups.size() && groups[g] != texts[i]) ++g;
      if (g == groups.size()) {
        groups.push_back(texts[i]);
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

// Malformed input: loadData (or loadHeader) refuses with a message that names
// the problem, and keeps no half-loaded data.
struct BadFile {
  const char* name;
  std::string content;
  bool headerOk;
  const char* message;
};

class GenoDataMalformed : public testing::TestWithParam<BadFile> {};

TEST_P(GenoDataMalformed, RefusedWithMessage) {
  const BadFile& bad = GetParam();
  auto path = writeFile(bad.name, bad.content);
  GenoData d;
  auto h = capture([&] { return d.loadHeader(path.c_str()); });
  ASSERT_EQ(h.result, bad.headerOk) << h.out;
  auto c = capture([&] { return d.loadData(path.c_str(), "M"); });
  EXPECT_FALSE(c.result);
  const std::string all = h.out + c.out;
  EXPECT_NE(all.find(bad.message), std::string::npos) << all;
  EXPECT_EQ(d.m_numindiv, 0);
  EXPECT_EQ(d.m_numpheno, 0);
  EXPECT_TRUE(d.phenotypes.empty());
  EXPECT_TRUE(d.markerIds.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, GenoDataMalformed,
    testing::Values(
        BadFile{"empty", "", false, "line 1 (sample identifiers) is missing"},
        BadFile{"fourfields", "a\tb\tc\td\nT\t.\t.\t.\nrs1\t1\t1\t+\n", false, "line 1 has 4 fields"},
        BadFile{"noline2", "a\tb\tc\td\ts1\n", false, "line 2 (sample types) is missing"},
        BadFile{"shortline2", "a\tb\tc\td\ts1\ts2\nT\t.\t.\t.\tx\nrs1\t1\t1\t+\tA/A\tA/A\n", false,
                "line 2 has 1 sample types for 2 sample identifiers"},
        BadFile{"notab", "a\tb\tc\td\ts1\nT\t.\t.\t.\tx\nrs1\t1\t1\t+\tA/A\nrs2 1 2 + A/A\n", true,
                "Invalid data(rs2 1 2 + A/A) at marker #1. TAB not found!\n"},
        BadFile{"blank", "a\tb\tc\td\ts1\nT\t.\t.\t.\tx\nrs1\t1\t1\t+\tA/A\n\nrs3\t1\t3\t+\tA/A\n", true,
                "Invalid data() at marker #1. TAB not found!\nGenoData::loadData "},
        BadFile{"fewcolumns", "a\tb\tc\td\ts1\ts2\ts3\nT\t.\t.\t.\tx\tx\tx\nrs1\t1\t1\t+\tA/A\tA/A\n", true,
                "(marker #0): 2 genotype columns for 3 samples"},
        BadFile{"nogenotype", "a\tb\tc\td\ts1\nT\t.\t.\t.\tx\nrs1\t1\t1\t+\n", true,
                "(marker #0): fewer than four tabs"},
        BadFile{"shortgenotype", "a\tb\tc\td\ts1\ts2\nT\t.\t.\t.\tx\tx\nrs1\t1\t1\t+\tA/\tA/A\n", true,
                "genotype 'A/' of sample column 1 is not three characters followed by a tab"},
        BadFile{"longgenotype", "a\tb\tc\td\ts1\nT\t.\t.\t.\tx\nrs1\t1\t1\t+\tA/AA\n", true,
                "genotype 'A/AA' of sample column 1 is not three characters"},
        BadFile{"position", "a\tb\tc\td\ts1\nT\t.\t.\t.\tx\nrs1\t1\t12x\t+\tA/A\n", true,
                "line 3 (marker #0): position '12x' is not a decimal integer"},
        BadFile{"bigposition", "a\tb\tc\td\ts1\nT\t.\t.\t.\tx\nrs1\t1\t99999999999\t+\tA/A\n", true,
                "position '99999999999' is not a decimal integer"}),
    [](const testing::TestParamInfo<BadFile>& info) { return std::string(info.param.name); });

TEST(GenoDataMissingFile, HeaderAndDataReportTheFile) {
  GenoData d;
  std::string path = tempPath("does_not_exist.geno");
  auto h = capture([&] { return d.loadHeader(path.c_str()); });
  EXPECT_FALSE(h.result);
  EXPECT_EQ(d.headerState(), GenoData::HeaderState::kCannotOpen);
  EXPECT_EQ(h.out.rfind("ifstream fileInputStream(" + path + ")\n fileInputStream.is_open() == false "
                        "engine/nolib/marlo/GenoData:",
                        0),
            0u)
      << h.out;
  EXPECT_TRUE(d.sampleTypeTable.empty());

  // The file vanishes between the header and the data.
  auto real = writeFile("vanish", genoText({"a"}, {{"A/A"}}));
  ASSERT_TRUE(d.loadHeader(real.c_str()));
  unlink(real.c_str());
  auto c = capture([&] { return d.loadData(real.c_str(), "a"); });
  EXPECT_FALSE(c.result);
  EXPECT_EQ(c.out, "GenoData::loadData cannot open " + real + "\n");
}

TEST(GenoDataLoad, FileShortenedAfterTheHeaderIsRefused) {
  auto path = writeFile("shrink", genoText({"a"}, {{"A/A"}, {"C/C"}}));
  GenoData d;
  ASSERT_TRUE(d.loadHeader(path.c_str()));
  writeFile("shrink", genoText({"a"}, {{"A/A"}}));
  auto c = capture([&] { return d.loadData(path.c_str(), "a"); });
  EXPECT_FALSE(c.result);
  EXPECT_NE(c.out.find("line 4 (marker #1): the file ends before the 2 marker lines counted"), std::string::npos)
      << c.out;
}

TEST(GenoDataLoad, InputSummaryOnlyWithProgress) {
  auto path = writeFile("summary", genoText({"0", "1"}, {{"A/A", "A/C"}}));
  GenoData d;
  ASSERT_TRUE(d.loadHeader(path.c_str()));
  g_progress = true;
  testing::internal::CaptureStderr();
  auto c = capture([&] { return d.loadData(path.c_str(), "1"); });
  std::string err = testing::internal::GetCapturedStderr();
  g_progress = false;
  ASSERT_TRUE(c.result);
  EXPECT_EQ(err, "\n#result=------------ INPUT DATA DETAIL ---------\n\n#result=Genotype=" + path +
                     "\n\n#result=Chromosome=5\n\n#result=Marker Size=1\n\n#result=Total Sample Size=2\n"
                     "\n#result=This Sample Type=\"1\"\n\n#result=This Sample Size=1\n\n#result=Unique phenotype=1\n"
                     "\n#result=------------ ANALYSIS RESULT -----------\n");
  testing::internal::CaptureStderr();
  capture([&] { return d.loadData(path.c_str(), "1"); });
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(GenoDataLoad, DebugTraces) {
  auto path = writeFile("debug", genoText({"b", "a", "b"}, {{"A/A", "A/C", "C/C"}}));
  GenoData d;
  g_debugLevel = 2;
  auto h = capture([&] { return d.loadHeader(path.c_str()); });
  auto c = capture([&] { return d.loadData(path.c_str(), "b"); });
  g_debugLevel = 0;
  EXPECT_EQ(h.out, "GenoData::loadHeader " + path +
                       "\n m_MergeSampleCount = 3\n Samples = [s1],[s2],...[s3]\n m_SampleTypeTableSize = 2\n"
                       "    types[\"a\"] = (1)\n    types[\"b\"] = (2)\n m_ChromosomeNo = 5\n m_ori_nummarker = 1\n");
  EXPECT_EQ(c.out,
            "GenoData::loadData(sample type =\"b\")\n m_nummarker = 1\n m_numindiv/total = 2/3\n"
            "GenoData::loadData Phenotype #: 2\nLoading pheno...[COUNT:2]\n");
}
