#include "ld/PairComputation.h"

#include <cstdio>
#include <string>
#include <vector>

#include "common_sgt/Parallel.h"
#include "common_sgt/Settings.h"
#include "ld/SubPhenotypes.h"
#include "ld/TwoLocusMle.h"
#include "marlo/EMAlgorithm.h"

namespace {

// The two letters of a genotype class of one SNP, the smaller first.
std::string classLetters(char x, char y) {
  if (static_cast<signed char>(y) < static_cast<signed char>(x)) std::swap(x, y);
  return std::string{x, y};
}

// Runs the estimator over the records with the given number of individuals.
// False when it could not run (the frequencies are then all 0).
bool estimate(EMAlgorithm& em, std::vector<Phenotype>& records, int numIndividuals, double eps) {
  em.eps = eps;
  em.setData(records.data(), 2, static_cast<int>(records.size()), numIndividuals);
  return em.performEM();
}

}  // namespace

void computePairGeneral(const GenoData& data, int i, int j, double eps, PairwiseValue& v, bool exactMle) {
  v = PairwiseValue();
  const SnpAlleleTable ta = buildAlleleTable(data, i);
  const SnpAlleleTable tb = buildAlleleTable(data, j);
  std::vector<Phenotype> subs;
  std::vector<int> ofIndividual;
  buildSubPhenotypes(data, {i, j}, subs, ofIndividual);

  const char a1 = ta.first(), a2 = ta.second(), b1 = tb.first(), b2 = tb.second();
  const std::string first[3] = {classLetters(a1, a1), classLetters(a1, a2), classLetters(a2, a2)};
  const std::string second[3] = {classLetters(b1, b1), classLetters(b1, b2), classLetters(b2, b2)};
  std::string classes[9];
  for (int g = 0; g < 9; ++g) classes[g] = first[g / 3] + second[g % 3];

  int n = 0;
  for (const Phenotype& s : subs) {
    for (int g = 0; g < 9; ++g) {
      if (s.genotype == classes[g]) {
        v.genotypeCount[g] += s.count;
        n += s.count;
        break;
      }
    }
  }

  const bool trace = g_debugLevel >= 2;
  if (trace) {
    consolePrintf("--------------------------\nLD of (%d,%d)\n", i, j);
    consolePrintf("totalNumIndivWithoutMissing = %d,numindiv=%d \n", n, data.m_numindiv);
    consolePrintf("Observed Genotype Frequency:\n");
    for (size_t s = 0; s < subs.size(); ++s)
      consolePrintf("  subpheno[%d]=%s*%d\n", static_cast<int>(s), subs[s].genotype.c_str(), subs[s].count);
  }

  const std::string haps[4] = {std::string{a1, b1}, std::string{a1, b2}, std::string{a2, b1}, std::string{a2, b2}};
  double f[4] = {0.0, 0.0, 0.0, 0.0};
  const bool closedForm = exactMle && ta.size() <= 2 && tb.size() <= 2;
  // Without an individual complete at both SNPs there is nothing to
  // estimate (the estimator would divide by zero individuals).
  if (closedForm) {
    const TwoLocusEstimate e = twoLocusMle(v.genotypeCount);
    if (trace)
      consolePrintf("Two-locus maximum likelihood: %.6f of %d double heterozygotes %s/%s (%d maxima compared)\n",
             e.phaseCount, e.doubleHeterozygous, haps[0].c_str(), haps[3].c_str(), e.candidates);
    pairFrequencies(e, ta.size() < 2, tb.size() < 2, f);
  } else if (n > 0 && !subs.empty()) {
    EMAlgorithm em;
    if (estimate(em, subs, n, eps)) {
      if (trace) {
        consolePrintf("Diploid reconstruction result:\n");
        std::string h1, h2;
        for (const Phenotype& s : subs) {
          for (int p = 0; p < s.numPairs; ++p) {
            s.buildPair(p, h1, h2);
            consolePrintf("  %s/%s=%f\n", h1.c_str(), h2.c_str(), s.count * s.pairWeight[p]);
          }
        }
      }
      for (int k = 0; k < 4; ++k) f[k] = em.frequencyOf(haps[k]);
    }
  }
  const double sum = f[0] + f[1] + f[2] + f[3];
  for (int k = 0; k < 4; ++k) v.hap[k] = safeDivide(f[k], sum);
  if (trace) {
    consolePrintf("Estimated Haplotype frequency:\n");
    consolePrintf("  AB(%s)=%7.5f\n", haps[0].c_str(), v.hap[0]);
    consolePrintf("  Ab(%s)=%7.5f\n", haps[1].c_str(), v.hap[1]);
    consolePrintf("  aB(%s)=%7.5f\n", haps[2].c_str(), v.hap[2]);
    consolePrintf("  ab(%s)=%7.5f\n", haps[3].c_str(), v.hap[3]);
  }
  computeStatistics(v, n, true, closedForm);
  if (trace) consolePrintf("D'(%d,%d)\t=%7.3f\n", i, j, v.Dprime);

  if (!subs.empty() && (ta.size() > 2 || tb.size() > 2)) {
    int total = 0;
    for (const Phenotype& s : subs) total += s.count;
    const int rows = ta.size(), cols = tb.size();
    std::vector<double> table(static_cast<size_t>(rows) * cols, 0.0);
    EMAlgorithm em;
    if (estimate(em, subs, total, eps)) {
      double cellSum = 0.0;
      for (int a = 0; a < rows; ++a) {
        for (int b = 0; b < cols; ++b) {
          const double x = em.frequencyOf(std::string{ta.alleles[a], tb.alleles[b]});
          table[static_cast<size_t>(a) * cols + b] += x;
          cellSum += x;
        }
      }
      for (double& x : table) x = safeDivide(x, cellSum);
    }
    v.multiAllelic = true;
    v.multiDprime = multiAllelicDprime(table, rows, cols);
    if (trace) consolePrintf("D'(%d,%d) If Multi-allele\t=%7.3f\n", i, j, v.multiDprime);
  }
}
