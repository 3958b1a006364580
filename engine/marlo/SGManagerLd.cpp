#include "SGManager.h"
#include "ld/PairwiseLD.h"

PairwiseLDStatus SGManager::performLDAnalysis(const PairwiseLDOptions& options) {
  return runPairwiseLD(genoData, m_inputFile, options);
}
