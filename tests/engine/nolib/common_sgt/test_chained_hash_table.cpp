#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "common_sgt/ChainedHashTable.h"

namespace {

using IntSet = ChainedHashTable<int, char, chained_hash::IntHash>;
using TextTable = ChainedHashTable<std::string, int, chained_hash::TextHash>;

std::vector<int> keysOf(const IntSet& t) {
  std::vector<int> keys;
  t.forEach([&](int k, char) { keys.push_back(k); });
  return keys;
}

std::vector<std::string> keysOf(const TextTable& t) {
  std::vector<std::string> keys;
  t.forEach([&](const std::string& k, int) { keys.push_back(k); });
  return keys;
}

TEST(ChainedHashTable, BucketCountIsFirstListedPrimeNotBelowRequest) {
  EXPECT_EQ(chained_hash::bucketCountFor(0), 53u);
  EXPECT_EQ(chained_hash::bucketCountFor(53), 53u);
  EXPECT_EQ(chained_hash::bucketCountFor(54), 97u);
  EXPECT_EQ(chained_hash::bucketCountFor(100), 193u);
  EXPECT_EQ(chained_hash::bucketCountFor(193), 193u);
  EXPECT_EQ(chained_hash::bucketCountFor(5000000000ull), 4294967291u);
  EXPECT_EQ(IntSet(53).bucketCount(), 53u);
  EXPECT_EQ(TextTable(100).bucketCount(), 193u);
}

TEST(ChainedHashTable, TextHashIsFiveHPlusSignedByte) {
  chained_hash::TextHash h;
  EXPECT_EQ(h(""), 0u);
  EXPECT_EQ(h("A"), 65u);
  // ((65 * 5) + 47) * 5 + 71 = 1931
  EXPECT_EQ(h("A/G"), 1931u);
  EXPECT_EQ(h("G/A"), 2075u);
  // A byte above 127 counts as negative, wrapping around 2^32.
  EXPECT_EQ(h("\xC3"), 4294967235u);  // -61
  EXPECT_EQ(h("A\xC3"), 5u * 65u - 61u);
  // Long texts wrap around without overflow traps: 5^14 > 2^32.
  std::string longText(40, 'z');
  uint32_t expected = 0;
  for (char c : longText) expected = expected * 5u + static_cast<uint32_t>(c);
  EXPECT_EQ(h(longText), expected);
}

TEST(ChainedHashTable, NewestFirstInBucketAndBucketsAscending) {
  IntSet t(53);
  for (int k : {0, 53, 1, 106, 52}) t.findOrInsert(k, 0);
  // Bucket 0 holds 106, 53, 0 (newest first); then bucket 1, then bucket 52.
  EXPECT_EQ(keysOf(t), (std::vector<int>{106, 53, 0, 1, 52}));
  // Inserting a present key changes nothing.
  t.findOrInsert(53, 0);
  EXPECT_EQ(keysOf(t), (std::vector<int>{106, 53, 0, 1, 52}));
  EXPECT_EQ(t.size(), 5u);
}

TEST(ChainedHashTable, GenotypeTextsIn193Buckets) {
  // h mod 193: A/G 1, C/C 47, C/T 64, T/T 103, G/A 145, G/G 151, A/A 188.
  TextTable t(100);
  for (const char* g : {"A/A", "G/G", "A/G", "G/A", "T/T", "C/T", "C/C"}) t.findOrInsert(g, 0);
  EXPECT_EQ(keysOf(t), (std::vector<std::string>{"A/G", "C/C", "C/T", "T/T", "G/A", "G/G", "A/A"}));
}

TEST(ChainedHashTable, GrowsOnlyWhenEntriesWouldExceedBuckets) {
  IntSet t(53);
  for (int k = 0; k < 53; ++k) t.findOrInsert(k, 0);
  EXPECT_EQ(t.bucketCount(), 53u);
  t.findOrInsert(7, 0);  // present: no growth
  EXPECT_EQ(t.bucketCount(), 53u);
  t.findOrInsert(1000, 0);
  EXPECT_EQ(t.bucketCount(), 97u);
  for (int k = 2000; t.size() < 1000; ++k) t.findOrInsert(k, 0);
  EXPECT_EQ(t.bucketCount(), 1543u);
}

TEST(ChainedHashTable, GrowthReinsertsInOldIterationOrder) {
  // 97 is older than 0, but in the 53-bucket table 0 (bucket 0) is met
  // before 97 (bucket 44). Growth re-inserts 0 first and 97 later, each at
  // the head of new bucket 0, so 97 comes first afterwards.
  IntSet t(53);
  t.findOrInsert(97, 0);
  t.findOrInsert(0, 0);
  // 5141 = 53 * 97 shares bucket 0 with 0 in both tables; it is newer, so it
  // is met first in the old table, re-inserted first, and ends up behind 0.
  t.findOrInsert(5141, 0);
  for (int k = 1; t.size() < 53; ++k)
    if (k != 44) t.findOrInsert(k, 0);
  std::vector<int> before = keysOf(t);
  ASSERT_EQ(before[0], 5141);
  ASSERT_EQ(before[1], 0);
  t.findOrInsert(53, 0);  // the 54th entry: grow to 97 buckets
  ASSERT_EQ(t.bucketCount(), 97u);
  std::vector<int> after = keysOf(t);
  EXPECT_EQ(after[0], 97);
  EXPECT_EQ(after[1], 0);
  EXPECT_EQ(after[2], 5141);
  EXPECT_EQ(after[3], 1);
  EXPECT_EQ(after.size(), 54u);
}

// A straightforward model of the rules: vectors of buckets, head insertion,
// growth re-inserting in iteration order.
class ModelTable {
 public:
  explicit ModelTable(uint32_t n) : m_buckets(chained_hash::bucketCountFor(n)) {}
  void insert(int key) {
    for (auto& b : m_buckets)
      for (int k : b)
        if (k == key) return;
    if (m_size + 1 > m_buckets.size()) {
      std::vector<int> order = keys();
      m_buckets.assign(chained_hash::bucketCountFor(m_size + 1), {});
      for (int k : order) put(k);
    }
    put(key);
    ++m_size;
  }
  void erase(int key) {
    for (auto& b : m_buckets)
      for (size_t i = 0; i < b.size(); ++i)
        if (b[i] == key) {
          b.erase(b.begin() + static_cast<long>(i));
          --m_size;
          return;
        }
  }
  std::vector<int> keys() const {
    std::vector<int> out;
    for (const auto& b : m_buckets) out.insert(out.end(), b.begin(), b.end());
    return out;
  }

