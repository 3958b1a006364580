#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "ld/LDBlock.h"
#include "ld/PairStore.h"

// Thresholds of Gabriel's method.
struct GabrielThresholds {
  double uth = 0.98;  // least upper confidence bound of |D'|
  double lth = 0.7;   // least lower confidence bound of |D'|
  double thf = 0.05;  // least minor allele frequency of the pair
  double e = 0.95;    // least fraction of strong pairs to extend a block
};

// A block of Gabriel's method: the consecutive SNPs first..last.
struct BlockRange {
  int first = 0;
  int last = 0;
  int size() const { return last - first + 1; }
  bool operator==(const BlockRange&) const = default;
};

// Blocks by Gabriel's confidence-interval method over the computed pairs of
// one sample type.
//
// The confidence bounds |D'| +- 1.96 sqrt(varDprime) and the pair's minor
// allele frequency are taken, for each first SNP i, from j = i + 1 onwards
// up to the first pair that was not computed or has a negative variance; the
// pairs of that run form row i of a band. Every pair outside the band has
// bounds and frequency 0, so it is strong only when all three thresholds are
// at most 0.00001. The band holds one strong flag per pair, and an index by
// second SNP counts the strong pairs of a column in logarithmic time, so
// neither memory nor the extension of a block grows with the square of the
// SNP count (thresholds that make every pair strong extend every block to
// the last SNP).
class GabrielBlockFinder {
 public:
  // Rows of the band and candidate blocks are found on `workers` threads;
  // the band, the blocks and the printed text do not depend on it.
  GabrielBlockFinder(const PairStore& pairs, int snpCount, const GabrielThresholds& thresholds, unsigned workers = 1);

  // Builds the band (the "Bootstrapping" step).
  void computeBounds();
  // Whether pair (a, b), a < b, is in strong LD.
  bool strong(int a, int b) const;
  // Strong pairs (a, k) with from <= a < k.
  int64_t strongInColumn(int k, int from) const;
  // Candidate blocks from every i whose pair (i, i + 1) is strong, extended
  // while the cumulative fraction of strong pairs stays at least E. Prints
  // "i~k " per block (k the last SNP examined) and a line end at the end;
  // progress(i) is called before each i.
  std::vector<BlockRange> candidateBlocks(const std::function<void(int)>& progress) const;
  // Trims overlapping neighbours: the smaller block (on equal sizes the one
  // whose boundary pair has the smaller |D'|, the later one on a tie) gives
  // up the shared SNPs; a block left with fewer than two SNPs is dropped.
  void removeOverlaps(std::vector<BlockRange>& blocks) const;
  // |D'| of a computed pair; 0 for a pair that was not computed.
  double absDprime(int a, int b) const;

  int64_t bandPairs() const { return static_cast<int64_t>(m_strong.size()); }
  // Bounds of `workers` ranges of first SNPs 0 .. snpCount - 2.
  std::vector<int64_t> rowRanges() const;
  static LDBlock toBlock(const BlockRange& range);

 private:
  const PairStore& m_pairs;
  int m_snpCount;
  GabrielThresholds m_thresholds;
  unsigned m_workers = 1;
  bool m_zeroStrong = false;  // pairs outside the band are strong
  std::vector<int64_t> m_rowStart;
  std::vector<int> m_rowLength;
  std::vector<unsigned char> m_strong;
  // Column k: the rows a whose band reaches k, ascending, at
  // m_columnRow[m_columnStart[k] ...], and the strong pairs among the
  // column's first t rows at m_columnStrong[m_columnStart[k] + k + t]
  // (one more entry per column than rows).
  std::vector<int64_t> m_columnStart;
  std::vector<int> m_columnRow;
  std::vector<int> m_columnStrong;
};
