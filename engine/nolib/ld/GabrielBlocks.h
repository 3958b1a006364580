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

// Blocks by Gabriel's confidence-interval method over the computed pairs of
// one sample type.
//
// The confidence bounds |D'| +- 1.96 sqrt(varDprime) and the pair's minor
// allele frequency are taken, for each first SNP i, from j = i + 1 onwards
// up to the first pair that was not computed or has a negative variance; the
// pairs of that run form row i of a band. Every pair outside the band has
// bounds and frequency 0, so it is strong only when all three thresholds are
// at most 0.00001. The band holds one strong flag per pair: memory grows with
// the pairs, never with the square of the SNP count.
class GabrielBlockFinder {
 public:
  GabrielBlockFinder(const PairStore& pairs, int snpCount, const GabrielThresholds& thresholds);

  // Builds the band (the "Bootstrapping" step).
  void computeBounds();
  // Whether pair (a, b), a < b, is in strong LD.
  bool strong(int a, int b) const;
  // Candidate blocks from every i whose pair (i, i + 1) is strong, extended
  // while the cumulative fraction of strong pairs stays at least E. Prints
  // "i~k " per block (k the last SNP examined) and a line end at the end;
  // progress(i) is called before each i.
  std::vector<LDBlock> candidateBlocks(const std::function<void(int)>& progress) const;
  // Trims overlapping neighbours: the smaller block (on equal sizes the one
  // whose boundary pair has the smaller |D'|, the later one on a tie) gives
  // up the shared SNPs; a block left with fewer than two SNPs is dropped.
  void removeOverlaps(std::vector<LDBlock>& blocks) const;
  // |D'| of a computed pair; 0 for a pair that was not computed.
  double absDprime(int a, int b) const;

  int64_t bandPairs() const { return static_cast<int64_t>(m_strong.size()); }

 private:
  const PairStore& m_pairs;
  int m_snpCount;
  GabrielThresholds m_thresholds;
  bool m_zeroStrong = false;  // pairs outside the band are strong
  std::vector<int64_t> m_rowStart;
  std::vector<int> m_rowLength;
  std::vector<unsigned char> m_strong;
};
