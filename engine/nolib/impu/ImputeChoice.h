#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "common_sgt/ChainedHashTable.h"

// The replacement genotype of a SNP line. Ties are broken by the first
// genotype (or allele) met while walking the chained hash tables, so the
// tables' bucket counts and insertion order decide the result.

using GenotypeTable = ChainedHashTable<std::string, int, chained_hash::TextHash>;
using AlleleTable = ChainedHashTable<char, int, chained_hash::CharHash>;

// Both tables are rebuilt for every SNP line with this requested size, which
// gives 193 buckets.
inline constexpr int kImputeTableSize = 100;

struct ImputeCandidates {
  std::string majorHomo;    // mode 0
  std::string minorHomo;    // mode 1
  std::string majorHetero;  // mode 2
  void clear() {
    majorHomo.clear();
    minorHomo.clear();
    majorHetero.clear();
  }
};

// Picks the three candidates from the genotype counts of one SNP line.
// Genotypes are compared as text (A/G and G/A differ); a genotype is
// homozygous when its first and third characters are equal.
void chooseCandidates(const GenotypeTable& genotypes, AlleleTable& alleles, ImputeCandidates& c);

// Counts the three-character genotypes of one line in order of first
// appearance without a hash lookup per genotype; fill() then builds the
// genotype table by adding the distinct genotypes in that same order, which
// gives the table exactly the layout that counting into it would have.
class GenotypeCounter {
 public:
  GenotypeCounter();
  void clear();
  void add(const char* g) {
    if (g[1] == '/') {
      unsigned key = (static_cast<unsigned>(static_cast<unsigned char>(g[0])) << 8) | static_cast<unsigned char>(g[2]);
      int32_t slot = m_slots[key];
      if (slot != 0) {
        ++m_counts[static_cast<size_t>(slot - 1)];
        return;
      }
      push(g);
      m_slots[key] = static_cast<int32_t>(m_counts.size());
      return;
    }
    addSlow(g);
  }
  size_t distinct() const { return m_counts.size(); }
  void fill(GenotypeTable& table) const;

 private:
  void push(const char* g) {
    m_texts.append(g, 3);
    m_counts.push_back(1);
  }
  void addSlow(const char* g);

  std::string m_texts;  // three characters per distinct genotype
  std::vector<int> m_counts;
  std::vector<int32_t> m_slots;  // index + 1 of genotypes written X/Y, by (X, Y)
};
