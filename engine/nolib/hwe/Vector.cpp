#include "hwe/Vector.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "common_sgt/ErrorReport.h"
#include "hwe/Exception.h"

Vector::Vector() : m_storage(static_cast<size_t>(kStep), 0) {}

Vector::~Vector() = default;

void Vector::init(int elementSize) {
  m_count = 0;
  if (elementSize < 1) {
    printf("%s:%d\n", SGT_UNIT, __LINE__);
    m_capacity = 0;
    m_storage.clear();
    return;
  }
  m_elementSize = elementSize;
  try {
    m_storage.assign(static_cast<size_t>(kStep) * static_cast<size_t>(elementSize), 0);
    m_capacity = kStep;
  } catch (const std::bad_alloc&) {
    printf("%s:%d\n", SGT_UNIT, __LINE__);
    m_capacity = 0;
    m_storage.clear();
  }
}

void Vector::push_back(const void* element) {
  if (!element || m_storage.empty()) {
    NULL_REPORT();
    return;
  }
  if (m_count >= m_capacity) {
    try {
      m_storage.resize(static_cast<size_t>(m_capacity + kStep) * static_cast<size_t>(m_elementSize), 0);
    } catch (const std::bad_alloc&) {
      NULL_REPORT();
      return;
    }
    m_capacity += kStep;
  }
  memcpy(m_storage.data() + static_cast<size_t>(m_count) * static_cast<size_t>(m_elementSize), element,
         static_cast<size_t>(m_elementSize));
  ++m_count;
}

unsigned char* Vector::at(int i) {
  if (i < 0 || i >= m_count) throw Exception("IndexOutOfBounds");
  return m_storage.data() + static_cast<size_t>(i) * static_cast<size_t>(m_elementSize);
}
