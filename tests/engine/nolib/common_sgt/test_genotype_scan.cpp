// The tab-field cursor, the genotype column scan and the fast line count,
// against plain references on hand-made and random lines.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "common_sgt/FileUtil.h"
#include "common_sgt/GenotypeScan.h"
#include "support/PlainSplit.h"

namespace {

std::vector<std::string> fieldsOf(std::string_view text) {
  std::vector<std::string> out;
  TabFieldCursor cursor(text);
  std::string_view field;
  while (cursor.next(field)) out.emplace_back(field);
  return out;
}

using testsupport::splitAtTabs;

}  // namespace

TEST(TabFieldCursor, EveryTabEndsAFieldEvenAtTheEnds) {
  EXPECT_EQ(fieldsOf(""), (std::vector<std::string>{""}));
  EXPECT_EQ(fieldsOf("\t"), (std::vector<std::string>{"", ""}));
  EXPECT_EQ(fieldsOf("a\t\tb\t"), (std::vector<std::string>{"a", "", "b", ""}));
  // "\r" is data here: the line reader takes off only the one before "\n".
  EXPECT_EQ(fieldsOf("A/G\r\tN/N\r"), (std::vector<std::string>{"A/G\r", "N/N\r"}));
  EXPECT_EQ(fieldsOf("\tx"), (std::vector<std::string>{"", "x"}));
}

TEST(TabFieldCursor, SkipAndRestTellAShortLine) {
  TabFieldCursor four("rs1\t10\t100\t+\tA/A\tA/G");
  ASSERT_TRUE(four.skip(4));
  EXPECT_EQ(four.rest(), "A/A\tA/G");
  TabFieldCursor three("rs1\t10\t100");
  EXPECT_FALSE(three.skip(4));
  EXPECT_TRUE(three.done());
  EXPECT_EQ(three.rest(), "");
  // Four fields and nothing after the fourth tab: one empty genotype field.
  TabFieldCursor edge("rs1\t10\t100\t+\t");
  ASSERT_TRUE(edge.skip(4));
  EXPECT_FALSE(edge.done());
  EXPECT_EQ(fieldsOf(edge.rest()), (std::vector<std::string>{""}));
}

TEST(TabFieldCursor, MatchesAPlainSplitOnRandomAndVeryLongLines) {
  std::mt19937 rng(7);
  const char alphabet[] = {'\t', '\t', 'A', '/', 'G', '\r', 'N'};
  for (int round = 0; round < 500; ++round) {
    std::string text(rng() % 40, ' ');
    for (char& c : text) c = alphabet[rng() % sizeof alphabet];
    EXPECT_EQ(fieldsOf(text), splitAtTabs(text)) << round;
  }
  std::string longLine(3u << 20, 'x');
  longLine[1u << 20] = '\t';
  std::vector<std::string> two = fieldsOf(longLine);
  ASSERT_EQ(two.size(), 2u);
  EXPECT_EQ(two[0].size(), 1u << 20);
  EXPECT_EQ(two[1].size(), (2u << 20) - 1);
}

namespace {

// The reference: split, then count every three-byte column by text and
// group, in order of first appearance.
struct Expected {
  std::vector<std::string> texts;
  std::vector<std::vector<unsigned>> counts;      // [text][group]
  std::vector<std::vector<std::string>> seen;     // [group] texts in order met
  std::vector<std::pair<size_t, bool>> irregular;  // column, empty
  size_t columns = 0;
};

Expected expect(const std::string& line, const std::vector<uint32_t>& groups, size_t groupCount) {
  Expected e;
  e.seen.resize(groupCount + 1);
  std::vector<std::string> fields = splitAtTabs(line);
  e.columns = fields.size();
  for (size_t c = 0; c < fields.size(); ++c) {
    const std::string& f = fields[c];
    if (f.size() != 3) {
      e.irregular.emplace_back(c, f.empty());
      continue;
    }
    size_t g = c < groups.size() ? groups[c] : groupCount;
    size_t t = 0;
    while (t < e.texts.size() && e.texts[t] != f) ++t;
    if (t == e.texts.size()) {
      e.texts.push_back(f);
      e.counts.emplace_back(groupCount + 1, 0);
    }
    if (e.counts[t][g]++ == 0) e.seen[g].push_back(f);
  }
  return e;
}

void expectScan(const GenotypeColumnScan& scan, const Expected& e, const std::string& line) {
  ASSERT_EQ(scan.columns(), e.columns) << line;
  ASSERT_EQ(scan.distinct(), e.texts.size()) << line;
  for (size_t t = 0; t < e.texts.size(); ++t) {
    EXPECT_EQ(std::string(scan.text(t), 3), e.texts[t]) << line;
    for (size_t g = 0; g <= scan.groupCount(); ++g) EXPECT_EQ(scan.count(t, g), e.counts[t][g]) << line;
  }
  for (size_t g = 0; g <= scan.groupCount(); ++g) {
    std::vector<std::string> seen;
    for (uint32_t t : scan.firstSeen(g)) seen.emplace_back(scan.text(t), 3);
    EXPECT_EQ(seen, e.seen[g]) << line;
  }
  ASSERT_EQ(scan.irregular().size(), e.irregular.size()) << line;
  for (size_t i = 0; i < e.irregular.size(); ++i) {
    EXPECT_EQ(scan.irregular()[i].column, e.irregular[i].first) << line;
    EXPECT_EQ(scan.irregular()[i].empty, e.irregular[i].second) << line;
  }
}

}  // namespace

