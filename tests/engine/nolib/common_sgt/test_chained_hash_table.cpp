// The hash table's iteration order decides ties in PREIMPU and TAG1, so the
// bucket counts, hashes, head insertion and growth order are tested against
// hand-worked orders and a plain model.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common_sgt/ChainedHashTable.h"

namespace {

using IntSet = ChainedHashTable<int, char, chained_hash::IntHash>;

std::vector<int> keys(const IntSet& t) {
  std::vector<int> out;
  t.forEach([&](int k, char) { out.push_back(k); });
  return out;
}

TEST(ChainedHashTable, BucketCountIsFirstListedPrimeNotBelowRequest) {
  for (auto [request, buckets] : {std::pair<uint64_t, uint32_t>{0, 53}, {53, 53}, {54, 97}, {100, 193}, {193, 193},
                                  {5000000000ull, 4294967291u}})
    EXPECT_EQ(chained_hash::bucketCountFor(request), buckets) << request;
}

TEST(ChainedHashTable, HashesTakeBytesAsSigned) {
  chained_hash::TextHash h;
  EXPECT_EQ(h(""), 0u);
  EXPECT_EQ(h("A/G"), 1931u);  // ((65 * 5) + 47) * 5 + 71
  EXPECT_EQ(h("\xC3"), 4294967235u);  // -61, wrapping around 2^32
  EXPECT_EQ(h("A\xC3"), 5u * 65u - 61u);
  std::string longText(40, 'z');  // 5^14 > 2^32: wraps without traps
  uint32_t expected = 0;
  for (char c : longText) expected = expected * 5u + static_cast<uint32_t>(c);
  EXPECT_EQ(h(longText), expected);
  // Genotype texts in 193 buckets: A/G 1, C/C 47, C/T 64, T/T 103, G/A 145,
  // G/G 151, A/A 188.
  ChainedHashTable<std::string, int, chained_hash::TextHash> t(100);
  for (const char* g : {"A/A", "G/G", "A/G", "G/A", "T/T", "C/T", "C/C"}) t.findOrInsert(g, 0);
  std::vector<std::string> texts;
  t.forEach([&](const std::string& k, int) { texts.push_back(k); });
  EXPECT_EQ(texts, (std::vector<std::string>{"A/G", "C/C", "C/T", "T/T", "G/A", "G/G", "A/A"}));
  // Byte 0xFF is -1, (2^32 - 1) mod 193 = 107: after 'A' (65), not at 255
  // mod 193 = 62 before it.
  ChainedHashTable<char, int, chained_hash::CharHash> c(100);
  for (char x : {'A', '\xFF', '\x02'}) c.findOrInsert(x, 0);
  std::string chars;
  c.forEach([&](char x, int) { chars += x; });
  EXPECT_EQ(chars, "\x02" "A\xFF");
}

TEST(ChainedHashTable, GrowsOnlyWhenEntriesWouldExceedBuckets) {
  IntSet t(53);
  for (int k = 0; k < 53; ++k) t.findOrInsert(k, 0);
  t.findOrInsert(7, 0);  // present: no growth
  EXPECT_EQ(t.bucketCount(), 53u);
  t.findOrInsert(1000, 0);
  EXPECT_EQ(t.bucketCount(), 97u);
  for (int k = 2000; t.size() < 1000; ++k) t.findOrInsert(k, 0);
  EXPECT_EQ(t.bucketCount(), 1543u);
  t.reset(53);
  EXPECT_EQ(t.bucketCount(), 53u);
  EXPECT_TRUE(keys(t).empty());
}

// Newest first within a bucket, buckets ascending, and the order after growth.
TEST(ChainedHashTable, GrowthReinsertsInOldIterationOrder) {
  // 97 is older than 0, but in 53 buckets 0 (bucket 0) is met before 97
  // (bucket 44). Growth re-inserts 0 first and 97 later, each at the head of
  // new bucket 0, so 97 comes first afterwards. 5141 = 53 * 97 shares
  // bucket 0 with 0 in both tables; newer, it is met first, re-inserted
  // first, and ends up behind 0.
  IntSet t(53);
  for (int k : {97, 0, 5141}) t.findOrInsert(k, 0);
  for (int k = 1; t.size() < 53; ++k)
    if (k != 44) t.findOrInsert(k, 0);
  std::vector<int> before = keys(t);
  ASSERT_EQ(std::vector<int>(before.begin(), before.begin() + 2), (std::vector<int>{5141, 0}));
  t.findOrInsert(53, 0);  // the 54th entry: grow to 97 buckets
  ASSERT_EQ(t.bucketCount(), 97u);
  std::vector<int> after = keys(t);
  ASSERT_EQ(after.size(), 54u);
  EXPECT_EQ(std::vector<int>(after.begin(), after.begin() + 4), (std::vector<int>{97, 0, 5141, 1}));
}

// A plain model of the rules: vectors of buckets, head insertion, growth
// re-inserting in iteration order.
struct ModelTable {
  std::vector<std::vector<int>> buckets = std::vector<std::vector<int>>(53);
  size_t size = 0;
  std::vector<int> keys() const {
    std::vector<int> out;
    for (const auto& b : buckets) out.insert(out.end(), b.begin(), b.end());
    return out;
  }
  void put(int key) {
    auto& b = buckets[static_cast<uint32_t>(key) % buckets.size()];
    b.insert(b.begin(), key);
  }
  void insert(int key) {
    std::vector<int> order = keys();
    if (std::find(order.begin(), order.end(), key) != order.end()) return;
    if (++size > buckets.size()) {
      buckets.assign(chained_hash::bucketCountFor(size), {});
      for (int k : order) put(k);
    }
    put(key);
  }
  void erase(int key) {
    for (auto& b : buckets)
      for (auto it = b.begin(); it != b.end(); ++it)
        if (*it == key) {
          b.erase(it);
          --size;
          return;
        }
  }
};

TEST(ChainedHashTable, MatchesModelOnRandomInsertsAndErases) {
  uint32_t state = 12345;
  auto next = [&]() {
    state = state * 214013u + 2531011u;
    return static_cast<int>((state >> 16) & 0x7FFF);
  };
  for (int round = 0; round < 20; ++round) {
    IntSet t(53);
    ModelTable m;
    for (int i = 50 + next() % 400; i > 0; --i) {
      int key = next() % 3000;
      if (next() % 5 == 0) {
        bool had = t.contains(key);
        EXPECT_EQ(t.erase(key), had);
        m.erase(key);
      } else {
        t.findOrInsert(key, 0);
        m.insert(key);
      }
    }
    ASSERT_EQ(keys(t), m.keys()) << "round " << round;
  }
}

}  // namespace
