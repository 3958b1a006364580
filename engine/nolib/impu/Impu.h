#pragma once
#include "common_sgt/ProgressSgt.h"

// Placeholder until the imputation command lands.
class Impu {
 public:
  Impu();
  virtual ~Impu();
  ProgressSgt& progress() { return m_progress; }
  bool impute(const char* inputFile, int mode);

 private:
  ProgressSgt m_progress;
};
