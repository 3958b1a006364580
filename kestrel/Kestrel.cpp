#include "Kestrel.h"

#include <cstring>

IndividualSampleType::IndividualSampleType(const char* const* types, int count)
    : m_types(types), m_lastAnswer("?"), m_count(count) {}

IndividualSampleType::IndividualSampleType(const IndividualSampleType& other) = default;

IndividualSampleType& IndividualSampleType::operator=(const IndividualSampleType& other) = default;

IndividualSampleType::~IndividualSampleType() = default;

int IndividualSampleType::search(const char* sampleTypeName, int occurrence) const {
  if (m_count <= 0 || !m_types || !sampleTypeName) return -1;
  int seen = 0;
  for (int j = 0; j < m_count; ++j) {
    if (m_types[j] && strcmp(m_types[j], sampleTypeName) == 0) {
      if (seen == occurrence) return j;
      ++seen;
    }
  }
  return -1;
}

const char* IndividualSampleType::get(const char* sampleTypeName, int index) {
  if (sampleTypeName && strcmp(sampleTypeName, "M") == 0) {
    // The merged type answers with the individual's own type. An index
    // outside the list keeps the last answer instead of reading past it.
    if (index >= 0 && index < m_count && m_types) return m_types[index];
    return m_lastAnswer;
  }
  if (index < m_count) {
    int j = search(sampleTypeName, index);
    if (j >= 0 && j < m_count) m_lastAnswer = m_types[j];
  }
  return m_lastAnswer;
}

CKestrel::CKestrel() {}

CKestrel& CKestrel::operator=(const CKestrel& other) {
  m_state = other.m_state;
  return *this;
}

int fnKestrel() { return 42; }

int nKestrel = 0;
