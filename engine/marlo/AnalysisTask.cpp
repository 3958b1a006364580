#include "AnalysisTask.h"

#include <cstdio>

#include "common_sgt/Settings.h"

AnalysisTask::AnalysisTask() = default;
AnalysisTask::~AnalysisTask() = default;

bool AnalysisTask::setInputFile(const char* fileName) {
  sgm.setInputFile(fileName);
  return true;
}

bool AnalysisTask::runEmTask() {
  bool ok = sgm.performHaplotypeEstimation(m_dEPS, m_nRandomInit, m_dMinHaplotypeFreq);
  printf("HE(EM) Task completed\n");
  fflush(stdout);
  return ok;
}

bool AnalysisTask::runPlemTask() {
  bool ok = sgm.performHaplotypeEstimationPLEM(m_dEPS, m_nRandomInit, m_nBlockLength, m_dPlemEps,
                                                m_dMinHaplotypeFreq);
  printf("HE(PLEM) Task completed\n");
  fflush(stdout);
  return ok;
}

bool AnalysisTask::runLdTask() {
  sgm.m_classToAnalyze = m_class2analyze;
  if (g_debugLevel >= 1) {
    printf("Starting sgm.performLDAnalysis()\n");
    printf(" option m_bBlocking=%d\n", m_bBlocking ? 1 : 0);
    printf(" option m_nBlockingMethod=%d\n", m_nBlockingMethod);
    printf(" option m_bCrossOver=%d\n", m_bCrossOver ? 1 : 0);
    printf(" option m_bUseAnno=%d\n", m_bUseAnno ? 1 : 0);
    printf(" option m_bSkipByAnno=%d\n", m_bSkipByAnno ? 1 : 0);
    printf(" option m_nChrPosThresh=%d\n", m_nChrPosThresh);
    printf(" option m_dEPS=%f\n", m_dEPS);
    printf(" option m_class2analyze=\"%s\"\n", m_class2analyze.c_str());
  }
  bool ok = sgm.performLDAnalysis(m_bUseAnno, m_bSkipByAnno, m_nChrPosThresh, m_dEPS, m_bBlocking,
                                  m_nBlockingMethod, m_bCrossOver);
  printf("LD Task completed\n");
  fflush(stdout);
  return ok;
}
