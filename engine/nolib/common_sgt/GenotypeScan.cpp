#include "common_sgt/GenotypeScan.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define GENOTYPE_SCAN_VECTORS 1
#endif

bool TabFieldCursor::next(std::string_view& field) {
  if (m_done) return false;
  const void* tab = memchr(m_p, '\t', static_cast<std::size_t>(m_end - m_p));
  if (!tab) {
    field = std::string_view(m_p, static_cast<std::size_t>(m_end - m_p));
    m_p = m_end;
    m_done = true;
    return true;
  }
  const char* t = static_cast<const char*>(tab);
  field = std::string_view(m_p, static_cast<std::size_t>(t - m_p));
  m_p = t + 1;
  return true;
}

void splitTabs(std::string_view text, std::vector<std::string_view>& fields) {
  fields.clear();
  TabFieldCursor cursor(text);
  std::string_view field;
  while (cursor.next(field)) fields.push_back(field);
}

bool TabFieldCursor::skip(std::size_t n) {
  std::string_view field;
  for (std::size_t i = 0; i < n; ++i)
    if (!next(field)) return false;
  return true;
}

namespace {
bool vectorsAvailable() {
#ifdef GENOTYPE_SCAN_VECTORS
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
#else
  return false;
#endif
}
}  // namespace

GenotypeColumnScan::GenotypeColumnScan()
    : m_firstSeen(1), m_slashSlots(1u << 16, 0), m_wholeLine(vectorsAvailable()) {}

void GenotypeColumnScan::setGroups(std::vector<std::uint32_t> groups, std::size_t groupCount) {
  m_groups = std::move(groups);
  m_groupCount = groupCount;
  m_stride = groupCount + 1;
  m_groupBlocks = 0;
  m_groupBits.clear();
  m_texts.clear();
  m_counts.clear();
  m_firstSeen.assign(m_stride, {});
}

namespace {
inline unsigned slashKey(const char* p) {
  return (static_cast<unsigned>(static_cast<unsigned char>(p[0])) << 8) | static_cast<unsigned char>(p[2]);
}
}  // namespace

std::uint32_t GenotypeColumnScan::addText(const char* p) {
  m_texts.push_back(p);
  const std::size_t cells = m_texts.size() * m_stride;
  if (m_counts.size() < cells) m_counts.resize(cells + 64 * m_stride, 0);
  return static_cast<std::uint32_t>(m_texts.size() - 1);
}

// The slot (index + 1) of a text "a/b" met for the first time on the line.
std::uint32_t GenotypeColumnScan::addSlashText(const char* p, unsigned key) {
  const std::uint32_t slot = addText(p) + 1;
  m_slashSlots[key] = slot;
  m_usedSlots.push_back(key);
  return slot;
}

void GenotypeColumnScan::noteFirst(std::size_t group, std::uint32_t index) { m_firstSeen[group].push_back(index); }

// A three-byte column (no tab inside) at p.
std::uint32_t GenotypeColumnScan::indexOf(const char* p) {
  if (p[1] == '/') {
    std::uint32_t slot = m_slashSlots[slashKey(p)];
    if (slot == 0) slot = addSlashText(p, slashKey(p));
    return slot - 1;
  }
  // Texts without "/" in the middle are not genotypes of any program; they
  // only have to be told apart, and are rare enough for a plain search.
  for (std::size_t i = 0; i < m_texts.size(); ++i) {
    const char* t = m_texts[i];
    if (t[1] != '/' && t[0] == p[0] && t[1] == p[1] && t[2] == p[2]) return static_cast<std::uint32_t>(i);
  }
  return addText(p);
}

