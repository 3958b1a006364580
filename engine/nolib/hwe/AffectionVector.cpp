#include "hwe/AffectionVector.h"

#include <cstdio>
#include <new>

#include "common_sgt/SourceUnit.h"

AffectionVector::AffectionVector() : m_items(static_cast<size_t>(m_capacity)) {}

AffectionVector::~AffectionVector() = default;

void AffectionVector::add(const char* text) {
  if (m_count >= m_capacity) {
    try {
      m_items.resize(static_cast<size_t>(m_capacity + m_growthStep));
    } catch (const std::bad_alloc&) {
      printf(" pointers == NULL %s %d \n", SGT_UNIT, __LINE__);
      return;
    }
    m_capacity += m_growthStep;
  }
  m_items[static_cast<size_t>(m_count)] = text ? text : "";
  ++m_count;
}

const char* AffectionVector::get(int i) const {
  // A negative index is answered like any other index outside the list.
  if (i < 0 || i >= m_count) return m_notFound;
  return m_items[static_cast<size_t>(i)].c_str();
}
