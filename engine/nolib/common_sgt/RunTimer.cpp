#include "common_sgt/RunTimer.h"

#include <cstdio>
#include <ctime>

RunTimer::RunTimer() : m_label("") {}
RunTimer::~RunTimer() = default;

void RunTimer::start(const char* label) {
  m_start = static_cast<long long>(time(nullptr));
  m_label.assign(label ? label : "");
  printf("\nstart_time\t%s\t%d\t\n", m_label.c_str(), static_cast<int>(m_start));
  fflush(stdout);
}

double RunTimer::stop() {
  if (m_start < 0) return -1.0;
  m_end = static_cast<long long>(time(nullptr));
  double elapsed = static_cast<double>(m_end - m_start);
  printf("end_time\t%s\t%.1f\t\n\n", m_label.c_str(), elapsed);
  fflush(stdout);
  return elapsed;
}
