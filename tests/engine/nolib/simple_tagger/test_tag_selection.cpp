// Tag selection rules the tag1 e2e cases cannot tell apart: the strict
// threshold, the sort order's last two keys, the reading order of r2 sums
// and a section starting again at 53 buckets.
#include <gtest/gtest.h>

#include <set>
#include <tuple>
#include <vector>

#include "simple_tagger/TagSelection.h"

namespace {

std::vector<int> taggerIndices(const TagSection& s) {
  std::vector<int> out;
  for (const TagRecord* r : s.taggers()) out.push_back(r->index);
  return out;
}

TEST(TagSelection, ThresholdIsStrict) {
  TagSection s;
  s.addPair(0, 1, 0.8, 0.8);
  s.addPair(2, 3, 0.8000001, 0.8);
  s.select();
  EXPECT_EQ(s.recordCount(), 2u);
  EXPECT_EQ(taggerIndices(s), std::vector<int>{2});
  EXPECT_EQ(s.singletons(), (std::vector<int>{0, 1}));
}

TEST(TagSelection, SortByCountThenSumThenIndex) {
  TagRecord a{5, 2, 1.0, {}}, b{3, 1, 1.9, {}}, c{7, 2, 1.5, {}}, d{4, 2, 1.5, {}};
  EXPECT_TRUE(TagSection::before(a, b));  // more partners first
  EXPECT_TRUE(TagSection::before(c, a));  // then the larger sum
  EXPECT_TRUE(TagSection::before(d, c));  // then the smaller index
  EXPECT_FALSE(TagSection::before(c, d));
  EXPECT_FALSE(TagSection::before(d, d));
}

TEST(TagSelection, SumsAddInReadingOrder) {
  // SNP 1 sums 0.1 + 0.2 + 0.3 = 0.6000000000000001, SNP 0 sums
  // 0.3 + 0.2 + 0.1 = 0.6: with equal partner counts SNP 1 comes before the
  // smaller index only because its sum is taken in the order read.
  TagSection s;
  for (auto [i, j, r2] : {std::tuple{1, 10, 0.1}, {1, 11, 0.2}, {1, 12, 0.3}, {0, 20, 0.3}, {0, 21, 0.2}, {0, 22, 0.1}})
    s.addPair(i, j, r2, 0.0);
  s.select();
  ASSERT_GT(0.1 + 0.2 + 0.3, 0.3 + 0.2 + 0.1);
  EXPECT_EQ(taggerIndices(s), (std::vector<int>{1, 0}));
}

TEST(TagSelection, ClearStartsTheSetAgainAt53Buckets) {
  TagSection s;
  for (int i = 0; i < 200; ++i) s.addPair(i, i + 1, 0.1, 0.8);
  EXPECT_EQ(s.coverSet().bucketCount(), 389u);
  s.clear();
  EXPECT_EQ(s.coverSet().bucketCount(), 53u);
  // In 53 buckets 0 and 53 share bucket 0, the newest first.
  s.addPair(53, 0, 0.1, 0.8);
  s.select();
  EXPECT_EQ(s.singletons(), (std::vector<int>{0, 53}));
}

TEST(TagSelection, EveryCoveredSnpIsATaggerOrAPartnerOfOne) {
  uint32_t state = 7;
  auto next = [&]() {
    state = state * 214013u + 2531011u;
    return static_cast<int>((state >> 16) & 0x7FFF);
  };
  for (int round = 0; round < 30; ++round) {
    TagSection s;
    std::set<int> all;
    int snps = 5 + next() % 300;
    for (int k = next() % 2000; k > 0; --k) {
      int i = next() % snps;
      int j = i + 1 + next() % 20;
      s.addPair(i, j, (next() % 1001) / 1000.0, 0.7);
      all.insert({i, j});
    }
    s.select();
    // Taggers in order: none was captured by an earlier one.
    std::set<int> covered;
    for (const TagRecord* r : s.taggers()) {
      EXPECT_EQ(covered.count(r->index), 0u);
      EXPECT_GT(r->partnerCount, 0);
      covered.insert(r->index);
      for (const TagPartner& p : r->partners) covered.insert(p.index);
    }
    for (int x : s.singletons()) EXPECT_TRUE(covered.insert(x).second) << x;
    EXPECT_EQ(covered, all) << "round " << round;
  }
}

}  // namespace
