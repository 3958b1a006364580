#include "AnalysisTask.h"

#include <cstdio>

#include "common_sgt/Settings.h"

AnalysisTask::AnalysisTask() = default;
AnalysisTask::~AnalysisTask() = default;

bool AnalysisTask::setInputFile(const char* fileName) {
  sgm.setInputFile(fileName);
  return true;
}

bool AnalysisTask::runEmTask(const EmOptions& o) {
  bool ok = sgm.performHaplotypeEstimation(o);
  printf("HE(EM) Task completed\n");
  fflush(stdout);
  return ok;
}

bool AnalysisTask::runPlemTask(const PlemOptions& o) {
  bool ok = sgm.performHaplotypeEstimationPLEM(o);
  printf("HE(PLEM) Task completed\n");
  fflush(stdout);
  return ok;
}

PairwiseLDStatus AnalysisTask::runLdTask(const PairwiseLDOptions& o) {
  if (g_debugLevel >= 1) {
    printf("Starting sgm.performLDAnalysis()\n");
    printf(" option m_bBlocking=%d\n", o.blocking ? 1 : 0);
    printf(" option m_nBlockingMethod=%d\n", o.blockingMethod);
    printf(" option m_bCrossOver=%d\n", o.crossOver ? 1 : 0);
    printf(" option m_bUseAnno=%d\n", o.useAnno ? 1 : 0);
    printf(" option m_bSkipByAnno=%d\n", o.skipByAnno ? 1 : 0);
    printf(" option m_nChrPosThresh=%d\n", o.chrPosThresh);
    printf(" option m_dEPS=%f\n", o.eps);
    printf(" option m_class2analyze=\"%s\"\n", o.classToAnalyze.c_str());
  }
  const PairwiseLDStatus status = sgm.performLDAnalysis(o);
  if (status == PairwiseLDStatus::kAborted) return status;
  printf("LD Task completed\n");
  fflush(stdout);
  return status;
}
