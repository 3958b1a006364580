#include "simple_tagger/TagSelection.h"

#include <algorithm>

TagSection::TagSection() = default;

void TagSection::clear() {
  m_records.clear();
  m_slots.clear();
  m_cover.reset(kCoverSetSize);
  m_taggers.clear();
}

TagRecord& TagSection::recordOf(int index) {
  auto [it, added] = m_slots.try_emplace(index, static_cast<uint32_t>(m_records.size()));
  if (added) {
    m_records.emplace_back();
    m_records.back().index = index;
  }
  return m_records[it->second];
}

void TagSection::addPair(int i, int j, double r2, double threshold) {
  if (r2 > threshold) {
    TagRecord& a = recordOf(i);
    ++a.partnerCount;
    a.r2Sum += r2;
    a.partners.push_back(TagPartner{j, r2});
    TagRecord& b = recordOf(j);
    ++b.partnerCount;
    b.r2Sum += r2;
    b.partners.push_back(TagPartner{i, r2});
  }
  m_cover.findOrInsert(i, 0);
  m_cover.findOrInsert(j, 0);
}

bool TagSection::before(const TagRecord& a, const TagRecord& b) {
  if (a.partnerCount != b.partnerCount) return a.partnerCount > b.partnerCount;
  if (a.r2Sum != b.r2Sum) return a.r2Sum > b.r2Sum;
  return a.index < b.index;
}

void TagSection::select() {
  std::vector<const TagRecord*> sorted;
  sorted.reserve(m_records.size());
  for (const TagRecord& r : m_records) sorted.push_back(&r);
  std::sort(sorted.begin(), sorted.end(), [](const TagRecord* a, const TagRecord* b) { return before(*a, *b); });

  m_taggers.clear();
  bool first = true;
  for (const TagRecord* r : sorted) {
    if (m_cover.empty()) break;
    if (!first && !m_cover.contains(r->index)) continue;
    for (const TagPartner& p : r->partners) m_cover.erase(p.index);
    m_taggers.push_back(r);
    m_cover.erase(r->index);
    first = false;
  }
}

std::vector<int> TagSection::singletons() const {
  std::vector<int> out;
  out.reserve(m_cover.size());
  m_cover.forEach([&](int index, char) { out.push_back(index); });
  return out;
}