void GenotypeColumnScan::scan(std::string_view genotypes) {
  for (unsigned key : m_usedSlots) m_slashSlots[key] = 0;
  m_usedSlots.clear();
  for (std::size_t g = 0; g < m_stride; ++g) {
    for (std::uint32_t index : m_firstSeen[g]) m_counts[index * m_stride + g] = 0;
    m_firstSeen[g].clear();
  }
  m_texts.clear();
  m_irregular.clear();
  if (m_wholeLine && scanWholeLine(genotypes.data(), genotypes.size())) return;

  const char* p = genotypes.data();
  const char* const end = p + genotypes.size();
  // The usual column's path works on copies of the members: the compiler
  // then keeps them in registers. Only adding a text moves the counts.
  const std::uint32_t* const groups = m_groups.data();
  const std::size_t grouped = m_groups.size();
  const std::size_t extra = m_groupCount;
  const std::size_t stride = m_stride;
  const std::uint32_t* const slots = m_slashSlots.data();
  std::uint32_t* counts = m_counts.data();
  std::size_t column = 0;
  for (;; ++column) {
    if (end - p >= 4 && p[3] == '\t' && p[1] == '/' && p[0] != '\t' && p[2] != '\t') {
      // "x/y" and its tab.
      const unsigned key = slashKey(p);
      std::uint32_t slot = slots[key];
      if (slot == 0) {
        slot = addSlashText(p, key);
        counts = m_counts.data();
      }
      const std::size_t group = column < grouped ? groups[column] : extra;
      if (counts[(slot - 1) * stride + group]++ == 0) noteFirst(group, slot - 1);
      p += 4;
      continue;
    }
    const void* tab = memchr(p, '\t', static_cast<std::size_t>(end - p));
    const char* fieldEnd = tab ? static_cast<const char*>(tab) : end;
    const std::size_t length = static_cast<std::size_t>(fieldEnd - p);
    if (length == 3) {
      countText(indexOf(p), column);
      counts = m_counts.data();
    } else {
      m_irregular.push_back(Irregular{column, length == 0});
    }
    if (!tab) break;
    p = fieldEnd + 1;
  }
  m_columns = column + 1;
}

// Group bits for the first 64 * blocks columns: a column beyond the group
// list belongs to the extra group.
void GenotypeColumnScan::coverGroups(std::size_t blocks) {
  if (blocks <= m_groupBlocks) return;
  std::vector<std::uint64_t> bits(m_stride * blocks, 0);
  for (std::size_t column = 0; column < 64 * blocks; ++column) {
    const std::size_t group = column < m_groups.size() ? m_groups[column] : m_groupCount;
    bits[group * blocks + column / 64] |= std::uint64_t{1} << (column % 64);
  }
  m_groupBits = std::move(bits);
  m_groupBlocks = blocks;
}

#ifdef GENOTYPE_SCAN_VECTORS
namespace {
// The columns of 64-column blocks that hold a text, as bits: the blocks
// before the last are read in place, the last from a padded copy.
using TextBits = void (*)(const std::uint32_t* words, std::size_t fullBlocks, const std::uint32_t* tail,
                          std::uint32_t text, std::uint64_t* bits);

__attribute__((target("avx2"))) void textBitsEight(const std::uint32_t* words, std::size_t fullBlocks,
                                                   const std::uint32_t* tail, std::uint32_t text,
                                                   std::uint64_t* bits) {
  const __m256i t = _mm256_set1_epi32(static_cast<int>(text));
  for (std::size_t b = 0; b <= fullBlocks; ++b) {
    const std::uint32_t* block = b < fullBlocks ? words + 64 * b : tail;
    std::uint64_t word = 0;
    for (unsigned k = 0; k < 8; ++k) {
      const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block + 8 * k));
      const unsigned m = static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpeq_epi32(v, t))));
      word |= static_cast<std::uint64_t>(m) << (8 * k);
    }
    bits[b] = word;
  }
}

