#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "ld/PairwiseValue.h"
#include "marlo/GenoData.h"

// Pairwise LD over a whole sample type at the speed of bit operations.
//
// Every SNP keeps one bit plane (a bit per individual) for each distinct
// genotype without "N" that occurs at it. The individuals of a pair's
// sub-phenotype are then the AND of one plane of each SNP: its count is a
// population count and its first individual the lowest set bit, which is
// all the two-SNP estimation needs: the sub-phenotypes in the order of their
// first individual, their counts, and at most sixteen haplotypes. The
// estimation repeats the general estimator's arithmetic operation by
// operation (see EMAlgorithm.h) and consumes the random generator the same
// way, so every value is bit-identical to computePairGeneral; only the
// p-values come from fastChiSquareP1 (same printed digits), and the stop test
// reads its log-likelihoods from a faster logarithm wherever their error
// bound cannot change its outcome (the exact ones otherwise).
//
// SNPs with more than four alleles or a genotype the planes cannot hold are
// left to the general computation (usable() is false for them).
//
// A copy shares the packed tables (read-only once built) and has its own
// scratch for the current pair: one copy per thread computes pairs
// independently of the others.
class PackedPairComputer {
 public:
  // Most alleles and genotypes a SNP may have here.
  static constexpr int kMaxAlleles = 4;
  static constexpr int kMaxCodes = 10;

  // Packs the sample type loaded in data; eps is the estimator threshold;
  // exactMle as for computePairGeneral.
  // Packing runs on `workers` threads (the tables do not depend on it).
  PackedPairComputer(const GenoData& data, double eps, bool exactMle = false, unsigned workers = 1);

  bool usable(int snp) const { return m_snps[snp].usable; }
  // The pair i < j, both usable.
  void compute(int i, int j, PairwiseValue& value);
  // compute in its two steps (the benchmark times them apart): the classes
  // and sub-phenotypes of the pair (value is reset and gets the class counts
  // and N), then the estimation and statistics of that pair.
  void countPair(int i, int j, PairwiseValue& value);
  void estimatePair(PairwiseValue& value);

  // Bytes held by the planes and tables.
  int64_t memoryBytes() const;

 private:
  struct Snp {
    bool usable = true;
    int numAlleles = 0;
    char alleles[kMaxAlleles] = {};  // allele-table order
    int numCodes = 0;
    // Letters of each genotype (smaller first), its allele numbers, whether
    // heterozygous, and its genotype class at this SNP (0, 1, 2; -1 with a
    // third allele).
    char letters[kMaxCodes][2] = {};
    uint8_t alleleOf[kMaxCodes][2] = {};
    bool het[kMaxCodes] = {};
    int8_t genotypeClass[kMaxCodes] = {};
    int64_t planeOffset = 0;  // first word of the first plane
  };

  // One run of the two-SNP estimator over the current sub-phenotypes with
  // numIndividuals; leaves the haplotype frequencies in m_freq.
  void estimate(int numIndividuals);
  double logLikelihood(const double* sums, double constant) const;
  bool approxLogLikelihood(const double* sums, const double* counts, double constant, const void* logs,
                           double& value) const;
  void pack(const GenoData& data, unsigned workers);

  // What every copy shares; written only while the first one is built.
  struct Tables {
    std::vector<Snp> snps;
    std::vector<uint64_t> planes;
    std::vector<double> logPairsOfCount;
    std::vector<double> logPairsOfPheno;
  };

  const GenoData& m_data;
  double m_eps;
  bool m_exactMle;
  int m_numIndividuals = 0;
  int m_words = 0;
  std::shared_ptr<Tables> m_tables;
  std::vector<Snp>& m_snps;
  std::vector<uint64_t>& m_planes;
  // log(c (c + 1) / 2) for c = 0 .. individuals, and log(P (P + 1) / 2) for
  // P sub-phenotypes, exactly as the estimator evaluates them.
  std::vector<double>& m_logPairsOfCount;
  std::vector<double>& m_logPairsOfPheno;

  // The current pair and its sub-phenotypes, in order of their first
  // individual.
  static constexpr int kMaxSubs = kMaxCodes * kMaxCodes;
  int m_first = 0;
  int m_second = 0;
  int m_numSubs = 0;
  int m_count[kMaxSubs];
  int m_numPairs[kMaxSubs];
  bool m_heterozygous[kMaxSubs];
  uint8_t m_hap1[kMaxSubs][2];
  uint8_t m_hap2[kMaxSubs][2];
  double m_weight[kMaxSubs][2];
  double m_freq[kMaxAlleles * kMaxAlleles];
};
