#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// A chained hash table whose iteration order is part of the results: where a
// command breaks ties by "the first one met", it walks this table, so the
// bucket count, the hash, the insertion position and the growth step are all
// fixed here and must not be changed.
//
// - Bucket counts come from a fixed list of primes; the table starts at the
//   first prime not below the requested size and grows to the next prime
//   when adding an entry would leave more entries than buckets.
// - A new entry goes to the head of its bucket.
// - Iteration walks the buckets in ascending order, each from its head.
// - Growth re-inserts the old entries, each at the head of its new bucket,
//   in the old iteration order.
// - Hashes are unsigned 32-bit values, wrapping around.
//
// Nodes live in one pool (indices instead of pointers), so filling and
// clearing the table for every input line costs no heap traffic once the
// pool has reached its working size.

namespace chained_hash {

inline constexpr uint32_t kPrimes[] = {
    53u,        97u,        193u,       389u,       769u,        1543u,       3079u,       6151u,       12289u,     24593u,
    49157u,     98317u,     196613u,    393241u,    786433u,     1572869u,    3145739u,    6291469u,    12582917u,  25165843u,
    50331653u,  100663319u, 201326611u, 402653189u, 805306457u,  1610612741u, 3221225473u, 4294967291u};
inline constexpr size_t kPrimeCount = sizeof(kPrimes) / sizeof(kPrimes[0]);

// The first prime of the list not below n (the last one for anything larger).
inline uint32_t bucketCountFor(uint64_t n) {
  for (uint32_t p : kPrimes)
    if (p >= n) return p;
  return kPrimes[kPrimeCount - 1];
}

// h = 5h + c over the characters taken as signed bytes.
struct TextHash {
  uint32_t operator()(std::string_view s) const {
    uint32_t h = 0;
    for (char c : s) h = 5u * h + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(c)));
    return h;
  }
};

// An integer key hashes to its own value.
struct IntHash {
  uint32_t operator()(int v) const { return static_cast<uint32_t>(v); }
};

// One character hashes to its code taken as a signed byte.
struct CharHash {
  uint32_t operator()(char c) const { return static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(c))); }
};

}  // namespace chained_hash

template <typename Key, typename Value, typename Hash, typename Equal = std::equal_to<Key>>
class ChainedHashTable {
 public:
  explicit ChainedHashTable(uint64_t requestedBuckets = 53) { reset(requestedBuckets); }

  // Empties the table and starts again at the first prime not below the
  // requested size.
  void reset(uint64_t requestedBuckets) {
    m_nodes.clear();
    m_free = kNone;
    m_size = 0;
    m_heads.assign(chained_hash::bucketCountFor(requestedBuckets), kNone);
  }

  size_t size() const { return m_size; }
  bool empty() const { return m_size == 0; }
  size_t bucketCount() const { return m_heads.size(); }

  Value* find(const Key& key) {
    int32_t n = m_heads[bucketOf(key, m_heads.size())];
    while (n != kNone) {
      if (m_equal(m_nodes[n].key, key)) return &m_nodes[n].value;
      n = m_nodes[n].next;
    }
    return nullptr;
  }
  bool contains(const Key& key) { return find(key) != nullptr; }

  // The value of key, adding the key with value init when it is new.
  Value& findOrInsert(const Key& key, const Value& init = Value()) {
    if (Value* v = find(key)) return *v;
    return insertNew(key, init);
  }

  // Adds a key known to be absent.
  Value& insertNew(const Key& key, const Value& init = Value()) {
    if (m_size + 1 > m_heads.size()) grow(m_size + 1);
    int32_t n = allocNode(key, init);
    size_t b = bucketOf(key, m_heads.size());
    m_nodes[n].next = m_heads[b];
    m_heads[b] = n;
    ++m_size;
    return m_nodes[n].value;
  }

  bool erase(const Key& key) {
    size_t b = bucketOf(key, m_heads.size());
    int32_t* link = &m_heads[b];
    while (*link != kNone) {
      int32_t n = *link;
      if (m_equal(m_nodes[n].key, key)) {
        *link = m_nodes[n].next;
        m_nodes[n].next = m_free;
        m_free = n;
        --m_size;
        return true;
      }
      link = &m_nodes[n].next;
    }
    return false;
  }

  // Calls f(key, value) for every entry in iteration order.
  template <typename F>
  void forEach(F&& f) const {
    for (int32_t head : m_heads)
      for (int32_t n = head; n != kNone; n = m_nodes[n].next) f(m_nodes[n].key, m_nodes[n].value);
  }

 private:
  static constexpr int32_t kNone = -1;
  struct Node {
    Key key;
    Value value;
    int32_t next;
  };

  size_t bucketOf(const Key& key, size_t buckets) const { return static_cast<size_t>(m_hash(key) % buckets); }

  int32_t allocNode(const Key& key, const Value& init) {
    if (m_free != kNone) {
      int32_t n = m_free;
      m_free = m_nodes[n].next;
      m_nodes[n].key = key;
      m_nodes[n].value = init;
      return n;
    }
    m_nodes.push_back(Node{key, init, kNone});
    return static_cast<int32_t>(m_nodes.size() - 1);
  }

  void grow(uint64_t hint) {
    size_t old = m_heads.size();
    uint32_t next = chained_hash::bucketCountFor(hint);
    if (next <= old) return;
    std::vector<int32_t> heads(next, kNone);
    for (size_t b = 0; b < old; ++b) {
      int32_t n = m_heads[b];
      while (n != kNone) {
        int32_t following = m_nodes[n].next;
        size_t nb = bucketOf(m_nodes[n].key, next);
        m_nodes[n].next = heads[nb];
        heads[nb] = n;
        n = following;
      }
    }
    m_heads.swap(heads);
  }

  std::vector<Node> m_nodes;
  std::vector<int32_t> m_heads;
  int32_t m_free = kNone;
  size_t m_size = 0;
  Hash m_hash;
  Equal m_equal;
};
