#pragma once
#include <cstdint>
#include <vector>

// What LD blocking reads of one computed SNP pair.
struct PairLDSummary {
  double absDprime = 0.0;   // |D'| as reported (multi-allelic D' for such pairs)
  double varDprime = -10000.0;
  double minorFreq = 0.0;
};

// The computed pairs of one sample type, kept only for the pairs that were
// computed (memory grows with the pairs written, never with nSNP squared).
// Pairs are added in the order of the pair loop: i ascending, then j
// ascending.
class PairStore {
 public:
  explicit PairStore(int snpCount = 0);
  void reset(int snpCount);
  // Reserves room for this many pairs (may throw std::bad_alloc).
  void reserve(int64_t pairs);
  void add(int i, int j, const PairLDSummary& summary);
  // The summary of pair (i, j) with i < j, or nullptr when it was not computed.
  const PairLDSummary* find(int i, int j) const;
  int snpCount() const { return m_snpCount; }
  int64_t pairCount() const { return static_cast<int64_t>(m_summaries.size()); }
  // Bytes the store currently reserves.
  int64_t reservedBytes() const;

 private:
  int m_snpCount = 0;
  // Row i holds its partners rowFirst[i] ... rowFirst[i] + rowLength[i] - 1
  // consecutively, as the pair loop writes them.
  std::vector<int64_t> m_rowStart;
  std::vector<int> m_rowFirst;
  std::vector<int> m_rowLength;
  std::vector<PairLDSummary> m_summaries;
};
