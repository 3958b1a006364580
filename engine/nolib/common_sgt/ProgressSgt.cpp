#include "common_sgt/ProgressSgt.h"

#include <cstdio>

#include "common_sgt/ErrorReport.h"

ProgressSgt::ProgressSgt() : m_weights(kGrowth, 0), m_names(kGrowth) {}

ProgressSgt::~ProgressSgt() = default;

bool ProgressSgt::addTask(const char* name, int weight) {
  if (!name) {
    NULL_REPORT();
    return false;
  }
  if (m_count >= m_capacity) {
    m_capacity += kGrowth;
    m_weights.resize(m_capacity, 0);
    m_names.resize(m_capacity);
  }
  m_names[m_count] = name;
  m_weights[m_count] = weight;
  ++m_count;
  return true;
}

int ProgressSgt::getWeight(unsigned i) const { return i < m_count ? m_weights[i] : 0; }

bool ProgressSgt::showTaskList() {
  if (!m_enabled) return true;
  fputs("#tasklist=", stderr);
  for (unsigned i = 0; i < m_count; ++i) fprintf(stderr, "%s,%d;", m_names[i].c_str(), m_weights[i]);
  fputs("\n", stderr);
  fflush(stderr);
  return true;
}

bool ProgressSgt::showValue(unsigned i, int value) {
  if (!m_enabled) return true;
  if (i >= m_count) {
    NULL_REPORT();
    return false;
  }
  // Compared as unsigned numbers, so a negative value shows as complete.
  if (static_cast<unsigned>(value) > static_cast<unsigned>(m_weights[i])) value = m_weights[i];
  fprintf(stderr, "#v=%d,%d\n", static_cast<int>(i), value);
  fflush(stderr);
  return true;
}

bool ProgressSgt::setCurrent(unsigned i) {
  m_current = i;
  return true;
}

bool ProgressSgt::show(int value) { return showValue(m_current, value); }

bool ProgressSgt::setWeight(unsigned i, int weight) {
  if (i >= m_count) {
    NULL_REPORT();
    return false;
  }
  if (m_enabled) {
    fprintf(stderr, "#m=%d,%d\n", static_cast<int>(i), weight);
    fflush(stderr);
  }
  m_weights[i] = weight;
  return true;
}