__attribute__((target("avx512f"))) void textBitsSixteen(const std::uint32_t* words, std::size_t fullBlocks,
                                                        const std::uint32_t* tail, std::uint32_t text,
                                                        std::uint64_t* bits) {
  const __m512i t = _mm512_set1_epi32(static_cast<int>(text));
  for (std::size_t b = 0; b <= fullBlocks; ++b) {
    const std::uint32_t* block = b < fullBlocks ? words + 64 * b : tail;
    std::uint64_t word = 0;
    for (unsigned k = 0; k < 4; ++k) {
      const __m512i v = _mm512_loadu_si512(block + 16 * k);
      word |= static_cast<std::uint64_t>(_mm512_cmpeq_epi32_mask(v, t)) << (16 * k);
    }
    bits[b] = word;
  }
}

TextBits chooseTextBits() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx512f") ? textBitsSixteen : textBitsEight;
}
const TextBits textBits = chooseTextBits();

// Whether a word is "x/y" and a tab, x and y not tabs.
inline bool isGenotypeWord(std::uint32_t w) {
  return (w & 0xFF00FF00u) == 0x09002F00u && (w & 0xFFu) != '\t' && ((w >> 16) & 0xFFu) != '\t';
}

// counts[t * stride + g]: the columns of text t in group g, for g below
// groups. Built twice like the pair counts: with the vector population count
// where the processor has it, else the scalar instruction.
using GroupCounts = void (*)(const std::uint64_t* textBits, std::size_t texts, const std::uint64_t* groupBits,
                             std::size_t groupBlocks, std::size_t groups, std::size_t blocks, std::size_t stride,
                             std::uint32_t* counts);
[[gnu::always_inline]] inline void groupCountsBody(const std::uint64_t* textBits, std::size_t texts,
                                                   const std::uint64_t* groupBits, std::size_t groupBlocks,
                                                   std::size_t groups, std::size_t blocks, std::size_t stride,
                                                   std::uint32_t* counts) {
  for (std::size_t t = 0; t < texts; ++t) {
    const std::uint64_t* bits = textBits + t * blocks;
    for (std::size_t g = 0; g < groups; ++g) {
      const std::uint64_t* in = groupBits + g * groupBlocks;
      std::uint64_t count = 0;
      for (std::size_t b = 0; b < blocks; ++b) count += static_cast<std::uint64_t>(__builtin_popcountll(bits[b] & in[b]));
      counts[t * stride + g] = static_cast<std::uint32_t>(count);
    }
  }
}
__attribute__((target("avx512f,avx512vpopcntdq"))) void groupCountsWide(const std::uint64_t* textBits, std::size_t texts,
                                                                        const std::uint64_t* groupBits,
                                                                        std::size_t groupBlocks, std::size_t groups,
                                                                        std::size_t blocks, std::size_t stride,
                                                                        std::uint32_t* counts) {
  groupCountsBody(textBits, texts, groupBits, groupBlocks, groups, blocks, stride, counts);
}
__attribute__((target("popcnt"))) void groupCountsScalar(const std::uint64_t* textBits, std::size_t texts,
                                                         const std::uint64_t* groupBits, std::size_t groupBlocks,
                                                         std::size_t groups, std::size_t blocks, std::size_t stride,
                                                         std::uint32_t* counts) {
  groupCountsBody(textBits, texts, groupBits, groupBlocks, groups, blocks, stride, counts);
}
GroupCounts chooseGroupCounts() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx512vpopcntdq") ? groupCountsWide : groupCountsScalar;
}
const GroupCounts groupCounts = chooseGroupCounts();
}  // namespace

