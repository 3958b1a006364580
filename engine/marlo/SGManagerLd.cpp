#include "SGManager.h"
#include "ld/PairwiseLD.h"

bool SGManager::performLDAnalysis(bool useAnno, bool skipByAnno, int chrPosThresh, double eps, bool blocking,
                                  int blockingMethod, bool crossOver) {
  PairwiseLDOptions o;
  o.useAnno = useAnno;
  o.skipByAnno = skipByAnno;
  o.chrPosThresh = chrPosThresh;
  o.eps = eps;
  o.blocking = blocking;
  o.blockingMethod = blockingMethod;
  o.crossOver = crossOver;
  o.classToAnalyze = m_classToAnalyze;
  o.blockSettings.tag = m_dTag;
  o.blockSettings.uth = m_dUTH;
  o.blockSettings.lth = m_dLTH;
  o.blockSettings.thf = m_dTHF;
  o.blockSettings.e = m_dE;
  o.blockSettings.bootstrap = m_nBST;
  o.blockSettings.manualList = m_manualBlockList;
  return runPairwiseLD(genoData, m_inputFile, o);
}
