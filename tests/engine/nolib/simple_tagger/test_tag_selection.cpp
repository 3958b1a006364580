#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "simple_tagger/TagSelection.h"

namespace {

std::vector<int> taggerIndices(const TagSection& s) {
  std::vector<int> out;
  for (const TagRecord* r : s.taggers()) out.push_back(r->index);
  return out;
}

std::vector<int> partnerIndices(const TagRecord& r) {
  std::vector<int> out;
  for (const TagPartner& p : r.partners) out.push_back(p.index);
  return out;
}

TEST(TagSelection, SnpWithMostPartnersCoversTheOthers) {
  TagSection s;
  s.addPair(0, 1, 0.9, 0.8);
  s.addPair(1, 2, 0.85, 0.8);
  s.addPair(0, 2, 0.5, 0.8);
  s.select();
  ASSERT_EQ(taggerIndices(s), std::vector<int>{1});
  EXPECT_EQ(partnerIndices(*s.taggers()[0]), (std::vector<int>{0, 2}));
  EXPECT_DOUBLE_EQ(s.taggers()[0]->partners[1].r2, 0.85);
  EXPECT_TRUE(s.singletons().empty());
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
  TagRecord a{5, 2, 1.0, {}};
  TagRecord b{3, 1, 1.9, {}};
  EXPECT_TRUE(TagSection::before(a, b));  // more partners first
  TagRecord c{7, 2, 1.5, {}};
  EXPECT_TRUE(TagSection::before(c, a));  // then the larger sum
  TagRecord d{4, 2, 1.5, {}};
  EXPECT_TRUE(TagSection::before(d, c));  // then the smaller index
  EXPECT_FALSE(TagSection::before(c, d));
  EXPECT_FALSE(TagSection::before(d, d));
}

TEST(TagSelection, EqualCountsAndSumsChooseTheSmallerIndex) {
  TagSection s;
  s.addPair(2, 3, 0.9, 0.8);
  s.addPair(0, 1, 0.9, 0.8);
  s.addPair(1, 2, 0.5, 0.8);
  s.select();
  // 0, 1, 2, 3 all have one partner of 0.9: 0 is first and covers 1; 1 is
  // skipped; 2 covers 3.
  EXPECT_EQ(taggerIndices(s), (std::vector<int>{0, 2}));
  EXPECT_TRUE(s.singletons().empty());
}

TEST(TagSelection, PartnerListsNameAlreadyCapturedSnps) {
  TagSection s;
  s.addPair(0, 1, 0.90, 0.8);
  s.addPair(0, 2, 0.80, 0.8);
  s.addPair(1, 2, 0.85, 0.8);
  s.addPair(3, 4, 0.95, 0.8);
  s.addPair(3, 5, 0.0, 0.8);
  s.addPair(4, 5, 0.95, 0.8);
  s.addPair(6, 7, 0.30, 0.8);
  s.addPair(1, 3, 0.88, 0.8);
  s.select();
  ASSERT_EQ(taggerIndices(s), (std::vector<int>{1, 4}));
  EXPECT_EQ(partnerIndices(*s.taggers()[0]), (std::vector<int>{0, 2, 3}));
  EXPECT_EQ(partnerIndices(*s.taggers()[1]), (std::vector<int>{3, 5}));
  EXPECT_EQ(s.singletons(), (std::vector<int>{6, 7}));
}

TEST(TagSelection, SumsAddInReadingOrder) {
  // SNP 1 sums 0.1 + 0.2 + 0.3 = 0.6000000000000001, SNP 0 sums
  // 0.3 + 0.2 + 0.1 = 0.6: with equal partner counts SNP 1 comes before the
  // smaller index only because its sum is taken in the order read.
  TagSection s;
  s.addPair(1, 10, 0.1, 0.0);
  s.addPair(1, 11, 0.2, 0.0);
  s.addPair(1, 12, 0.3, 0.0);
  s.addPair(0, 20, 0.3, 0.0);
  s.addPair(0, 21, 0.2, 0.0);
  s.addPair(0, 22, 0.1, 0.0);
  s.select();
  ASSERT_GT(0.1 + 0.2 + 0.3, 0.3 + 0.2 + 0.1);
  EXPECT_EQ(taggerIndices(s), (std::vector<int>{1, 0}));
}

TEST(TagSelection, SingletonsFollowTheSetOrder) {
  // 53 buckets: 53 and 106 share bucket 0 with 0, the newest first.
  TagSection s;
  s.addPair(53, 0, 0.1, 0.8);
  s.addPair(106, 1, 0.1, 0.8);
  s.select();
  EXPECT_TRUE(s.taggers().empty());
  EXPECT_EQ(s.singletons(), (std::vector<int>{106, 0, 53, 1}));
  // A fresh section starts again at 53 buckets.
  for (int i = 0; i < 200; ++i) s.addPair(i, i + 1, 0.1, 0.8);
  EXPECT_EQ(s.coverSet().bucketCount(), 389u);
  s.clear();
  EXPECT_EQ(s.coverSet().bucketCount(), 53u);
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
    int pairs = next() % 2000;
    for (int k = 0; k < pairs; ++k) {
      int i = next() % snps;
      int j = i + 1 + next() % 20;
      double r2 = (next() % 1001) / 1000.0;
      s.addPair(i, j, r2, 0.7);
      all.insert(i);
      all.insert(j);
    }
    s.select();
    std::set<int> covered;
    std::vector<int> tags = taggerIndices(s);
    for (const TagRecord* r : s.taggers()) {
      covered.insert(r->index);
      for (const TagPartner& p : r->partners) covered.insert(p.index);
      EXPECT_GT(r->partnerCount, 0);
    }
    std::vector<int> single = s.singletons();
    for (int x : single) {
      EXPECT_EQ(covered.count(x), 0u);
      covered.insert(x);
    }
    EXPECT_EQ(covered, all) << "round " << round;
    // A tagger is never captured by an earlier one.
    std::set<int> seen;
    for (const TagRecord* r : s.taggers()) {
      EXPECT_EQ(seen.count(r->index), 0u);
      seen.insert(r->index);
      for (const TagPartner& p : r->partners) seen.insert(p.index);
    }
  }
}

}  // namespace
