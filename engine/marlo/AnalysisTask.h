#pragma once
#include <string>

#include "SGManager.h"

// Runs the EM, PLEM and PWLD commands through the analysis manager with the
// options the command line parsed. Each run returns whether the command could
// do its work, so that the driver never reports a failure as success; a PWLD
// run that must end the program at once (kAborted) prints no closing line.
class AnalysisTask {
 public:
  AnalysisTask();
  virtual ~AnalysisTask();

  bool setInputFile(const char* fileName);
  bool runEmTask(const EmOptions& options);
  bool runPlemTask(const PlemOptions& options);
  PairwiseLDStatus runLdTask(const PairwiseLDOptions& options);

  SGManager sgm;
};
