#include "marlo/EMAlgorithm.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <new>

#include "common_sgt/Parallel.h"
#include "common_sgt/AvailableMemory.h"
#include "common_sgt/Random.h"
#include "common_sgt/Settings.h"
#include "common_sgt/StatusReport.h"

namespace {

// Bytes per candidate pair at most: its weight and two haplotype numbers, and
// for up to two new haplotypes a key, a frequency, an expected count and
// about two slots of the index table.
constexpr long long kBytesPerPair = sizeof(double) + 2 * sizeof(int) + 2 * (3 * sizeof(double) + 2 * 16);
// Candidate pairs below which the memory check is skipped (16 MB of tables).
constexpr long long kAskSystemPairs = (16LL << 20) / kBytesPerPair;

}  // namespace

EMAlgorithm::EMAlgorithm() = default;
EMAlgorithm::~EMAlgorithm() = default;

double EMAlgorithm::frequencyOf(const std::string& haplotype) const {
  int i = indexOf(haplotype);
  return i < 0 ? 0.0 : frequency[i];
}

bool EMAlgorithm::checkPairCounts() {
  long long total = 0;
  for (int p = 0; p < numPheno; ++p) {
    const Phenotype& ph = phenotypes[p];
    if (ph.numPairs < 1) {
      consolePrintf("EMAlgorithm: phenotype #%d has %d heterozygous markers; its 2^%d candidate haplotype pairs "
             "cannot be enumerated\n",
             p, ph.numHeterozygous, ph.numHeterozygous - 1);
      consoleFlush();
      return false;
    }
    total += ph.numPairs;
  }
  // The memory this process may take, not the machine's: under a container
  // or batch limit the run would otherwise be killed halfway. Asking the
  // system reads several files, which costs more than a small estimation
  // itself (blocking runs thousands of them), so a table of a few megabytes
  // is simply allocated; a failed allocation is still reported.
  if (total < kAskSystemPairs) return true;
  const long long memory = availableMemoryBytes();
  if (total > 0 && memory >= 0 && total > memory / kBytesPerPair) {
    consolePrintf("EMAlgorithm: %lld candidate haplotype pairs need %lld MB, more than the %lld MB available\n",
           total, total * kBytesPerPair >> 20, memory >> 20);
    consoleFlush();
    return false;
  }
  return true;
}

void EMAlgorithm::registerHaplotypes() {
  pairHaplotype1.clear();
  pairHaplotype2.clear();
  pairOffset.assign(numPheno, -1);
  long long registered = 0;
  for (int p = 0; p < numPheno; ++p)
    if (phenotypes[p].count >= 1) registered += phenotypes[p].numPairs;
  pairHaplotype1.reserve(registered);
  pairHaplotype2.reserve(registered);
  haplotypeIndex.prepare(phenotypes, numPheno, numMarkers);
  for (int p = 0; p < numPheno; ++p) {
    const Phenotype& ph = phenotypes[p];
    if (ph.count < 1) continue;
    pairOffset[p] = static_cast<int64_t>(pairHaplotype1.size());
    haplotypeIndex.registerPairs(ph, pairHaplotype1, pairHaplotype2);
  }
  frequency.assign(haplotypeIndex.size(), 0.0);
}

bool EMAlgorithm::initialiseWeights() {
  if (g_debugLevel >= 1) consolePrintf("  Initialize Freq");
  for (int p = 0; p < numPheno; ++p)
    if (!phenotypes[p].allocatePairWeights()) return false;
  if (initMode == 0) {
    for (int p = 0; p < numPheno; ++p) {
      Phenotype& ph = phenotypes[p];
      for (double& w : ph.pairWeight) w = 1.0 / ph.numPairs;
    }
  } else {
    seedRandomInitialisation();
    for (int p = 0; p < numPheno; ++p)
      for (double& w : phenotypes[p].pairWeight) w = 1.0 / (lcgNext() + 1);
  }
  return true;
}

