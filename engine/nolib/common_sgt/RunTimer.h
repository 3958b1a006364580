#pragma once
#include "common_sgt/StringSgt.h"

// Prints the "start_time" and "end_time" lines of a run on standard output.
class RunTimer {
 public:
  RunTimer();
  virtual ~RunTimer();
  void start(const char* label = "");
  double stop();
  int startTime() const { return static_cast<int>(m_start); }
  int endTime() const { return static_cast<int>(m_end); }

 private:
  long long m_start = -1;
  long long m_end = -1;
  StringSgt m_label;
};
