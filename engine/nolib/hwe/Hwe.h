#pragma once
#include <string>

#include "common_sgt/ProgressSgt.h"

// Placeholder until the flagging command lands.
class Hwe {
 public:
  Hwe(double sampleMissingLimit, double snpMissingLimit, double mafLimit, double hweLimit, bool multipleCorrection,
      const char* outFile, const char* sampleHintFile);
  virtual ~Hwe();
  ProgressSgt& progress() { return m_progress; }
  void setFlagClass(const char* className);
  bool run(const char* inputFile);
  int getTotalCount() const { return 0; }
  int getValidCount() const { return 0; }

 private:
  ProgressSgt m_progress;
};
