#include "common_sgt/GenotypeScan.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

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

GenotypeColumnScan::GenotypeColumnScan() : m_firstSeen(1), m_slashSlots(1u << 16, 0) {}

void GenotypeColumnScan::setGroups(std::vector<std::uint32_t> groups, std::size_t groupCount) {
  m_groups = std::move(groups);
  m_groupCount = groupCount;
  m_stride = groupCount + 1;
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
