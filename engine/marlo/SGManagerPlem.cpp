#include <cstdio>
#include <memory>

#include "SGManager.h"
#include "marlo/EMAlgorithm.h"
#include "marlo/HaplotypeEstimator.h"
#include "marlo/HaplotypeResultFiles.h"
#include "marlo/PLEMAlgorithm.h"

namespace {

// The block, population and individual sections of a sample type, in this
// order (the population header is already written).
void writeSections(HaplotypeEstimator& estimator, HaplotypeResultFiles& files, const GenoData& data, int t,
                   double minHaplotypeFreq) {
  const std::string& name = data.sampleTypeTable[t].name;
  const char* chromosome = data.m_ChromosomeNo.c_str();
  estimator.writeBlockFile(files.block, data, t);
  estimator.writePopulationFile(files.population, chromosome, minHaplotypeFreq, name.c_str());
  estimator.writeIndividualFile(files.individual, chromosome, name.c_str(), data.sampleTypes, data.m_MergeSampleCount);
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
bool SGManager::performHaplotypeEstimationPLEM(double eps, int randomInit, int blockLength, double plemEps,
                                               double minHaplotypeFreq) {
  const char* who = "SGManager::performHaplotypeEstimationPLEM";
  HaplotypeResultFiles files;
  if (!beginHaplotypeCommand(files, ".plem", who)) return false;

  bool ok = true;
  bool wrote = false;
  const int n = genoData.m_SampleTypeTableSize;
  for (int t = 0; t <= n; ++t) {
    // With a single sample type the merged type holds the same individuals.
    if (n == 1 && t == 1) continue;
    const std::string name = genoData.sampleTypeTable[t].name;
    if (!loadForHaplotypeCommand(files, name, wrote, who)) return false;
    if (genoData.m_nummarker == 0 || genoData.m_numindiv == 0) continue;
    HaplotypeEstimator::writePopulationHeader(files.population, genoData, t);
    wrote = true;

    std::unique_ptr<HaplotypeEstimator> estimator;
    bool estimated = false;
    if (genoData.m_nummarker <= blockLength) {
      printf("switching from PLEM to EM(nummarker:%d, block length:%d)\n", genoData.m_nummarker, blockLength);
      auto em = std::make_unique<EMAlgorithm>();
      em->eps = eps;
      em->setInitMode(randomInit);
      em->setLabel(name);
      em->setData(genoData.phenotypes.data(), genoData.m_nummarker, genoData.m_numpheno, genoData.m_numindiv);
      estimated = em->perform();
      estimator = std::move(em);
    } else {
      auto plem = std::make_unique<PLEMAlgorithm>();
      plem->setLabel(name);
      plem->setData(genoData.phenotypes.data(), genoData.m_nummarker, genoData.m_numpheno, genoData.m_numindiv);
      plem->ligationEps = eps;
      plem->plemEps = plemEps;
      plem->blockLength = blockLength;
      estimated = plem->perform();
      estimator = std::move(plem);
    }
    if (!estimated) {
      printf("%s - estimation failed for sample type %s\n", who, name.c_str());
      fflush(stdout);
      ok = false;
      // Sections without haplotypes: an estimator over no genotypes has no
      // best pair to list.
      estimator = std::make_unique<PLEMAlgorithm>();
      estimator->setData(genoData.phenotypes.data(), genoData.m_nummarker, 0, genoData.m_numindiv);
    }
    writeSections(*estimator, files, genoData, t, minHaplotypeFreq);
    if (estimator->inputReadFailed()) ok = false;
    fflush(stdout);
  }
  if (!files.close()) ok = false;
  return ok;
}