void EMAlgorithm::iterate() {
  if (g_debugLevel >= 2) consolePrintf("  EM Loop");
  if (g_emIterationProgress) progressPhase("EM Iteration");
  const double n = static_cast<double>(numIndividuals);
  // The first two terms of the likelihood do not change between iterations.
  double s1 = 0.0;
  for (int p = 0; p < numPheno; ++p) {
    const int c = phenotypes[p].count;
    if (c > 0) s1 += log(c * (c + 1.0) / 2.0);
  }
  const double constant = log(numPheno * (numPheno + 1.0) / 2.0) - s1;

  emCnt = 1;
  double lPrev = 0.0;
  // Each phenotype's likelihood term, summed in phenotype order below.
  std::vector<double> term(static_cast<size_t>(numPheno > 0 ? numPheno : 0), 0.0);
  for (;;) {
    // Maximisation: per phenotype its weight sum and scaled weights (and
    // likelihood term), then the frequencies in phenotype order.
    for (double& f : frequency) f = 0.0;
    forPhenotypes([&](int first, int end) {
      for (int p = first; p < end; ++p) {
        Phenotype& ph = phenotypes[p];
        double sum = 0.0;
        if (ph.count >= 1 && ph.numPairs > 0)
          for (double w : ph.pairWeight) sum += w;
        ph.pairWeightSum = sum;
        if (ph.count < 1) continue;
        const double factor = static_cast<double>(ph.count) / (n * ph.pairWeightSum);
        for (double& w : ph.pairWeight) w = w * factor;
        term[p] = ph.count * log(ph.pairWeightSum);
      }
    });
    for (int p = 0; p < numPheno; ++p) {
      const Phenotype& ph = phenotypes[p];
      if (ph.count < 1) continue;
      const double m = ph.numHeterozygous == 0 ? 2.0 : 1.0;
      const int* i1 = pairHaplotype1.data() + pairOffset[p];
      const int* i2 = pairHaplotype2.data() + pairOffset[p];
      const double* w = ph.pairWeight.data();
      const bool twoSides = ph.numHeterozygous > 0;
      for (int j = 0; j < ph.numPairs; ++j) {
        const double a = m * w[j] * 0.5;
        frequency[i1[j]] += a;
        if (twoSides) frequency[i2[j]] += a;
      }
    }
    // Likelihood.
    double s2 = 0.0;
    for (int p = 0; p < numPheno; ++p)
      if (phenotypes[p].count > 0) s2 += term[p];
    const double l = constant + s2;
    likelihood = l;
    const double dl = fabs(lPrev - l);
    if (dl < eps) break;
    // Expectation.
    forPhenotypes([&](int first, int end) {
      for (int p = first; p < end; ++p) {
        Phenotype& ph = phenotypes[p];
        if (ph.count < 1) continue;
        const int* i1 = pairHaplotype1.data() + pairOffset[p];
        const int* i2 = pairHaplotype2.data() + pairOffset[p];
        double* w = ph.pairWeight.data();
        const bool doubled = ph.numHeterozygous >= 1;
        for (int j = 0; j < ph.numPairs; ++j) {
          w[j] = frequency[i1[j]] * frequency[i2[j]];
          if (doubled) w[j] = w[j] * 2.0;
        }
      }
    });
    emCnt += 1;
    lPrev = l;
    if (g_emIterationProgress && emCnt % 100 == 0) progressStep();
    if (numPheno <= 4 && emCnt > 50) break;
    if (emCnt > kMaxIterations) {
      reachedIterationLimit = true;
      consolePrintf("Warning: EM stopped after %d iterations without convergence (sample type %s); "
             "the estimate of the last iteration is used\n",
             kMaxIterations, m_label.empty() ? "?" : m_label.c_str());
      break;
    }
  }
  if (g_debugLevel >= 1) consolePrintf("  ... emCnt=%d\n", emCnt);
}

void EMAlgorithm::finalPosteriors() {
  if (g_debugLevel >= 1) consolePrintf("  Calc Freq numpheno=%d\n", numPheno);
  if (g_emIterationProgress) progressPhase("Calc. Frequency");
  if (g_emIterationProgress)
    for (int p = 0; p < numPheno; ++p) progressStep();
  forPhenotypes([&](int first, int end) {
    for (int p = first; p < end; ++p) {
      Phenotype& ph = phenotypes[p];
      if (ph.count <= 0) continue;
      const int* i1 = pairHaplotype1.data() + pairOffset[p];
      const int* i2 = pairHaplotype2.data() + pairOffset[p];
      double* w = ph.pairWeight.data();
      double sum = 0.0;
      for (int j = 0; j < ph.numPairs; ++j) {
        w[j] = frequency[i1[j]] * frequency[i2[j]];
        sum += w[j];
      }
      for (int j = 0; j < ph.numPairs; ++j) w[j] = w[j] / sum;
    }
  });
}

