#pragma once
#include <memory>
#include <string>
#include <vector>

#include "ld/LDBlock.h"
#include "marlo/GenoData.h"
#include "marlo/HaplotypeEstimator.h"
#include "marlo/HaplotypePair.h"
#include "marlo/Phenotype.h"

// SNP lists of this many SNPs or more are estimated by partition-ligation,
// shorter ones by plain EM; both with their constructed settings.
constexpr int kPartitionLigationFrom = 20;

// The haplotype estimate of a list of SNPs of the loaded sample type: the
// distinct genotypes over the list (individuals with "N" at any listed SNP
// left out), the estimator run over them with the sample type's number of
// individuals, and every genotype's most probable pair.
class SnpListEstimate {
 public:
  SnpListEstimate() = default;
  SnpListEstimate(const SnpListEstimate&) = delete;
  SnpListEstimate& operator=(const SnpListEstimate&) = delete;

  // False when the estimator could not run (its message is printed); the
  // estimate then has no pairs and expectedCount adds nothing. A list
  // without any complete individual has nothing to estimate and is not a
  // failure.
  bool run(const GenoData& data, const std::vector<int>& snps, const std::string& label);

  // The phenotype of individual i of the sample type, -1 when left out.
  int phenotypeOf(int individual) const {
    return individual >= 0 && individual < static_cast<int>(m_phenotypeOfIndividual.size())
               ? m_phenotypeOfIndividual[individual]
               : -1;
  }
  const HaplotypePair& bestPair(int phenotype) const { return m_best[phenotype]; }
  int phenotypeCount() const { return static_cast<int>(m_phenotypes.size()); }
  const Phenotype& phenotype(int p) const { return m_phenotypes[p]; }
  // Expected copies of a haplotype over all pairs of all genotypes.
  double expectedCount(const std::string& haplotype) const;
  bool estimated() const { return m_estimator != nullptr; }

 private:
  std::vector<Phenotype> m_phenotypes;
  std::vector<int> m_phenotypeOfIndividual;
  std::unique_ptr<HaplotypeEstimator> m_estimator;
  std::vector<HaplotypePair> m_best;
};

// The block's haplotypes: each genotype's most probable pair adds
// count / (2n) to the weight of both its haplotypes (n the individuals of
// the sample type), and each haplotype's chromosome count is its weight x 2n
// rounded to the nearest integer (the sum of the shares is a whole number of
// chromosomes; rounding keeps a floating-point sum just below it from losing
// one). Haplotypes are listed in order of first appearance. Fills
// haplotypes, haplotypeCounts, haplotypeCount and chromosomeTotal (2n);
// the estimate is left in estimate for the individual columns of the report.
bool estimateBlockHaplotypes(const GenoData& data, LDBlock& block, const std::string& label,
                             SnpListEstimate& estimate);
