#pragma once
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "marlo/Phenotype.h"

// Numbers the distinct haplotypes of the candidate pairs of a set of
// phenotypes, in order of first registration, so that an estimator works on
// arrays indexed by these numbers instead of looking haplotype texts up.
//
// When the letters seen at each marker fit, a haplotype is packed into 64
// bits (a few bits per marker) and the pairs of a phenotype are enumerated
// by updating the two packed keys from one pair to the next; otherwise the
// texts themselves are the keys.
class HaplotypeIndex {
 public:
  // Starts a new numbering for the pairs of the phenotypes with count >= 1
  // (the letter alphabet of every marker comes from their genotypes).
  // allowPacked = false keeps text keys (the numbering is the same).
  void prepare(const Phenotype* phenotypes, int numPheno, int numMarkers, bool allowPacked = true);
  // Registers haplotype1 and, when the phenotype is heterozygous somewhere,
  // haplotype2 of every pair j = 0, 1, ... in this order; appends the
  // numbers of the two haplotypes of each pair to first and second (for a
  // homozygous phenotype both are the number of haplotype1).
  void registerPairs(const Phenotype& phenotype, std::vector<int>& first, std::vector<int>& second);

  int size() const { return m_count; }
  // The number of a registered haplotype, -1 for any other text.
  int indexOf(const std::string& haplotype) const;
  std::string text(int index) const;
  bool packed() const { return m_packed; }
  void clear();

 private:
  struct Slot {
    uint64_t key;
    int32_t index;
  };
  int addKey(uint64_t key);
  int findKey(uint64_t key) const;
  void grow();
  int addText(const std::string& text);

  int m_count = 0;
  int m_numMarkers = 0;
  bool m_packed = false;
  // Packed keys: code of letter c at marker m is m_code[m * 256 + (unsigned char)c]
  // (-1 when never seen), placed at bit m_shift[m] with m_bits[m] bits.
  std::vector<int16_t> m_code;
  std::vector<std::string> m_letters;
  std::vector<int> m_shift;
  std::vector<int> m_bits;
  std::vector<uint64_t> m_keys;
  std::vector<Slot> m_slots;  // open addressing, linear probing
  int m_slotBits = 0;
  // Text keys.
  std::vector<std::string> m_texts;
  std::unordered_map<std::string, int> m_textIndex;
};
