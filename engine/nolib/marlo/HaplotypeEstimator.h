#pragma once
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

#include "marlo/GenoData.h"
#include "marlo/HaplotypePair.h"
#include "marlo/Phenotype.h"

// Common base of the haplotype estimators (plain EM and partition-ligation
// EM). The result writers below read an estimator only through getBestPair
// and expectedCount, so every estimator gets the same files.
//
// Use: construct, setData, perform once, then (EM and PLEM commands) the
// writers in the order the command needs.
class HaplotypeEstimator {
 public:
  HaplotypeEstimator();
  virtual ~HaplotypeEstimator();
  HaplotypeEstimator(const HaplotypeEstimator&) = delete;
  HaplotypeEstimator& operator=(const HaplotypeEstimator&) = delete;

  // Runs the estimation. False when it could not run (the reason is
  // printed); the writers must then not be called.
  virtual bool perform() = 0;
  // The most probable haplotype pair of phenotype i. An index outside the
  // phenotypes gives two empty haplotypes with probability 0.0.
  virtual void getBestPair(int phenotypeIndex, HaplotypePair& result) = 0;
  // Adds to total the expected number of copies of the haplotype among the
  // 2N chromosomes: count x posterior of every pair, once per side of the
  // pair that equals the haplotype.
  virtual void expectedCount(const std::string& haplotype, double& total) = 0;

  // The phenotypes are borrowed: the caller keeps them alive while the
  // estimator is used. The estimator writes their pairWeight arrays.
  void setData(Phenotype* phenotypes, int numMarkers, int numPheno, int numIndividuals);

  // Every haplotype of some phenotype's most probable pair, in order of first
  // appearance, with its share of the expected copies of the listed
  // haplotypes; then ordered by the exchange procedure (entry i and j > i
  // trade places when frequency i < frequency j).
  void collectBestHaplotypes(std::vector<std::string>& haplotypes, std::vector<double>& frequencies);

  int numMarkers = 0;
  int numPheno = 0;
  int numIndividuals = 0;
  Phenotype* phenotypes = nullptr;

  // getBestPair of every phenotype, in phenotype order.
  void bestPairs(std::vector<HaplotypePair>& best);
  void collectBestHaplotypes(const std::vector<HaplotypePair>& best, std::vector<std::string>& haplotypes,
                             std::vector<double>& frequencies);
  // For individual i (0..numIndividuals-1) its phenotype and its position
  // among the phenotype's members; -1 when no phenotype lists it.
  void individualOwners(std::vector<int>& phenotypeOf, std::vector<int>& memberPosition) const;
};

// The result writers of the haplotype commands, free functions over any
// estimator. They stay in HaplotypeEstimator.cpp because their diagnostics
// name that source unit. The individual writer must come after the
// population writer, which makes the haplotype identifiers it prints.

// Haplotype string -> identifier ("h3").
using HaplotypeIds = std::unordered_map<std::string, std::string>;

// The five header lines of a population section (chromosome, block 1, the
// marker numbers, an empty htSNP line, the sample type). Needs no estimator.
void writePopulationHeader(FILE* fp, const GenoData& data, int sampleTypeIndex);
// The haplotype table of a population section; records "h<k>" as the
// identifier of row k in ids. Without any haplotype of non-zero frequency,
// prints the "#error=" line on standard error and writes nothing. The
// minimum haplotype frequency is accepted but not applied.
void writePopulationFile(FILE* fp, HaplotypeEstimator& estimator, const char* chromosome, double minHaplotypeFreq,
                         const char* sampleTypeName, HaplotypeIds& ids);
// The block matrix: header with the haplotype count filled in place (the
// stream must be seekable), marker rows, one row per haplotype with each
// individual's copies, the Location row read back from the input file and
// each individual's accuracy. False when the input could not be read back
// for the Location row: the block file is then incomplete and the command
// must fail.
bool writeBlockFile(FILE* fp, HaplotypeEstimator& estimator, const GenoData& data, int sampleTypeIndex);
// One row per individual with a best pair of positive probability, with the
// haplotype identifiers of the population writer ("null" when absent) and
// the individual's sample type from kestrel. sampleTypes are the per-column
// sample types of the whole file, count of them.
void writeIndividualFile(FILE* fp, HaplotypeEstimator& estimator, const HaplotypeIds& ids, const char* chromosome,
                         const char* sampleTypeName, const std::vector<std::string>& sampleTypes, int count);
