#include "marlo/HaplotypeIndex.h"

#include <bit>

namespace {

constexpr uint64_t kHashMultiplier = 0x9E3779B97F4A7C15ull;
constexpr int kInitialSlotBits = 6;

}  // namespace

void HaplotypeIndex::clear() {
  m_count = 0;
  m_numMarkers = 0;
  m_packed = false;
  m_code.clear();
  m_letters.clear();
  m_shift.clear();
  m_bits.clear();
  m_keys.clear();
  m_slots.clear();
  m_slotBits = 0;
  m_texts.clear();
  m_textIndex.clear();
}

void HaplotypeIndex::prepare(const Phenotype* phenotypes, int numPheno, int numMarkers, bool allowPacked) {
  clear();
  m_numMarkers = numMarkers > 0 ? numMarkers : 0;
  bool uniform = true;
  std::vector<uint8_t> seen(static_cast<size_t>(m_numMarkers) * 256, 0);
  for (int p = 0; p < numPheno; ++p) {
    const Phenotype& ph = phenotypes[p];
    if (ph.count < 1) continue;
    if (ph.numMarkers != m_numMarkers || ph.genotype.size() != 2 * static_cast<size_t>(m_numMarkers)) {
      uniform = false;
      break;
    }
    for (int m = 0; m < m_numMarkers; ++m) {
      seen[m * 256 + static_cast<unsigned char>(ph.genotype[2 * m])] = 1;
      seen[m * 256 + static_cast<unsigned char>(ph.genotype[2 * m + 1])] = 1;
    }
  }
  int totalBits = 0;
  if (uniform) {
    m_code.assign(seen.size(), -1);
    m_letters.resize(m_numMarkers);
    m_shift.resize(m_numMarkers);
    m_bits.resize(m_numMarkers);
    for (int m = 0; m < m_numMarkers; ++m) {
      for (int c = 0; c < 256; ++c) {
        if (!seen[m * 256 + c]) continue;
        m_code[m * 256 + c] = static_cast<int16_t>(m_letters[m].size());
        m_letters[m] += static_cast<char>(c);
      }
      const unsigned n = static_cast<unsigned>(m_letters[m].size());
      m_bits[m] = n <= 1 ? 0 : std::bit_width(n - 1);
      m_shift[m] = totalBits;
      totalBits += m_bits[m];
      if (totalBits > 64) break;
    }
  }
  m_packed = allowPacked && uniform && totalBits <= 64;
  if (m_packed) {
    m_slotBits = kInitialSlotBits;
    m_slots.assign(size_t{1} << m_slotBits, Slot{0, -1});
  } else {
    m_code.clear();
    m_letters.clear();
    m_shift.clear();
    m_bits.clear();
  }
}

int HaplotypeIndex::findKey(uint64_t key) const {
  if (m_slots.empty()) return -1;
  const size_t mask = m_slots.size() - 1;
  for (size_t s = (key * kHashMultiplier) >> (64 - m_slotBits);; s = (s + 1) & mask) {
    const Slot& slot = m_slots[s];
    if (slot.index < 0) return -1;
    if (slot.key == key) return slot.index;
  }
}

void HaplotypeIndex::grow() {
  ++m_slotBits;
  m_slots.assign(size_t{1} << m_slotBits, Slot{0, -1});
  const size_t mask = m_slots.size() - 1;
  for (int i = 0; i < m_count; ++i) {
    size_t s = (m_keys[i] * kHashMultiplier) >> (64 - m_slotBits);
    while (m_slots[s].index >= 0) s = (s + 1) & mask;
    m_slots[s] = Slot{m_keys[i], i};
  }
}

