#pragma once
#include "common_sgt/ProgressSgt.h"

// Placeholder until the tagging command lands.
class SimpleTagger {
 public:
  SimpleTagger();
  virtual ~SimpleTagger();
  ProgressSgt& progress() { return m_progress; }
  bool run(const char* inputFile, double r2Threshold);

 private:
  ProgressSgt m_progress;
};
