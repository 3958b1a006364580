#pragma once
#include <string>

#include "SGManager.h"

// Holds the option values of the EM, PLEM and PWLD commands and runs them
// through the analysis manager. Each run returns whether the command could do
// its work, so that the driver never reports a failure as success.
class AnalysisTask {
 public:
  AnalysisTask();
  virtual ~AnalysisTask();

  bool setInputFile(const char* fileName);
  bool runEmTask();
  bool runPlemTask();
  bool runLdTask();

  SGManager sgm;
  std::string m_class2analyze;
  double m_dEPS = 1.0;
  int m_nRandomInit = 0;
  int m_nBlockLength = 10;
  double m_dPlemEps = 0.00001;
  double m_dMinHaplotypeFreq = 0.01;
  bool m_bUseAnno = false;
  bool m_bSkipByAnno = false;
  int m_nChrPosThresh = 500000;
  bool m_bBlocking = false;
  int m_nBlockingMethod = 1;
  bool m_bCrossOver = false;
};