void EMAlgorithm::forPhenotypes(const std::function<void(int, int)>& body) const {
  int64_t pairs = 0;
  for (int p = 0; p < numPheno; ++p)
    if (phenotypes[p].count >= 1) pairs += phenotypes[p].numPairs;
  if (workers <= 1 || pairs < parallelPairs || numPheno < 2) {
    body(0, numPheno);
    return;
  }
  // Consecutive phenotypes with about the same number of pairs per range.
  const unsigned parts = workers < static_cast<unsigned>(numPheno) ? workers : static_cast<unsigned>(numPheno);
  std::vector<int64_t> bounds{0};
  int64_t seen = 0;
  for (int p = 0; p < numPheno && bounds.size() < parts; ++p) {
    if (phenotypes[p].count >= 1) seen += phenotypes[p].numPairs;
    if (seen * parts >= pairs * static_cast<int64_t>(bounds.size())) bounds.push_back(p + 1);
  }
  bounds.push_back(numPheno);
  parallelRanges(bounds, [&](int64_t first, int64_t end) { body(static_cast<int>(first), static_cast<int>(end)); });
}

void EMAlgorithm::computeExpectedCopies() {
  m_expected.assign(frequency.size(), 0.0);
  for (int p = 0; p < numPheno; ++p) {
    const Phenotype& ph = phenotypes[p];
    if (ph.count < 1) continue;
    const int* i1 = pairHaplotype1.data() + pairOffset[p];
    const int* i2 = pairHaplotype2.data() + pairOffset[p];
    for (int j = 0; j < ph.numPairs; ++j) {
      const double a = ph.count * ph.pairWeight[j];
      m_expected[i1[j]] += a;
      m_expected[i2[j]] += a;
    }
  }
  m_expectedValid = true;
}

bool EMAlgorithm::performEM() {
  m_expectedValid = false;
  reachedIterationLimit = false;
  emCnt = 0;
  likelihood = 0.0;
  if (numPheno > 0 && !phenotypes) return false;
  try {
    if (!checkPairCounts()) return false;
    registerHaplotypes();
    if (!initialiseWeights()) {
      for (int p = 0; p < numPheno; ++p) phenotypes[p].pairWeight.clear();
      return false;
    }
  } catch (const std::bad_alloc&) {
    consolePrintf("EMAlgorithm: not enough memory for the candidate haplotype pairs\n");
    consoleFlush();
    for (int p = 0; p < numPheno; ++p) phenotypes[p].pairWeight.clear();
    return false;
  }
  iterate();
  finalPosteriors();
  computeExpectedCopies();
  consoleFlush();
  return true;
}

void EMAlgorithm::getBestPair(int i, HaplotypePair& result) {
  result.haplotype1.clear();
  result.haplotype2.clear();
  result.probability = 0.0;
  if (i < 0 || i >= numPheno) return;
  const Phenotype& ph = phenotypes[i];
  double best = 0.0;
  int index = 0;
  for (size_t j = 0; j < ph.pairWeight.size(); ++j) {
    if (ph.pairWeight[j] > best) {
      best = ph.pairWeight[j];
      index = static_cast<int>(j);
    }
  }
  if (ph.numPairs < 1) return;
  ph.buildPair(index, result.haplotype1, result.haplotype2);
  result.probability = ph.pairWeight.empty() ? 0.0 : ph.pairWeight[index];
}

void EMAlgorithm::expectedCount(const std::string& haplotype, double& total) {
  // From a zero total the cached sum is the same sequence of additions.
  if (m_expectedValid && total == 0.0 && !std::signbit(total)) {
    int i = indexOf(haplotype);
    if (i >= 0) total = m_expected[i];
    return;
  }
  std::string h1, h2;
  for (int p = 0; p < numPheno; ++p) {
    const Phenotype& ph = phenotypes[p];
    for (size_t j = 0; j < ph.pairWeight.size(); ++j) {
      ph.buildPair(static_cast<int64_t>(j), h1, h2);
      if (h1 == haplotype) total += ph.count * ph.pairWeight[j];
      if (h2 == haplotype) total += ph.count * ph.pairWeight[j];
    }
  }
}
