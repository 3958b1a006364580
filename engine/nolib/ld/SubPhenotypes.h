#pragma once
#include <vector>

#include "marlo/GenoData.h"
#include "marlo/Phenotype.h"

// The alleles of one SNP of the loaded sample type: every distinct letter
// other than "N" with the number of times it occurs, each individual giving
// its two letters. Ordered by count, largest first; equal counts put the
// smaller character code first (codes compared as signed characters, as the
// loader sorts the letters of a genotype).
struct SnpAlleleTable {
  std::vector<char> alleles;
  std::vector<int> counts;

  int size() const { return static_cast<int>(alleles.size()); }
  // The most frequent allele; "N" for a SNP without any allele.
  char first() const { return alleles.empty() ? 'N' : alleles[0]; }
  // The second allele; a SNP with a single allele uses it as both.
  char second() const { return alleles.size() > 1 ? alleles[1] : first(); }
};

// The allele table of SNP snp (0-based) over every individual of the sample
// type loaded in data.
SnpAlleleTable buildAlleleTable(const GenoData& data, int snp);
// The same from the number of occurrences of every letter, indexed by the
// letter as unsigned char ("N" must already be left out).
SnpAlleleTable alleleTableFromCounts(const long long counts[256]);

// The distinct genotypes of the loaded individuals over the SNP list snps
// (two letters per listed SNP, in list order, as the loader wrote them):
// individuals with "N" at any listed SNP are left out; equal texts are merged
// with their counts added, numbered in order of their first individual.
// Every record has its members (indices in the sample type, ascending, and
// identifiers) filled. phenotypeOfIndividual[i] is the record of individual
// i, or -1 when it was left out. At debug level 1 the SNP list is printed, at
// level 2 also the allele tables and the records.
void buildSubPhenotypes(const GenoData& data, const std::vector<int>& snps, std::vector<Phenotype>& out,
                        std::vector<int>& phenotypeOfIndividual);
