#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "SGManager.h"
#include "common_sgt/Parallel.h"
#include "marlo/EMAlgorithm.h"
#include "marlo/HaplotypeEstimator.h"
#include "marlo/HaplotypeResultFiles.h"
#include "marlo/PLEMAlgorithm.h"

namespace {

// The block, population and individual sections of a sample type, in this
// order (the population header is already written). False when the block
// section could not read the input back for its Location row.
bool writeSections(HaplotypeEstimator& estimator, HaplotypeResultFiles& files, const GenoData& data, int t,
                   double minHaplotypeFreq) {
  const std::string& name = data.sampleTypeTable[t].name;
  const char* chromosome = data.m_ChromosomeNo.c_str();
  const bool complete = writeBlockFile(files.block, estimator, data, t);
  HaplotypeIds ids;
  writePopulationFile(files.population, estimator, chromosome, minHaplotypeFreq, name.c_str(), ids);
  writeIndividualFile(files.individual, estimator, ids, chromosome, name.c_str(), data.sampleTypes,
                      data.m_MergeSampleCount);
  return complete;
}

}  // namespace

// Runs partition-ligation EM on every sample type of the file and on the
// merged type "M" (only the type itself when the file has one), one section
// per type in each result file. A type whose markers fit in one block is
// estimated by plain EM. A type that gets no estimate (a join in which some
// genotype fits no pair of block haplotypes, a join too large for memory,
// an estimation that cannot run) gets sections without haplotypes, and the
// command goes on with the next type but returns false at the end. False
// also when a result file or the input cannot be opened, the header or a
// sample type cannot be loaded, or a result file cannot be written
// completely. Result files of a command that wrote nothing before failing
// are removed; sections written before a failure stay.
bool SGManager::performHaplotypeEstimationPLEM(const PlemOptions& o) {
  const char* who = "SGManager::performHaplotypeEstimationPLEM";
  HaplotypeResultFiles files;
  if (!beginHaplotypeCommand(files, ".plem", who)) return false;

  std::vector<int> types;
  const int n = genoData.m_SampleTypeTableSize;
  for (int t = 0; t <= n; ++t) {
    // With a single sample type the merged type holds the same individuals.
    if (n == 1 && t == 1) continue;
    types.push_back(t);
  }
  // Types run side by side; threads left over go to each estimation.
  const unsigned workers = resolveThreadCount(o.em.threads);
  const unsigned perType = workers > types.size() ? workers / static_cast<unsigned>(types.size()) : 1;
  auto estimate = [&](GenoData& data, int t, HaplotypeResultFiles& out, bool& wrote) {
    const std::string& name = data.sampleTypeTable[t].name;
    writePopulationHeader(out.population, data, t);
    wrote = true;

    std::unique_ptr<HaplotypeEstimator> estimator;
    bool estimated = false;
    if (data.m_nummarker <= o.blockLength) {
      consolePrintf("switching from PLEM to EM(nummarker:%d, block length:%d)\n", data.m_nummarker, o.blockLength);
      auto em = std::make_unique<EMAlgorithm>();
      em->eps = o.em.eps;
      em->setInitMode(o.em.randomInit);
      em->setLabel(name);
      em->workers = perType;
      em->setData(data.phenotypes.data(), data.m_nummarker, data.m_numpheno, data.m_numindiv);
      estimated = em->perform();
      estimator = std::move(em);
    } else {
      auto plem = std::make_unique<PLEMAlgorithm>();
      plem->setLabel(name);
      plem->setData(data.phenotypes.data(), data.m_nummarker, data.m_numpheno, data.m_numindiv);
      plem->ligationEps = o.em.eps;
      plem->plemEps = o.plemEps;
      plem->blockLength = o.blockLength;
      plem->workers = perType;
      estimated = plem->perform();
      estimator = std::move(plem);
    }
    if (!estimated) {
      consolePrintf("%s - estimation failed for sample type %s\n", who, name.c_str());
      // Sections without haplotypes: an estimator over no genotypes has no
      // best pair to list.
      estimator = std::make_unique<PLEMAlgorithm>();
      estimator->setData(data.phenotypes.data(), data.m_nummarker, 0, data.m_numindiv);
    }
    const bool complete = writeSections(*estimator, out, data, t, o.em.minHaplotypeFreq);
    return estimated && complete;
  };
  bool loadFailed = false;
  bool ok = estimateTypes(files, types, workers, who, estimate, loadFailed);
  if (loadFailed) return false;
  if (!files.close()) ok = false;
  return ok;
}