int HaplotypeIndex::addKey(uint64_t key) {
  const size_t mask = m_slots.size() - 1;
  size_t s = (key * kHashMultiplier) >> (64 - m_slotBits);
  for (;; s = (s + 1) & mask) {
    if (m_slots[s].index < 0) break;
    if (m_slots[s].key == key) return m_slots[s].index;
  }
  const int index = m_count++;
  m_keys.push_back(key);
  m_slots[s] = Slot{key, index};
  // Keep the table at most 70% full.
  if (static_cast<size_t>(m_count) * 10 > m_slots.size() * 7) grow();
  return index;
}

int HaplotypeIndex::addText(const std::string& text) {
  auto [it, added] = m_textIndex.try_emplace(text, m_count);
  if (added) {
    m_texts.push_back(text);
    ++m_count;
  }
  return it->second;
}

void HaplotypeIndex::registerPairs(const Phenotype& ph, std::vector<int>& first, std::vector<int>& second) {
  if (ph.numPairs < 1) return;
  const bool twoSides = ph.numHeterozygous > 0;
  if (!m_packed) {
    std::string h1, h2;
    for (int j = 0; j < ph.numPairs; ++j) {
      ph.buildPair(j, h1, h2);
      const int i1 = addText(h1);
      first.push_back(i1);
      second.push_back(twoSides ? addText(h2) : i1);
    }
    return;
  }
  // key1 of pair j = base + sum of delta[b] over the bits b of j, key2 = base
  // + all deltas - the same sum (unsigned arithmetic wraps, the results are
  // exact). From j to j + 1 the trailing ones of j clear and bit t sets.
  uint64_t base = 0;
  std::vector<uint64_t> delta;
  delta.reserve(ph.numHeterozygous);
  for (int m = 0; m < m_numMarkers; ++m) {
    if (m_bits[m] == 0) continue;
    const uint64_t c1 = static_cast<uint64_t>(m_code[m * 256 + static_cast<unsigned char>(ph.genotype[2 * m])]);
    const uint64_t c2 = static_cast<uint64_t>(m_code[m * 256 + static_cast<unsigned char>(ph.genotype[2 * m + 1])]);
    base += c1 << m_shift[m];
    if (ph.isHeterozygous[m]) delta.push_back((c2 - c1) << m_shift[m]);
  }
  std::vector<uint64_t> step(delta.size());
  uint64_t below = 0, all = 0;
  for (size_t b = 0; b < delta.size(); ++b) {
    step[b] = delta[b] - below;
    below += delta[b];
  }
  all = below;
  uint64_t key1 = base, key2 = base + all;
  for (int j = 0; j < ph.numPairs; ++j) {
    const int i1 = addKey(key1);
    first.push_back(i1);
    second.push_back(twoSides ? addKey(key2) : i1);
    if (j + 1 < ph.numPairs) {
      const uint64_t d = step[std::countr_zero(static_cast<unsigned>(j + 1))];
      key1 += d;
      key2 -= d;
    }
  }
}

int HaplotypeIndex::indexOf(const std::string& haplotype) const {
  if (!m_packed) {
    auto it = m_textIndex.find(haplotype);
    return it == m_textIndex.end() ? -1 : it->second;
  }
  if (haplotype.size() != static_cast<size_t>(m_numMarkers)) return -1;
  uint64_t key = 0;
  for (int m = 0; m < m_numMarkers; ++m) {
    const int code = m_code[m * 256 + static_cast<unsigned char>(haplotype[m])];
    if (code < 0) return -1;
    if (m_bits[m] > 0) key += static_cast<uint64_t>(code) << m_shift[m];
  }
  return findKey(key);
}

std::string HaplotypeIndex::text(int index) const {
  if (index < 0 || index >= m_count) return std::string();
  if (!m_packed) return m_texts[index];
  std::string h(m_numMarkers, '\0');
  const uint64_t key = m_keys[index];
  for (int m = 0; m < m_numMarkers; ++m) {
    const uint64_t code = m_bits[m] == 0 ? 0 : (key >> m_shift[m]) & ((uint64_t{1} << m_bits[m]) - 1);
    h[m] = m_letters[m][code];
  }
  return h;
}
