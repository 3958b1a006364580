#include "ld/PairStore.h"

#include <cstddef>
#include <cstdio>
#include <new>

#include "common_sgt/AvailableMemory.h"

PairStore::PairStore(int snpCount) { reset(snpCount); }

void PairStore::reset(int snpCount) {
  m_snpCount = snpCount < 0 ? 0 : snpCount;
  m_rowStart.assign(static_cast<std::size_t>(m_snpCount), 0);
  m_rowFirst.assign(static_cast<std::size_t>(m_snpCount), 0);
  m_rowLength.assign(static_cast<std::size_t>(m_snpCount), 0);
  m_summaries.clear();
}

void PairStore::reserve(int64_t pairs) {
  // Refused before the allocation: under a memory limit the process would
  // be killed when the pages are touched, not told by the allocator.
  const long long available = availableMemoryBytes();
  if (pairs > 0 && available >= 0 &&
      pairs > static_cast<int64_t>(available / static_cast<long long>(sizeof(PairLDSummary)))) {
    printf("PairStore: %lld pairs need %.0f MB, more than the %lld MB available\n", static_cast<long long>(pairs),
           static_cast<double>(pairs) * static_cast<double>(sizeof(PairLDSummary)) / 1048576.0, available >> 20);
    throw std::bad_alloc();
  }
  if (pairs > 0) m_summaries.reserve(static_cast<std::size_t>(pairs));
}

void PairStore::add(int i, int j, const PairLDSummary& summary) {
  if (i < 0 || i >= m_snpCount || j <= i || j >= m_snpCount) return;
  std::size_t r = static_cast<std::size_t>(i);
  if (m_rowLength[r] == 0) {
    m_rowStart[r] = static_cast<int64_t>(m_summaries.size());
    m_rowFirst[r] = j;
  } else if (j != m_rowFirst[r] + m_rowLength[r] ||
             m_rowStart[r] + m_rowLength[r] != static_cast<int64_t>(m_summaries.size())) {
    // The pair loop writes each row's partners consecutively; anything else
    // would be a programming error, and is ignored rather than misfiled.
    return;
  }
  m_summaries.push_back(summary);
  ++m_rowLength[r];
}

const PairLDSummary* PairStore::find(int i, int j) const {
  if (i < 0 || i >= m_snpCount || j <= i || j >= m_snpCount) return nullptr;
  std::size_t r = static_cast<std::size_t>(i);
  int offset = j - m_rowFirst[r];
  if (m_rowLength[r] == 0 || offset < 0 || offset >= m_rowLength[r]) return nullptr;
  return &m_summaries[static_cast<std::size_t>(m_rowStart[r] + offset)];
}

int64_t PairStore::reservedBytes() const {
  return static_cast<int64_t>(m_summaries.capacity() * sizeof(PairLDSummary) +
                              m_rowStart.capacity() * sizeof(int64_t) +
                              (m_rowFirst.capacity() + m_rowLength.capacity()) * sizeof(int));
}
