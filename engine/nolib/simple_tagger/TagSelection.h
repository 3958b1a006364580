#pragma once
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "common_sgt/ChainedHashTable.h"

// The greedy r-squared tag selection of one .pwld section.

struct TagPartner {
  int index;
  double r2;
};

// A SNP with at least one partner above the threshold.
struct TagRecord {
  int index = 0;
  int partnerCount = 0;
  double r2Sum = 0.0;  // summed in the order the pairs were read
  std::vector<TagPartner> partners;  // in the order met
};

class TagSection {
 public:
  using CoverSet = ChainedHashTable<int, char, chained_hash::IntHash>;
  static constexpr int kCoverSetSize = 53;

  TagSection();
  // Forgets everything; the set of SNPs to cover starts again at 53 buckets.
  void clear();
  // One pair line: both SNPs join the set to cover, whatever r2; a pair
  // whose r2 is strictly above the threshold makes the two partners.
  void addPair(int i, int j, double r2, double threshold);
  // Sorts the records (more partners first, then the larger r2 sum, then the
  // smaller index) and picks taggers greedily until every SNP is covered.
  void select();

  const std::vector<const TagRecord*>& taggers() const { return m_taggers; }
  // SNPs left uncovered after select(), in the set's iteration order.
  std::vector<int> singletons() const;
  size_t recordCount() const { return m_records.size(); }
  const CoverSet& coverSet() const { return m_cover; }

  // The order of the sorted list: true when a comes before b.
  static bool before(const TagRecord& a, const TagRecord& b);

 private:
  TagRecord& recordOf(int index);

  std::vector<TagRecord> m_records;
  std::unordered_map<int, uint32_t> m_slots;
  CoverSet m_cover{kCoverSetSize};
  std::vector<const TagRecord*> m_taggers;
};