// A line of nothing but "x/y" columns, the usual genotype line, is counted
// text by text over the whole line rather than column by column: comparing
// eight or sixteen columns at once gives a text's columns as bits, and a
// group's count of the text is the population count of those bits within
// the group's columns. Texts are found in order of first appearance (each is
// the first column no earlier text matched), and a group's order of meeting
// them is the order of their first columns within the group, so the tables
// are the same as the column path's. A line with any other column, or with
// more distinct texts than make this pay, is left to the column path
// untouched.
__attribute__((target("popcnt"))) bool GenotypeColumnScan::scanWholeLine(const char* p, std::size_t size) {
  constexpr std::size_t kMostTexts = 16;
  if (size % 4 != 3) return false;
  const std::size_t n = (size + 1) / 4;
  const std::size_t blocks = (n + 63) / 64;
  const std::size_t fullBlocks = blocks - 1;
  // The last block, its missing tab added and padded with zero words (a
  // genotype word always holds a tab); the bytes before it are read where
  // they lie.
  m_words.assign(64, 0);
  const std::size_t tailStart = 256 * fullBlocks;
  memcpy(m_words.data(), p + tailStart, size - tailStart);
  reinterpret_cast<char*>(m_words.data())[size - tailStart] = '\t';
  const std::uint32_t* tail = m_words.data();
  const std::uint32_t* words = reinterpret_cast<const std::uint32_t*>(p);  // read with unaligned loads only
  auto wordAt = [&](std::size_t column) {
    std::uint32_t w;
    memcpy(&w, column < 64 * fullBlocks ? p + 4 * column : reinterpret_cast<const char*>(tail + column % 64), 4);
    return w;
  };

  m_textBits.resize(kMostTexts * blocks);
  std::size_t firstColumn[kMostTexts];
  std::size_t texts = 0;
  std::size_t next = 0;  // the first column no text has matched yet
  // Every column equals one of the texts found, so checking the texts
  // checks the line: a word that is not a genotype and its tab (a column of
  // another length shifts every later word) sends the line to the column
  // path.
  while (next < n) {
    const std::uint32_t text = wordAt(next);
    if (texts == kMostTexts || !isGenotypeWord(text)) return false;
    firstColumn[texts] = next;
    textBits(words, fullBlocks, tail, text, m_textBits.data() + texts * blocks);
    ++texts;
    // The next unmatched column lies after this text's first one; the
    // padding is never matched, so finding it ends the line.
    std::size_t found = n;
    for (std::size_t b = next / 64; b < blocks && found == n; ++b) {
      std::uint64_t matched = 0;
      for (std::size_t t = 0; t < texts; ++t) matched |= m_textBits[t * blocks + b];
      if (~matched) found = 64 * b + static_cast<std::size_t>(__builtin_ctzll(~matched));
    }
    next = found;
  }

  coverGroups(blocks);
  for (std::size_t t = 0; t < texts; ++t) addText(p + 4 * firstColumn[t]);
  std::size_t firstInGroup[kMostTexts];
  std::uint32_t order[kMostTexts];
  // The extra group has columns only when the line is longer than the list.
  const std::size_t groups = n > m_groups.size() ? m_stride : m_groupCount;
  groupCounts(m_textBits.data(), texts, m_groupBits.data(), m_groupBlocks, groups, blocks, m_stride, m_counts.data());
  for (std::size_t g = 0; g < groups; ++g) {
    const std::uint64_t* groupBits = m_groupBits.data() + g * m_groupBlocks;
    std::size_t met = 0;
    for (std::size_t t = 0; t < texts; ++t) {
      if (m_counts[t * m_stride + g] == 0) continue;
      const std::uint64_t* bits = m_textBits.data() + t * blocks;
      std::size_t b = 0;
      while ((bits[b] & groupBits[b]) == 0) ++b;
      firstInGroup[t] = 64 * b + static_cast<std::size_t>(__builtin_ctzll(bits[b] & groupBits[b]));
      order[met++] = static_cast<std::uint32_t>(t);
    }
    std::sort(order, order + met, [&](std::uint32_t a, std::uint32_t b) { return firstInGroup[a] < firstInGroup[b]; });
    m_firstSeen[g].assign(order, order + met);
  }
  m_columns = n;
  return true;
}
#else
bool GenotypeColumnScan::scanWholeLine(const char*, std::size_t) { return false; }
#endif
