#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "common_sgt/GenotypeScan.h"

// Per-SNP quality statistics of the flagging command: genotype tally, allele
// counts, Hardy-Weinberg expected counts with the per-SNP continuity switch,
// chi-square and p-value, and the allele and frequency texts of a report row.

// Counts the genotypes of one SNP line. A genotype is three characters; it is
// stored with its two alleles in ascending order (compared as signed bytes),
// so G/A and A/G are one genotype. Genotypes keep their order of first
// appearance, which decides the order of first appearance of the alleles.
class GenotypeTally {
 public:
  struct Entry {
    char text[3];
    int count;
  };

  GenotypeTally();
  void clear();
  void addMissing(int count = 1) { m_missing += count; }
  // A three-character genotype other than N/N, met count times.
  void add(char a1, char separator, char a2, int count = 1) {
    if (static_cast<signed char>(a1) > static_cast<signed char>(a2)) {
      char t = a1;
      a1 = a2;
      a2 = t;
    }
    if (separator == '/') {
      unsigned key = (static_cast<unsigned>(static_cast<unsigned char>(a1)) << 8) | static_cast<unsigned char>(a2);
      int32_t slot = m_slots[key];
      if (slot != 0) {
        m_entries[static_cast<size_t>(slot - 1)].count += count;
        return;
      }
      m_entries.push_back(Entry{{a1, separator, a2}, count});
      m_slots[key] = static_cast<int32_t>(m_entries.size());
      return;
    }
    addSlow(a1, separator, a2, count);
  }
  int missing() const { return m_missing; }
  const std::vector<Entry>& entries() const { return m_entries; }
  // Count of a genotype text (any length; only three-character texts can be
  // present), 0 when it was not observed.
  int countOf(const char* text, size_t length) const;

 private:
  void addSlow(char a1, char separator, char a2, int count);

  std::vector<Entry> m_entries;
  std::vector<int32_t> m_slots;  // index + 1 of genotypes written X/Y, by (X, Y)
  int m_missing = 0;
};

// The tally of the columns of one group of a scanned line (group < 0: the
// columns of every group, not those beyond the group list), the same as
// adding its three-character columns one by one in column order.
void tallyScannedGroup(const GenotypeColumnScan& scan, int group, GenotypeTally& tally);

// A distinct allele (a piece of a genotype split at "/": one to three
// characters) and its count.
struct AlleleCount {
  std::string text;
  long long count = 0;
};

// Ascending by count with the gaps ..., 13, 4, 1 (the first gap from the
// first term of 4, 13, 40, ... not below the size); an entry moves past
// another only when the other's count is strictly greater.
void shellSortAlleles(std::vector<AlleleCount>& alleles);

// The alleles of a genotype list in order of first appearance, each counted
// once per piece of every counted genotype.
void countAlleles(const GenotypeTally& tally, std::vector<AlleleCount>& alleles);

struct ExpectedGenotype {
  std::string name;
  double expected = 0.0;
};

struct SnpQuality {
  int missing = 0;
  int valid = 0;
  int total = 0;
  double callRate = 0.0;
  long long alleleTotal = 0;
  int alleleCount = 0;
  int distinctGenotypes = 0;
  std::vector<AlleleCount> alleles;  // order of first appearance
  std::vector<ExpectedGenotype> expected;
  bool yates = false;
  double chiSquare = 0.0;
  int df = 0;
  double pValue = 1.0;
  double minorAlleleFrequency = 0.0;  // 0 for a monomorphic SNP
  std::string alleleText;
  std::string frequencyText;
};

// Computes every statistic of one SNP from its tally. Tallies of one-byte
// alleles (nearly every SNP) take a shorter route to the same values.
void computeSnpQuality(const GenotypeTally& tally, SnpQuality& q);
// The route for alleles of any length, which the shorter one must equal.
void computeSnpQualityAnyAlleles(const GenotypeTally& tally, SnpQuality& q);
