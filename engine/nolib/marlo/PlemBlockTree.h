#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The retained haplotypes of one block of consecutive markers, back to back
// in one text: haplotype i is letters[i * numMarkers, (i + 1) * numMarkers).
class BlockHaplotypeSet {
 public:
  // Replaces the content and takes the letters over (count haplotypes of
  // markers letters each).
  void set(int count, std::string&& list, int markers);
  std::string_view haplotype(int i) const {
    return std::string_view(letters).substr(static_cast<size_t>(i) * numMarkers, numMarkers);
  }
  std::string text(int i) const { return std::string(haplotype(i)); }

  int numHaplotypes = 0;
  int numMarkers = 0;
  std::string letters;
};

// Complement of n haplotype letters against the genotype letter pairs g
// (two per marker); false at the first letter that is neither of its pair.
inline bool complementInto(const char* g, const char* h, int n, char* out) {
  for (int m = 0; m < n; ++m) {
    const char x = h[m];
    const char g1 = g[2 * m];
    const char g2 = g[2 * m + 1];
    if (x == g1)
      out[m] = g2;
    else if (x == g2)
      out[m] = g1;
    else
      return false;
  }
  return true;
}

// The blocks of a partition-ligation run. Every block of every level is a
// node: an initial block holds its letters; a joined block holds, per
// haplotype, its left and right halves (indices into its two child nodes). A
// copied block keeps its node. The options of a genotype are found through
// the nodes: a joined haplotype has a listed complement exactly when both
// halves have one and the pair of those complements is listed, so no
// haplotype text is compared above the initial blocks.
class PlemBlockTree {
 public:
  PlemBlockTree();
  ~PlemBlockTree();

  void clear();
  // An initial block starting at marker start; its letters are copied.
  int addLeaf(const BlockHaplotypeSet& set, int start);
  // A joined block of markers [start, start + size): haplotype i joins
  // haplotype partLeft[i] of node left to partRight[i] of node right, whose
  // block holds childRight haplotypes.
  int addJoined(int start, int size, int left, int right, int64_t childRight, std::vector<int>&& partLeft,
                std::vector<int>&& partRight);

  // count new stamps, one per genotype of a join, returned as the first:
  // joins of one level reserve theirs in order and may then mark their own
  // (disjoint) subtrees at the same time.
  int reserveStamps(int count) {
    const int first = m_stamp + 1;
    m_stamp += count;
    return first;
  }
  // Marks in node n (and below) every haplotype whose complement against the
  // genotype is listed, with the complement's index. genotype holds the
  // letter pairs of markers from rangeFrom on.
  void findComplements(int n, const char* genotype, int rangeFrom, int stamp);
  // After findComplements: the haplotypes of node n with a listed
  // complement, ascending, and the complement of each.
  const std::vector<int>& found(int n) const;
  int complement(int n, int haplotype) const;
  // Haplotypes of node n.
  int count(int n) const;

 private:
  struct Node;
  std::vector<std::unique_ptr<Node>> m_nodes;
  int m_stamp = 0;
};
