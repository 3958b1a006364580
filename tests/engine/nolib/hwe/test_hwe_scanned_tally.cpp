// The flagging command judges every class and "M" from one scan of a line:
// each tally must be the one that adding the class's columns one by one
// gives, and the frequency texts must be printf's.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "hwe/SnpQuality.h"
#include "support/PlainSplit.h"

namespace {

using testsupport::splitAtTabs;

// Column by column: a column of three characters within the samples counts
// for its class (group < 0: for every class), "N/N" as missing.
void tallyByColumns(const std::string& genotypes, const std::vector<uint32_t>& classOf, int group,
                    GenotypeTally& tally) {
  tally.clear();
  std::vector<std::string> fields = splitAtTabs(genotypes);
  for (size_t c = 0; c < fields.size() && c < classOf.size(); ++c) {
    const std::string& f = fields[c];
    if (f.size() != 3 || (group >= 0 && classOf[c] != static_cast<uint32_t>(group))) continue;
    if (f == "N/N")
      tally.addMissing();
    else
      tally.add(f[0], f[1], f[2]);
  }
}

std::string describe(const GenotypeTally& t) {
  std::string s = "missing " + std::to_string(t.missing()) + ":";
  for (const GenotypeTally::Entry& e : t.entries()) s += " " + std::string(e.text, 3) + "=" + std::to_string(e.count);
  return s;
}

}  // namespace

TEST(ScannedTally, EveryClassAndTheMergeMatchTheColumnByColumnTally) {
  std::mt19937 rng(19);
  const char* const pieces[] = {"A/A", "A/G", "G/A", "G/G", "N/N", "C/T", "T/C", "A/N", "N/A",
                                "AGT", "A-G", "AT/A", "",   "A",   "G/G", "A/G", "A/A"};
  GenotypeColumnScan scan;
  GenotypeTally fromScan, byColumns;
  for (int round = 0; round < 1500; ++round) {
    const size_t classes = 1 + rng() % 3;
    std::vector<uint32_t> classOf(1 + rng() % 10);
    for (uint32_t& k : classOf) k = static_cast<uint32_t>(rng() % classes);
    scan.setGroups(classOf, classes);
    std::string line;
    // Too few, as many and more columns than samples.
    const size_t columns = 1 + rng() % (classOf.size() + 4);
    for (size_t c = 0; c < columns; ++c) {
      if (c) line += '\t';
      line += pieces[rng() % (sizeof pieces / sizeof *pieces)];
    }
    scan.scan(line);
    for (int group = -1; group < static_cast<int>(classes); ++group) {
      tallyScannedGroup(scan, group, fromScan);
      tallyByColumns(line, classOf, group, byColumns);
      ASSERT_EQ(describe(fromScan), describe(byColumns)) << line << " group " << group;
      SnpQuality a, b;
      computeSnpQuality(fromScan, a);
      computeSnpQuality(byColumns, b);
      EXPECT_EQ(a.alleleText, b.alleleText);
      EXPECT_EQ(a.frequencyText, b.frequencyText);
    }
  }
}

TEST(ScannedTally, FrequencyTextsAreThoseOfPrintf) {
  // Counts whose frequencies sit on a rounding edge of three decimals
  // (1/8 = 0.125, 5/8 = 0.625, 1/16 = 0.0625) and plenty of others.
  std::mt19937 rng(23);
  for (int round = 0; round < 3000; ++round) {
    GenotypeTally t;
    const int aa = static_cast<int>(rng() % 9), ag = static_cast<int>(rng() % 9), gg = static_cast<int>(rng() % 9);
    const int cc = round % 5 == 0 ? static_cast<int>(rng() % 4) : 0;
    if (aa) t.add('A', '/', 'A', aa);
    if (ag) t.add('A', '/', 'G', ag);
    if (gg) t.add('G', '/', 'G', gg);
    if (cc) t.add('C', '/', 'C', cc);
    SnpQuality q;
    computeSnpQuality(t, q);
    if (q.alleles.size() < 2) continue;
    std::vector<AlleleCount> sorted = q.alleles;
    shellSortAlleles(sorted);
    std::string expected;
    char buf[64];
    for (size_t k = sorted.size(); k-- > 0;) {
      snprintf(buf, sizeof buf, k + 1 == sorted.size() ? "%1.3f" : "/%1.3f",
               static_cast<double>(sorted[k].count) / static_cast<double>(q.alleleTotal));
      expected += buf;
    }
    EXPECT_EQ(q.frequencyText, expected) << aa << " " << ag << " " << gg << " " << cc;
  }
}
