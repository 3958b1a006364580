#include <cstdio>
#include <string>
#include <vector>

#include "SGManager.h"
#include "common_sgt/Parallel.h"
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
bool SGManager::performHaplotypeEstimation(const EmOptions& o) {
  const char* who = "SGManager::performHaplotypeEstimation";
  HaplotypeResultFiles files;
  if (!beginHaplotypeCommand(files, ".em", who)) return false;

  std::vector<int> types;
  for (int t = 0; t <= genoData.m_SampleTypeTableSize; ++t) types.push_back(t);
  // Types run side by side; threads left over go to each estimation.
  const unsigned workers = resolveThreadCount(o.threads);
  const unsigned perType = workers > types.size() ? workers / static_cast<unsigned>(types.size()) : 1;
  auto estimate = [&](GenoData& data, int t, HaplotypeResultFiles& out, bool& wrote) {
    const std::string& name = data.sampleTypeTable[t].name;
    if (data.m_nummarker > kMaxEmMarkers) {
      // Nothing can be estimated for this type: the command has not done its
      // work, so it must not end with the success status.
      consolePrintf("%s - too many markers(%d). use PLEM\n", who, data.m_nummarker);
      return false;
    }
    EMAlgorithm em;
    em.eps = o.eps;
    em.setInitMode(o.randomInit);
    em.setLabel(name);
    em.workers = perType;
    em.setData(data.phenotypes.data(), data.m_nummarker, data.m_numpheno, data.m_numindiv);
    if (!em.performEM()) {
      consolePrintf("%s - estimation failed for sample type %s\n", who, name.c_str());
      return false;
    }
    writePopulationHeader(out.population, data, t);
    HaplotypeIds ids;
    writePopulationFile(out.population, em, data.m_ChromosomeNo.c_str(), o.minHaplotypeFreq, name.c_str(), ids);
    const bool complete = writeBlockFile(out.block, em, data, t);
    writeIndividualFile(out.individual, em, ids, data.m_ChromosomeNo.c_str(), name.c_str(), data.sampleTypes,
                        data.m_MergeSampleCount);
    wrote = true;
    return complete;
  };
  bool loadFailed = false;
  bool ok = estimateTypes(files, types, workers, who, estimate, loadFailed);
  if (loadFailed) return false;
  if (!files.close()) ok = false;
  return ok;
}
