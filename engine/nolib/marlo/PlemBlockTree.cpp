#include "marlo/PlemBlockTree.h"

#include <algorithm>
#include <bit>

namespace {

// Open addressing from a 64-bit key to a non-negative int, linear probing.
class KeyIndex {
 public:
  void reserve(size_t n) {
    size_t capacity = 16;
    while (capacity < 2 * n) capacity *= 2;
    m_bits = std::countr_zero(capacity);
    m_keys.assign(capacity, 0);
    m_values.assign(capacity, -1);
  }
  void insert(uint64_t key, int value) {
    const size_t mask = m_keys.size() - 1;
    size_t s = slot(key);
    while (m_values[s] >= 0 && m_keys[s] != key) s = (s + 1) & mask;
    m_keys[s] = key;
    m_values[s] = value;
  }
  int find(uint64_t key) const {
    if (m_keys.empty()) return -1;
    const size_t mask = m_keys.size() - 1;
    for (size_t s = slot(key);; s = (s + 1) & mask) {
      if (m_values[s] < 0) return -1;
      if (m_keys[s] == key) return m_values[s];
    }
  }

 private:
  size_t slot(uint64_t key) const { return (key * 0x9E3779B97F4A7C15ull) >> (64 - m_bits); }
  std::vector<uint64_t> m_keys;
  std::vector<int> m_values;
  int m_bits = 0;
};

}  // namespace

struct PlemBlockTree::Node {
  int start = 0;  // first marker
  int size = 0;
  int count = 0;  // haplotypes
  // Joined block: child nodes and the halves of every haplotype; parts maps
  // left * childRight + right back to the haplotype.
  int left = -1;
  int right = -1;
  int64_t childRight = 0;
  std::vector<int> partLeft;
  std::vector<int> partRight;
  KeyIndex parts;
  // Initial block: the letters and a text index into them.
  std::string letters;
  std::unordered_map<std::string_view, int> textIndex;
  // For the genotype of the current stamp: the haplotypes with a listed
  // complement, ascending, and the complement of each (valid where
  // stamp[i] is the current stamp).
  std::vector<int> found;
  std::vector<int> complement;
  std::vector<int> stamp;
};

void BlockHaplotypeSet::set(int count, std::string&& list, int markers) {
  letters = std::move(list);
  numHaplotypes = count;
  numMarkers = markers;
}

PlemBlockTree::PlemBlockTree() = default;
PlemBlockTree::~PlemBlockTree() = default;

void PlemBlockTree::clear() { m_nodes.clear(); }

int PlemBlockTree::addLeaf(const BlockHaplotypeSet& set, int start) {
  auto node = std::make_unique<Node>();
  node->start = start;
  node->size = set.numMarkers;
  node->count = set.numHaplotypes;
  node->letters = set.letters;
  node->textIndex.reserve(static_cast<size_t>(node->count) * 2 + 1);
  const std::string_view letters(node->letters);
  for (int x = 0; x < node->count; ++x)
    node->textIndex.try_emplace(letters.substr(static_cast<size_t>(x) * node->size, node->size), x);
  node->complement.assign(node->count, -1);
  node->stamp.assign(node->count, -1);
  m_nodes.push_back(std::move(node));
  return static_cast<int>(m_nodes.size()) - 1;
}

int PlemBlockTree::addJoined(int start, int size, int left, int right, int64_t childRight, std::vector<int>&& partLeft,
                             std::vector<int>&& partRight) {
  auto node = std::make_unique<Node>();
  node->start = start;
  node->size = size;
  node->count = static_cast<int>(partLeft.size());
  node->left = left;
  node->right = right;
  node->childRight = childRight;
  node->parts.reserve(partLeft.size());
  for (size_t i = 0; i < partLeft.size(); ++i)
    node->parts.insert(static_cast<uint64_t>(partLeft[i] * node->childRight + partRight[i]), static_cast<int>(i));
  node->partLeft = std::move(partLeft);
  node->partRight = std::move(partRight);
  node->complement.assign(node->count, -1);
  node->stamp.assign(node->count, -1);
  m_nodes.push_back(std::move(node));
  return static_cast<int>(m_nodes.size()) - 1;
}

const std::vector<int>& PlemBlockTree::found(int n) const { return m_nodes[n]->found; }

int PlemBlockTree::complement(int n, int haplotype) const { return m_nodes[n]->complement[haplotype]; }

int PlemBlockTree::count(int n) const { return m_nodes[n]->count; }

void PlemBlockTree::findComplements(int n, const char* genotype, int rangeFrom, int stamp) {
  Node& node = *m_nodes[n];
  node.found.clear();
  const char* g = genotype + 2 * static_cast<size_t>(node.start - rangeFrom);
  if (node.left < 0) {
    // Per thread: joins of one level look up complements side by side.
    thread_local std::string buffer;
    if (buffer.size() < static_cast<size_t>(node.size)) buffer.resize(node.size);
    for (int x = 0; x < node.count; ++x) {
      if (!complementInto(g, node.letters.data() + static_cast<size_t>(x) * node.size, node.size, buffer.data()))
        continue;
      auto it = node.textIndex.find(std::string_view(buffer.data(), node.size));
      if (it == node.textIndex.end()) continue;
      node.complement[x] = it->second;
      node.stamp[x] = stamp;
      node.found.push_back(x);
    }
    return;
  }
  findComplements(node.left, genotype, rangeFrom, stamp);
  findComplements(node.right, genotype, rangeFrom, stamp);
  const Node& a = *m_nodes[node.left];
  const Node& b = *m_nodes[node.right];
  const int64_t r = node.childRight;
  if (static_cast<long long>(a.found.size()) * static_cast<long long>(b.found.size()) <= node.count) {
    // Few halves with a complement: try their pairs.
    for (int x : a.found) {
      const int64_t cx = a.complement[x] * r;
      for (int y : b.found) {
        const int i = node.parts.find(static_cast<uint64_t>(x * r + y));
        if (i < 0) continue;
        const int j = node.parts.find(static_cast<uint64_t>(cx + b.complement[y]));
        if (j < 0) continue;
        node.complement[i] = j;
        node.stamp[i] = stamp;
        node.found.push_back(i);
      }
    }
    std::sort(node.found.begin(), node.found.end());
  } else {
    for (int i = 0; i < node.count; ++i) {
      const int x = node.partLeft[i], y = node.partRight[i];
      if (a.stamp[x] != stamp || b.stamp[y] != stamp) continue;
      const int j = node.parts.find(static_cast<uint64_t>(a.complement[x] * r + b.complement[y]));
      if (j < 0) continue;
      node.complement[i] = j;
      node.stamp[i] = stamp;
      node.found.push_back(i);
    }
  }
}

