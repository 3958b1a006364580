#include "marlo/Phenotype.h"

#include <cstdio>
#include <new>

#include "common_sgt/Parallel.h"

Phenotype::~Phenotype() = default;

void Phenotype::setGenotype(std::string text, int memberCount) {
  genotype = std::move(text);
  count = memberCount;
  const int n = memberCount > 0 ? memberCount : 0;
  memberIndex.assign(n, 0);
  memberId.assign(n, std::string());
  numMarkers = static_cast<int>(genotype.size() / 2);
  isHeterozygous.assign(numMarkers, 0);
  numHeterozygous = 0;
  // Without branches: about a third of the markers of real data are
  // heterozygous, in no pattern a predictor could learn.
  int heterozygous = 0;
  for (int m = 0; m < numMarkers; ++m) {
    const bool het = genotype[2 * m] != genotype[2 * m + 1];
    isHeterozygous[m] = het;
    heterozygous += het;
  }
  numHeterozygous = heterozygous;
  if (numHeterozygous == 0)
    numPairs = 1;
  else if (numHeterozygous - 1 <= kMaxPairBits)
    numPairs = static_cast<int>(int64_t{1} << (numHeterozygous - 1));
  else
    numPairs = kPairCountNotRepresentable;
  pairWeight.clear();
  pairWeight.shrink_to_fit();
  pairWeightSum = 0.0;
}

void Phenotype::buildPair(int64_t j, std::string& h1, std::string& h2) const {
  h1.resize(numMarkers);
  h2.resize(numMarkers);
  int bit = 0;
  for (int m = 0; m < numMarkers; ++m) {
    const char first = genotype[2 * m];
    const char second = genotype[2 * m + 1];
    if (!isHeterozygous[m]) {
      h1[m] = first;
      h2[m] = first;
      continue;
    }
    // Bits beyond 63 are 0: only the last heterozygous marker can get there,
    // and its bit is always 0.
    const bool one = bit < 63 && ((j >> bit) & 1) != 0;
    ++bit;
    h1[m] = one ? second : first;
    h2[m] = one ? first : second;
  }
}

std::string Phenotype::haplotype1(int64_t j) const {
  std::string h1, h2;
  buildPair(j, h1, h2);
  return h1;
}

std::string Phenotype::haplotype2(int64_t j) const {
  std::string h1, h2;
  buildPair(j, h1, h2);
  return h2;
}

bool Phenotype::allocatePairWeights() {
  if (numPairs < 1) {
    consolePrintf("Phenotype: %d heterozygous markers give 2^%d candidate haplotype pairs, too many to enumerate\n",
           numHeterozygous, numHeterozygous - 1);
    consoleFlush();
    return false;
  }
  try {
    pairWeight.assign(static_cast<size_t>(numPairs), 0.0);
  } catch (const std::bad_alloc&) {
    consolePrintf("Phenotype: no memory for %d candidate haplotype pairs\n", numPairs);
    consoleFlush();
    return false;
  }
  return true;
}
