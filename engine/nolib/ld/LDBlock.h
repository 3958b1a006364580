#pragma once
#include <string>
#include <vector>

// One haplotype block of a sample type: consecutive SNPs, and once the block
// report has estimated it, its haplotypes with their chromosome counts and
// its haplotype-tagging SNPs.
struct LDBlock {
  LDBlock() = default;
  // A block always starts from two SNPs, kept in ascending order.
  LDBlock(int a, int b) : snps{a < b ? a : b, a < b ? b : a} {}

  int firstSnp() const { return snps.front(); }
  int lastSnp() const { return snps.back(); }
  int size() const { return static_cast<int>(snps.size()); }

  std::vector<int> snps;  // 0-based SNP indices
  std::vector<std::string> haplotypes;
  std::vector<int> haplotypeCounts;  // chromosomes carrying each haplotype
  int haplotypeCount = 0;
  int chromosomeTotal = 0;  // 2 x the individuals of the sample type
  std::vector<int> tagSnps;  // positions within the block, ascending
  int tagSnpCount = 0;
};
