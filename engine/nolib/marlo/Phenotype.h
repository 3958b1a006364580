#pragma once
#include <cstdint>
#include <string>
#include <vector>

// One distinct multi-marker genotype of a sample type with the individuals
// that carry it, and the weights of the haplotype pairs that can explain it.
//
// The genotype text holds two allele letters per marker, the smaller first.
// Candidate pair j (0 <= j < numPairs) reads the bits of j from the lowest
// upward, one per heterozygous marker in marker order: at a heterozygous
// marker haplotype1 takes the second letter when the bit is 1 and the first
// otherwise, haplotype2 the other one; at a homozygous marker both take the
// first letter. Since j < 2^(h-1), the last heterozygous marker always puts
// the smaller letter into haplotype1, so every unordered pair occurs once.
//
// A record over a whole chromosome can have thousands of heterozygous
// markers. setGenotype never allocates anything per pair; numPairs is -1
// (kPairCountNotRepresentable) when 2^(h-1) does not fit, and an estimator
// must call allocatePairWeights(), which refuses such a record.
class Phenotype {
 public:
  // numPairs of a record whose pair count does not fit in an int.
  static constexpr int kPairCountNotRepresentable = -1;
  // Largest h - 1 for which 2^(h-1) is still an int.
  static constexpr int kMaxPairBits = 30;

  Phenotype() = default;
  virtual ~Phenotype();
  Phenotype(Phenotype&&) noexcept = default;
  Phenotype& operator=(Phenotype&&) noexcept = default;
  Phenotype(const Phenotype&) = default;
  Phenotype& operator=(const Phenotype&) = default;

  // Replaces the record: stores the genotype, sizes memberIndex (zeroed) and
  // memberId to count entries, fills isHeterozygous / numHeterozygous and
  // numPairs, and drops any earlier pair weights. The caller fills the
  // member arrays.
  void setGenotype(std::string genotype, int count);

  // The two haplotypes of candidate pair j (0 <= j < numPairs).
  std::string haplotype1(int64_t j) const;
  std::string haplotype2(int64_t j) const;
  // Both at once, into the given strings (resized to numMarkers).
  void buildPair(int64_t j, std::string& h1, std::string& h2) const;

  // Allocates pairWeight with numPairs entries, all 0.0. Prints why and
  // returns false when the pair count cannot be represented or allocated.
  bool allocatePairWeights();

  double pairWeightSum = 0.0;
  std::string genotype;
  std::vector<int> memberIndex;
  std::vector<std::string> memberId;
  int count = 0;
  int numMarkers = 0;
  std::vector<double> pairWeight;  // empty until an estimator allocates it
  int numPairs = 0;
  std::vector<unsigned char> isHeterozygous;
  int numHeterozygous = 0;
};
