#include <cstdio>

#include "SGManager.h"
#include "marlo/EMAlgorithm.h"
#include "marlo/HaplotypeEstimator.h"
#include "marlo/HaplotypeResultFiles.h"

namespace {

// Plain EM enumerates 2^(h-1) pairs per phenotype; longer marker runs are
// the partition-ligation command's work.
constexpr int kMaxEmMarkers = 24;

}  // namespace

// Runs EM on every sample type of the file and on the merged type "M", one
// section per type in each result file. Returns false when the command could
// not do its work: a result file or the input cannot be opened, the header
// or a sample type cannot be loaded, a sample type has more markers than EM
// can take, an estimation cannot run, or a result file cannot be written
// completely. When the input cannot be read at all (header or first sample
// type), the result files just created are removed; sections written before
// a later failure stay, and types skipped for their marker count leave the
// files as they are (empty when every type was skipped).
bool SGManager::performHaplotypeEstimation(double eps, int randomInit, double minHaplotypeFreq) {
  const char* who = "SGManager::performHaplotypeEstimation";
  HaplotypeResultFiles files;
  if (!beginHaplotypeCommand(files, ".em", who)) return false;

  bool ok = true;
  bool wrote = false;
  const int n = genoData.m_SampleTypeTableSize;
  for (int t = 0; t <= n; ++t) {
    const std::string name = genoData.sampleTypeTable[t].name;
    if (!loadForHaplotypeCommand(files, name, wrote, who)) return false;
    if (genoData.m_nummarker == 0 || genoData.m_numindiv == 0) continue;
    if (genoData.m_nummarker > kMaxEmMarkers) {
      // Nothing can be estimated for this type: the command has not done its
      // work, so it must not end with the success status.
      printf("%s - too many markers(%d). use PLEM\n", who, genoData.m_nummarker);
      fflush(stdout);
      ok = false;
      continue;
    }
    EMAlgorithm em;
    em.eps = eps;
    em.setInitMode(randomInit);
    em.setLabel(name);
    em.setData(genoData.phenotypes.data(), genoData.m_nummarker, genoData.m_numpheno, genoData.m_numindiv);
    if (!em.performEM()) {
      printf("%s - estimation failed for sample type %s\n", who, name.c_str());
      fflush(stdout);
      ok = false;
      continue;
    }
    HaplotypeEstimator::writePopulationHeader(files.population, genoData, t);
    em.writePopulationFile(files.population, genoData.m_ChromosomeNo.c_str(), minHaplotypeFreq, name.c_str());
    em.writeBlockFile(files.block, genoData, t);
    if (em.inputReadFailed()) ok = false;
    em.writeIndividualFile(files.individual, genoData.m_ChromosomeNo.c_str(), name.c_str(), genoData.sampleTypes,
                           genoData.m_MergeSampleCount);
    wrote = true;
    fflush(stdout);
  }
  if (!files.close()) ok = false;
  return ok;
}
