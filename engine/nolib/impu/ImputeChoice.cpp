#include "impu/ImputeChoice.h"

#include <cstring>

void chooseCandidates(const GenotypeTable& genotypes, AlleleTable& alleles, ImputeCandidates& c) {
  c.clear();
  int majorHomoCount = 0;
  int minorHomoCount = 0;
  int majorHeteroCount = 0;
  bool anyHomo = false;
  bool anyHetero = false;
  // A later genotype replaces the current choice only when its count is
  // strictly larger (smaller for the minor homozygote): the first one met
  // wins a tie.
  genotypes.forEach([&](const std::string& g, int n) {
    bool homo = g.size() >= 3 && g[0] == g[2];
    if (homo) {
      if (!anyHomo || n > majorHomoCount) {
        c.majorHomo = g;
        majorHomoCount = n;
      }
      if (!anyHomo || n < minorHomoCount) {
        c.minorHomo = g;
        minorHomoCount = n;
      }
      anyHomo = true;
    } else {
      if (!anyHetero || n > majorHeteroCount) {
        c.majorHetero = g;
        majorHeteroCount = n;
      }
      anyHetero = true;
    }
  });

  if (!anyHomo && anyHetero) {
    // Without a homozygote the alleles decide: each distinct genotype adds one
    // to its first and to its third character, whatever its count.
    alleles.reset(kImputeTableSize);
    genotypes.forEach([&](const std::string& g, int) {
      ++alleles.findOrInsert(g[0], 0);
      ++alleles.findOrInsert(g.size() >= 3 ? g[2] : '\0', 0);
    });
    char major = 0;
    char minor = 0;
    int majorCount = 0;
    int minorCount = 0;
    bool first = true;
    alleles.forEach([&](char a, int n) {
      if (first || n > majorCount) {
        major = a;
        majorCount = n;
      }
      if (first || n < minorCount) {
        minor = a;
        minorCount = n;
      }
      first = false;
    });
    c.majorHomo = {major, '/', major};
    c.minorHomo = {minor, '/', minor};
  }
  if (!anyHetero && anyHomo) c.majorHetero = {c.majorHomo[0], '/', c.minorHomo[0]};
}

GenotypeCounter::GenotypeCounter() : m_slots(1u << 16, 0) {}

void GenotypeCounter::clear() {
  for (size_t i = 0; i < m_counts.size(); ++i) {
    const char* g = m_texts.data() + 3 * i;
    if (g[1] == '/') {
      unsigned key = (static_cast<unsigned>(static_cast<unsigned char>(g[0])) << 8) | static_cast<unsigned char>(g[2]);
      m_slots[key] = 0;
    }
  }
  m_texts.clear();
  m_counts.clear();
}

void GenotypeCounter::addSlow(const char* g) {
  for (size_t i = 0; i < m_counts.size(); ++i) {
    if (memcmp(m_texts.data() + 3 * i, g, 3) == 0) {
      ++m_counts[i];
      return;
    }
  }
  push(g);
}

void GenotypeCounter::fill(GenotypeTable& table) const {
  table.reset(kImputeTableSize);
  for (size_t i = 0; i < m_counts.size(); ++i) table.insertNew(std::string(m_texts.data() + 3 * i, 3), m_counts[i]);
}
