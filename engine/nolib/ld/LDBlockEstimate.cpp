#include "ld/LDBlockEstimate.h"

#include <cmath>
#include <cstdio>
#include <unordered_map>

#include "common_sgt/Console.h"
#include "ld/SubPhenotypes.h"
#include "marlo/EMAlgorithm.h"
#include "marlo/PLEMAlgorithm.h"

bool SnpListEstimate::run(const GenoData& data, const std::vector<int>& snps, const std::string& label) {
  m_estimator.reset();
  m_best.clear();
  m_phenotypes.clear();
  m_phenotypeOfIndividual.clear();
  buildSubPhenotypes(data, snps, m_phenotypes, m_phenotypeOfIndividual);
  m_best.assign(m_phenotypes.size(), HaplotypePair());
  if (m_phenotypes.empty()) return true;

  const int numSnps = static_cast<int>(snps.size());
  std::unique_ptr<HaplotypeEstimator> estimator;
  if (numSnps < kPartitionLigationFrom) {
    auto em = std::make_unique<EMAlgorithm>();
    em->setLabel(label);
    estimator = std::move(em);
  } else {
    auto plem = std::make_unique<PLEMAlgorithm>();
    plem->setLabel(label);
    estimator = std::move(plem);
  }
  estimator->setData(m_phenotypes.data(), numSnps, static_cast<int>(m_phenotypes.size()), data.m_numindiv);
  if (!estimator->perform()) {
    printFlushed("LD blocking, sample type %s: the haplotypes of SNPs %d-%d (%d SNPs) cannot be estimated\n",
                 label.c_str(), snps.front() + 1, snps.back() + 1, numSnps);
    return false;
  }
  for (int p = 0; p < static_cast<int>(m_phenotypes.size()); ++p) estimator->getBestPair(p, m_best[p]);
  m_estimator = std::move(estimator);
  return true;
}

double SnpListEstimate::expectedCount(const std::string& haplotype) const {
  double total = 0.0;
  if (m_estimator) m_estimator->expectedCount(haplotype, total);
  return total;
}

bool estimateBlockHaplotypes(const GenoData& data, LDBlock& block, const std::string& label,
                             SnpListEstimate& estimate) {
  const bool ok = estimate.run(data, block.snps, label);
  const int n = data.m_numindiv;
  block.haplotypes.clear();
  block.haplotypeCounts.clear();
  block.chromosomeTotal = 2 * n;

  // Weights in order of first insertion: this order is the tie order of the
  // haplotype numbering in both block files.
  std::unordered_map<std::string, int> index;
  std::vector<double> weight;
  auto add = [&](const std::string& h, double share) {
    auto [it, added] = index.try_emplace(h, static_cast<int>(block.haplotypes.size()));
    if (added) {
      block.haplotypes.push_back(h);
      weight.push_back(0.0);
    }
    weight[it->second] += share;
  };
  if (estimate.estimated() && n > 0) {
    for (int p = 0; p < estimate.phenotypeCount(); ++p) {
      const HaplotypePair& best = estimate.bestPair(p);
      // Without an estimate a genotype has no pair to contribute.
      if (best.haplotype1.empty() && best.haplotype2.empty()) continue;
      const double share = static_cast<double>(estimate.phenotype(p).count) / (2.0 * n);
      add(best.haplotype1, share);
      add(best.haplotype2, share);
    }
  }
  for (double w : weight) block.haplotypeCounts.push_back(static_cast<int>(std::llround(w * n * 2)));
  block.haplotypeCount = static_cast<int>(block.haplotypes.size());
  return ok;
}