 private:
  void put(int key) {
    auto& b = m_buckets[static_cast<uint32_t>(key) % m_buckets.size()];
    b.insert(b.begin(), key);
  }
  std::vector<std::vector<int>> m_buckets;
  size_t m_size = 0;
};

TEST(ChainedHashTable, MatchesModelOnRandomInsertsAndErases) {
  uint32_t state = 12345;
  auto next = [&]() {
    state = state * 214013u + 2531011u;
    return static_cast<int>((state >> 16) & 0x7FFF);
  };
  for (int round = 0; round < 20; ++round) {
    IntSet t(53);
    ModelTable m(53);
    int n = 50 + next() % 400;
    for (int i = 0; i < n; ++i) {
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
    ASSERT_EQ(keysOf(t), m.keys()) << "round " << round;
  }
}

TEST(ChainedHashTable, EraseKeepsTheOrderOfTheOthersAndResetStartsAfresh) {
  IntSet t(53);
  for (int k : {0, 53, 106, 1, 54}) t.findOrInsert(k, 0);
  EXPECT_TRUE(t.erase(53));
  EXPECT_FALSE(t.erase(53));
  EXPECT_EQ(keysOf(t), (std::vector<int>{106, 0, 54, 1}));
  t.findOrInsert(53, 0);  // re-added: newest in bucket 0
  EXPECT_EQ(keysOf(t), (std::vector<int>{53, 106, 0, 54, 1}));
  for (int k = 200; t.size() < 100; ++k) t.findOrInsert(k, 0);
  EXPECT_EQ(t.bucketCount(), 193u);
  t.reset(53);
  EXPECT_EQ(t.bucketCount(), 53u);
  EXPECT_TRUE(t.empty());
  EXPECT_EQ(keysOf(t), std::vector<int>{});
}

TEST(ChainedHashTable, CharKeysHashAsSignedBytes) {
  ChainedHashTable<char, int, chained_hash::CharHash> t(100);
  for (char c : {'T', 'A', 'G', 'C'}) ++t.findOrInsert(c, 0);
  std::vector<char> order;
  t.forEach([&](char c, int) { order.push_back(c); });
  EXPECT_EQ(order, (std::vector<char>{'A', 'C', 'G', 'T'}));
  // Byte 0xFF is -1, hashed as 2^32 - 1, and (2^32 - 1) mod 193 = 107: it
  // comes after 'A' (65), not at 255 mod 193 = 62 before it.
  ChainedHashTable<char, int, chained_hash::CharHash> u(100);
  for (char c : {'A', '\xFF', '\x02'}) u.findOrInsert(c, 0);
  order.clear();
  u.forEach([&](char c, int) { order.push_back(c); });
  EXPECT_EQ(order, (std::vector<char>{'\x02', 'A', '\xFF'}));
}

}  // namespace