TEST(GenotypeColumnScan, CountsByGroupInOrderOfFirstAppearance) {
  GenotypeColumnScan scan;
  scan.setGroups({1, 0, 1, 0}, 2);
  // The last column has no tab after it; "AGT" has no "/" but three bytes.
  const std::string line = "G/A\tA/A\tG/A\tAGT\tN/N\tG/A";
  scan.scan(line);
  ASSERT_EQ(scan.columns(), 6u);
  ASSERT_EQ(scan.distinct(), 4u);
  EXPECT_EQ(std::string(scan.text(0), 3), "G/A");
  EXPECT_EQ(std::string(scan.text(3), 3), "N/N");
  EXPECT_EQ(scan.count(0, 1), 2u);  // columns 0 and 2
  EXPECT_EQ(scan.count(0, 2), 1u);  // column 5, beyond the group list
  EXPECT_EQ(scan.count(2, 0), 1u);  // AGT in column 3
  EXPECT_EQ(scan.firstSeen(0), (std::vector<uint32_t>{1, 2}));
  EXPECT_EQ(scan.firstSeen(2), (std::vector<uint32_t>{3, 0}));
  EXPECT_TRUE(scan.irregular().empty());
}

TEST(GenotypeColumnScan, EmptyAndLongColumnsAreListedNotCounted) {
  GenotypeColumnScan scan;
  scan.setGroups({0, 0, 0, 0, 0}, 1);
  for (const std::string& line : {std::string("A/A\t\tAT/A\tA/A\t"), std::string(""), std::string("\t\t"),
                                  std::string("A/A\r"), std::string("A/\tA/A"), std::string("A/A\tA/A\tA/A/")}) {
    scan.scan(line);
    expectScan(scan, expect(line, {0, 0, 0, 0, 0}, 1), line);
  }
}

TEST(GenotypeColumnScan, LinesInAReusedBufferDoNotLeakIntoTheNext) {
  // The reader overwrites its buffer between lines: the table of one line
  // must not answer for the next one's texts.
  GenotypeColumnScan scan;
  scan.setGroups({0, 0, 0}, 1);
  std::string buffer = "A/G\tA/G\tG/G";
  scan.scan(buffer);
  buffer = "C/T\tA/G\tC/T";
  scan.scan(buffer);
  expectScan(scan, expect(buffer, {0, 0, 0}, 1), buffer);
  EXPECT_EQ(std::string(scan.text(0), 3), "C/T");
  EXPECT_EQ(scan.count(0, 0), 2u);
}

TEST(GenotypeColumnScan, MatchesThePlainReferenceOnRandomLines) {
  std::mt19937 rng(11);
  const char* const pieces[] = {"A/A", "A/G", "G/A", "G/G", "N/N", "C/T", "A/N", "AGT", "A//",
                                "//A", "AT/A", "",    "A",   "N/N", "A/G", "G/G", "\r/A", "A/\r"};
  GenotypeColumnScan scan;
  for (int round = 0; round < 2000; ++round) {
    const size_t groupCount = 1 + rng() % 4;
    std::vector<uint32_t> groups(rng() % 12);
    for (uint32_t& g : groups) g = static_cast<uint32_t>(rng() % groupCount);
    scan.setGroups(groups, groupCount);
    for (int lineNo = 0; lineNo < 3; ++lineNo) {
      std::string line;
      const size_t columns = 1 + rng() % 14;
      for (size_t c = 0; c < columns; ++c) {
        if (c) line += '\t';
        line += pieces[rng() % (sizeof pieces / sizeof *pieces)];
      }
      scan.scan(line);
      expectScan(scan, expect(line, groups, groupCount), line);
    }
  }
}

