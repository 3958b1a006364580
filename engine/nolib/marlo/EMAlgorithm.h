#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "marlo/HaplotypeEstimator.h"
#include "marlo/HaplotypeIndex.h"

// Haplotype frequencies by expectation-maximisation over the candidate pairs
// of every phenotype (all pairs of all phenotypes in every iteration).
//
// Every distinct haplotype gets an index once, at registration; the loop then
// works on the arrays frequency[] and pairHaplotype1/2[] only. Arithmetic, in
// the order the code performs it (a fast special case must repeat it exactly
// to print the same digits):
//   init      even: w = 1.0 / numPairs; random: seedRandomInitialisation(),
//             then phenotype by phenotype, pair by pair w = 1.0 / (lcgNext() + 1)
//   loop      emCnt = 1, Lprev = 0.0
//    maximise frequency[*] = 0.0
//             per phenotype (count >= 1): pairWeightSum = ((0.0 + w0) + w1) + ...
//             per phenotype (count >= 1), in order:
//               factor = double(count) / (double(N) * pairWeightSum)
//               per pair j: w[j] = w[j] * factor; a = (m * w[j]) * 0.5 with
//               m = 2.0 when h = 0, else 1.0; frequency[h1] += a; if h > 0
//               frequency[h2] += a
//    L        C = log(P * (P + 1.0) / 2.0) - S1, S1 = ((0.0 + log(n1 * (n1 + 1.0) / 2.0)) + ...)
//             S2 = ((0.0 + n1 * log(pairWeightSum1)) + ...), both over count > 0,
//             L = C + S2; DL = fabs(Lprev - L); stop when DL < eps
//    expect   per phenotype (count >= 1), pair j: w[j] = f(h1) * f(h2), then
//             w[j] = w[j] * 2.0 when h >= 1
//             emCnt += 1, Lprev = L; P <= 4: go on only while emCnt <= 50;
//             stop (with a warning) once emCnt > kMaxIterations
//   final     per phenotype (count > 0): w[j] = f(h1) * f(h2); s = ((0.0 + w0) + w1) + ...;
//             w[j] = w[j] / s
// P = numPheno, N = numIndividuals, n = count, h = numHeterozygous.
class EMAlgorithm : public HaplotypeEstimator {
 public:
  // No EM loop runs longer than this many maximisation steps.
  static constexpr int kMaxIterations = 100000;

  EMAlgorithm();
  ~EMAlgorithm() override;

  // 0: even initial weights; otherwise random ones.
  void setInitMode(int mode) { initMode = mode; }
  // Names the sample type (or other context) in the iteration-limit warning.
  void setLabel(const std::string& label) { m_label = label; }

  // The whole estimation. False, with a message, when a phenotype's pairs
  // cannot be enumerated or stored (the writers must then not be called).
  bool perform() override { return performEM(); }
  bool performEM();
  // First pair with the strictly greatest weight, scanning from pair 0 with
  // a running best of 0.0 (ties go to the lower index; all-zero weights give
  // pair 0 with probability 0.0).
  void getBestPair(int phenotypeIndex, HaplotypePair& result) override;
  // From a total of 0.0 the answer comes from the copies summed once at the
  // end of performEM (the same additions in the same order); pair weights
  // changed by hand afterwards are seen only from a non-zero total.
  void expectedCount(const std::string& haplotype, double& total) override;

  // The estimated frequency of a haplotype, 0.0 when it was never a candidate.
  double frequencyOf(const std::string& haplotype) const;
  // Number of a registered haplotype (its entry in frequency), -1 otherwise.
  int indexOf(const std::string& haplotype) const { return haplotypeIndex.indexOf(haplotype); }
  int numHaplotypes() const { return haplotypeIndex.size(); }
  std::string haplotypeText(int index) const { return haplotypeIndex.text(index); }

  double eps = 0.0001;
  int initMode = 1;
  // Threads for the per-phenotype steps (weight sums and scaling, the
  // likelihood terms, the expectation and the final posteriors) once there
  // are parallelPairs candidate pairs or more (threads start at every step:
  // below that their start costs more than they save); the sums over
  // phenotypes stay on one thread, in phenotype order, so the digits do not
  // change.
  unsigned workers = 1;
  int64_t parallelPairs = int64_t{1} << 18;
  // Every haplotype of a pair of a phenotype with count >= 1, numbered in
  // order of registration, and its current frequency.
  HaplotypeIndex haplotypeIndex;
  std::vector<double> frequency;
  // Pairs of phenotype p (count >= 1) are entries pairOffset[p] ..
  // pairOffset[p] + numPairs - 1 of the two index arrays; -1 for the others.
  std::vector<int64_t> pairOffset;
  std::vector<int> pairHaplotype1;
  std::vector<int> pairHaplotype2;
  // Value reached by the iteration counter (maximisation steps when it
  // converged, 51 when stopped by the cap of four phenotypes or fewer).
  int emCnt = 0;
  bool reachedIterationLimit = false;
  // L of the last maximisation step.
  double likelihood = 0.0;

 private:
  bool checkPairCounts();
  void registerHaplotypes();
  bool initialiseWeights();
  void iterate();
  void finalPosteriors();
  void computeExpectedCopies();
  // body(first, end) over ranges of phenotypes, on the workers when the
  // pairs are many enough.
  void forPhenotypes(const std::function<void(int, int)>& body) const;

  std::string m_label;
  // Expected copies of every registered haplotype after the final step,
  // accumulated in the order expectedCount would add them.
  std::vector<double> m_expected;
  bool m_expectedValid = false;
};