// Long lines of nothing but "x/y" columns are counted over the whole line
// at once where the processor allows; every boundary of its 64-column
// blocks, group lists shorter and longer than the line, a line with too many
// texts for that path and one odd column anywhere must give the same tables.
TEST(GenotypeColumnScan, LongGenotypeLinesMatchThePlainReference) {
  std::mt19937 rng(17);
  const std::vector<std::string> usual = {"A/A", "A/G", "G/A", "G/G", "N/N", "A/N", "\r/A"};
  const std::vector<std::string> odd = {"", "AGT", "A/A/", "A/", "\t"};
  GenotypeColumnScan scan;
  for (int round = 0; round < 400; ++round) {
    const size_t groupCount = 1 + rng() % 3;
    std::vector<uint32_t> groups(rng() % 300);
    for (uint32_t& g : groups) g = static_cast<uint32_t>(rng() % groupCount);
    scan.setGroups(groups, groupCount);
    for (int lineNo = 0; lineNo < 4; ++lineNo) {
      const size_t columns = lineNo == 0 ? 63 + rng() % 3 : 1 + rng() % 300;
      // Now and then every column its own text, beyond what counting by
      // whole line takes.
      const bool many = rng() % 8 == 0;
      std::vector<std::string> line(columns);
      for (size_t c = 0; c < columns; ++c) {
        line[c] = many ? std::string{static_cast<char>('a' + c % 26), '/', static_cast<char>('a' + c / 26 % 26)}
                       : usual[rng() % (1 + rng() % usual.size())];
      }
      if (rng() % 4 == 0) line[rng() % columns] = odd[rng() % odd.size()];
      std::string text;
      for (size_t c = 0; c < columns; ++c) text += (c ? "\t" : "") + line[c];
      scan.scan(text);
      expectScan(scan, expect(text, groups, groupCount), text);
    }
  }
}

// Lines less the empty lines at the very end, a line of "\r" bytes being
// empty; counted here the plain way, one byte at a time.
TEST(CountDataLines, AgreesWithAPlainCountOnEdgeAndRandomFiles) {
  const std::string path = testing::TempDir() + "count_lines.txt";
  auto plain = [](const std::string& text) {
    long long lines = 0, trailing = 0;
    bool filled = false;
    for (char c : text) {
      if (c == '\n') {
        ++lines;
        trailing = filled ? 0 : trailing + 1;
        filled = false;
      } else if (c != '\r') {
        filled = true;
      }
    }
    if (!text.empty() && text.back() != '\n') {
      ++lines;
      trailing = filled ? 0 : trailing + 1;
    }
    return lines - trailing;
  };
  std::mt19937 rng(5);
  std::vector<std::string> files = {"", "\n", "a", "a\n", "a\n\n", "a\r\n\r\n", "a\n\r\r\n\n", "a\nb", "\r", "\n\nx\n\n"};
  const char alphabet[] = {'\n', '\r', 'x', 'x', '\t'};
  for (int i = 0; i < 300; ++i) {
    std::string text(rng() % 30, ' ');
    for (char& c : text) c = alphabet[rng() % sizeof alphabet];
    files.push_back(text);
  }
  // Lines and trailing empty lines across the reader's 1 MiB blocks.
  std::string big((1u << 20) - 1, 'x');
  big += "\n\r";
  big += std::string(1u << 20, '\r');
  big += "\n\n";
  files.push_back(big);
  for (const std::string& text : files) {
    FILE* fp = fopen(path.c_str(), "wb");
    ASSERT_NE(fp, nullptr);
    fwrite(text.data(), 1, text.size(), fp);
    fclose(fp);
    EXPECT_EQ(countDataLines(path.c_str()), plain(text)) << testing::PrintToString(text.substr(0, 40));
  }
  remove(path.c_str());
  EXPECT_EQ(countDataLines((path + ".missing").c_str()), -1);
}
