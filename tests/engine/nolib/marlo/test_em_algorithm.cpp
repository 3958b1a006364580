#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "common_sgt/Random.h"
#include "common_sgt/Settings.h"
#include "marlo/EMAlgorithm.h"
#include "marlo_test_util.h"

namespace {

using marlotest::makePhenotypes;

void setUp(EMAlgorithm& em, std::vector<Phenotype>& ph, double eps, int initMode) {
  em.eps = eps;
  em.setInitMode(initMode);
  em.setData(ph.data(), ph.empty() ? 0 : ph[0].numMarkers, static_cast<int>(ph.size()), marlotest::totalCount(ph));
}

int stepsUntilStop(std::vector<Phenotype>& ph, double eps) {
  EMAlgorithm em;
  setUp(em, ph, eps, 0);
  EXPECT_TRUE(marlotest::captureStdout([&] { return em.performEM(); }).first);
  return em.emCnt;
}
int stepsUntilStop(std::vector<Phenotype>&& ph, double eps) { return stepsUntilStop(ph, eps); }

// The estimator as the rules state it, every haplotype looked up by its text
// in an ordered map: the reference the indexed estimator must match.
struct StringKeyedEm {
  std::map<std::string, double> frequency;
  std::vector<std::vector<double>> weights;
  int emCnt = 0;

  void run(const std::vector<Phenotype>& ph, int n, double eps, int initMode) {
    const int np = static_cast<int>(ph.size());
    weights.assign(np, {});
    for (const Phenotype& p : ph)
      for (int j = 0; p.count >= 1 && j < p.numPairs; ++j) {
        frequency.emplace(p.haplotype1(j), 0.0);
        if (p.numHeterozygous > 0) frequency.emplace(p.haplotype2(j), 0.0);
      }
    if (initMode != 0) seedRandomInitialisation();
    for (int p = 0; p < np; ++p) {
      weights[p].assign(ph[p].numPairs, 1.0 / ph[p].numPairs);
      if (initMode != 0)
        for (double& w : weights[p]) w = 1.0 / (lcgNext() + 1);
    }
    std::vector<double> sums(np);
    double s1 = 0.0;
    for (const Phenotype& p : ph)
      if (p.count > 0) s1 += log(p.count * (p.count + 1.0) / 2.0);
    const double constant = log(np * (np + 1.0) / 2.0) - s1;
    emCnt = 1;
    for (double lPrev = 0.0;;) {
      for (auto& f : frequency) f.second = 0.0;
      for (int p = 0; p < np; ++p) {
        sums[p] = 0.0;
        if (ph[p].count >= 1)
          for (double w : weights[p]) sums[p] += w;
      }
      for (int p = 0; p < np; ++p) {
        if (ph[p].count < 1) continue;
        const double factor = static_cast<double>(ph[p].count) / (static_cast<double>(n) * sums[p]);
        const double m = ph[p].numHeterozygous == 0 ? 2.0 : 1.0;
        for (int j = 0; j < ph[p].numPairs; ++j) {
          weights[p][j] = weights[p][j] * factor;
          frequency[ph[p].haplotype1(j)] += m * weights[p][j] * 0.5;
          if (ph[p].numHeterozygous > 0) frequency[ph[p].haplotype2(j)] += m * weights[p][j] * 0.5;
        }
      }
      double s2 = 0.0;
      for (int p = 0; p < np; ++p)
        if (ph[p].count > 0) s2 += ph[p].count * log(sums[p]);
      const double l = constant + s2;
      if (fabs(lPrev - l) < eps) break;
      for (int p = 0; p < np; ++p)
        for (int j = 0; ph[p].count >= 1 && j < ph[p].numPairs; ++j) {
          weights[p][j] = frequency[ph[p].haplotype1(j)] * frequency[ph[p].haplotype2(j)];
          if (ph[p].numHeterozygous >= 1) weights[p][j] = weights[p][j] * 2.0;
        }
      emCnt += 1;
      lPrev = l;
      if ((np <= 4 && emCnt > 50) || emCnt > EMAlgorithm::kMaxIterations) break;
    }
    for (int p = 0; p < np; ++p) {
      if (ph[p].count <= 0) continue;
      double sum = 0.0;
      for (int j = 0; j < ph[p].numPairs; ++j) {
        weights[p][j] = frequency[ph[p].haplotype1(j)] * frequency[ph[p].haplotype2(j)];
        sum += weights[p][j];
      }
      for (double& w : weights[p]) w = w / sum;
    }
  }

  // count x posterior of every pair, once per side equal to the haplotype,
  // added in phenotype and pair order to start.
  std::map<std::string, double> expectedCounts(const std::vector<Phenotype>& ph, double start) const {
    std::map<std::string, double> total;
    for (const auto& [h, f] : frequency) total[h] = start;
    for (size_t p = 0; p < ph.size(); ++p)
      for (int j = 0; j < ph[p].numPairs; ++j) {
        total[ph[p].haplotype1(j)] += ph[p].count * weights[p][j];
        total[ph[p].haplotype2(j)] += ph[p].count * weights[p][j];
      }
    return total;
  }
};

// Random phenotypes over a few markers: two letters per marker mostly, a
// third one and N now and then.
std::vector<Phenotype> randomPhenotypes(std::mt19937& rng) {
  const int markers = 1 + rng() % 8;
  const int np = 1 + rng() % 30;
  const char letters[] = {'A', 'C', 'G', 'N'};
  std::map<std::string, int> seen;
  std::vector<std::pair<std::string, int>> spec;
  for (int p = 0; p < np; ++p) {
    std::string g;
    for (int m = 0; m < markers; ++m) {
      char a = letters[rng() % (m % 3 == 0 ? 4 : 2)], b = letters[rng() % 2];
      if (b < a) std::swap(a, b);
      g += a;
      g += b;
    }
    if (seen[g]++ == 0) spec.emplace_back(g, 1 + static_cast<int>(rng() % 5));
  }
  return makePhenotypes(spec);
}

}  // namespace

TEST(EMAlgorithm, ThreeStepsByHand) {
  // AG/CT (pairs AC|GT and GC|AT) and AA/CC, one member each, N = 2, eps 1.
  // Step 1: weights 1/2, 1/2 and 1, scaled to 1/4, 1/4, 1/2: f(AC) = 0.625,
  // f(GT) = f(GC) = f(AT) = 0.125; L = ln 3, DL = 1.0986 goes on.
  // Step 2: weights 2*0.625*0.125 = 0.15625, 2*0.125*0.125 = 0.03125 and
  // 0.625^2 = 0.390625; scaled 5/12, 1/12, 1/2: f(AC) = 17/24, f(GT) = 5/24,
  // f(GC) = f(AT) = 1/24; L = ln 3 + ln 0.1875 + ln 0.390625 = -1.5154.
  // Step 3: weights 170/576, 2/576 (sum 172/576) and 289/576; scaled 85/172,
  // 1/172 and 1/2: f(AC) = 257/344, f(GT) = 85/344, f(GC) = f(AT) = 1/344;
  // L = -0.7997, DL = 0.7157 < 1 stops. Posteriors 21845 : 1.
  auto ph = makePhenotypes({{"AGCT", 1}, {"AACC", 1}});
  EMAlgorithm em;
  setUp(em, ph, 1.0, 0);
  marlotest::Scoped<int> debug(g_debugLevel, 2);
  auto [ok, out] = marlotest::captureStdout([&] { return em.performEM(); });
  ASSERT_TRUE(ok);
  EXPECT_EQ(out, "  Initialize Freq  EM Loop  ... emCnt=3\n  Calc Freq numpheno=2\n");
  EXPECT_EQ(em.emCnt, 3);
  EXPECT_NEAR(em.likelihood, log(3.0) + log(172.0 / 576.0) + log(289.0 / 576.0), 1e-15);
  EXPECT_NEAR(em.frequencyOf("AC"), 257.0 / 344.0, 1e-15);
  EXPECT_NEAR(em.frequencyOf("GT"), 85.0 / 344.0, 1e-15);
  EXPECT_NEAR(em.frequencyOf("GC"), 1.0 / 344.0, 1e-15);
  EXPECT_NEAR(em.frequencyOf("AT"), 1.0 / 344.0, 1e-15);
  EXPECT_EQ(em.frequencyOf("TT"), 0.0);
  EXPECT_NEAR(ph[0].pairWeightSum, 172.0 / 576.0, 1e-15);
  EXPECT_NEAR(ph[1].pairWeightSum, 289.0 / 576.0, 1e-15);
  EXPECT_NEAR(ph[0].pairWeight[0], 21845.0 / 21846.0, 1e-15);
  EXPECT_NEAR(ph[0].pairWeight[1], 1.0 / 21846.0, 1e-15);
  EXPECT_EQ(ph[1].pairWeight[0], 1.0);
}

TEST(EMAlgorithm, StopRules) {
  // One phenotype, one member: L = 0 - 0 + ln 1 = 0 and DL = 0, below any
  // positive eps but not below 0: then only the cap of 50 steps ends it.
  EXPECT_EQ(stepsUntilStop(makePhenotypes({{"AGCT", 1}}), 1e-300), 1);
  EXPECT_EQ(stepsUntilStop(makePhenotypes({{"AGCT", 1}}), 0.0), 51);
  // Four phenotypes are capped; a fifth without members changes no step of
  // the estimation, only P, and the loop goes on past 50 steps.
  const std::vector<std::pair<std::string, int>> four = {{"AGCT", 3}, {"AACC", 1}, {"AGCC", 2}, {"GGTT", 1}};
  auto five = four;
  five.emplace_back("ACGT", 0);
  EXPECT_EQ(stepsUntilStop(makePhenotypes(four), 1e-300), 51);
  EXPECT_GT(stepsUntilStop(makePhenotypes(five), 1e-300), 51);
  const int steps = stepsUntilStop(makePhenotypes(four), 1e-12);
  EXPECT_LT(steps, 50);
  auto withNone = makePhenotypes(five);
  EXPECT_EQ(stepsUntilStop(withNone, 1e-12), steps);
  // Its weights are those of the start: no step touches them.
  EXPECT_EQ(withNone[4].pairWeight, (std::vector<double>{0.5, 0.5}));

  // Every loop ends at the iteration limit (its warning: the em
  // iteration_limit case).
  auto ph = makePhenotypes({{"AA", 1}, {"AC", 1}, {"CC", 1}, {"AG", 1}, {"GG", 1}});
  EMAlgorithm em;
  setUp(em, ph, 0.0, 0);
  EXPECT_TRUE(marlotest::captureStdout([&] { return em.performEM(); }).first);
  EXPECT_TRUE(em.reachedIterationLimit);
  EXPECT_EQ(em.emCnt, EMAlgorithm::kMaxIterations + 1);
}

// Same steps, frequencies and posteriors to the last bit, from an even and
// from a (reseeded) random start; expected copies from a zero total (kept
// from the run) and from a non-zero one (summed pair by pair) are the literal
// sums.
TEST(EMAlgorithm, IndexedEstimatorMatchesStringKeyedReference) {
  std::mt19937 rng(2024);
  marlotest::Scoped<bool> given(g_seedGiven, true);
  marlotest::Scoped<uint32_t> seed(g_seedValue, 0);
  const double epsValues[] = {1.0, 1e-4, 1e-9};
  for (int round = 0; round < 200; ++round) {
    auto ph = randomPhenotypes(rng);
    auto copy = ph;
    const double eps = epsValues[round % 3];
    const int initMode = round % 2;
    g_seedValue = 1000 + round;
    EMAlgorithm em;
    setUp(em, ph, eps, initMode);
    ASSERT_TRUE(em.performEM());
    StringKeyedEm reference;
    reference.run(copy, marlotest::totalCount(copy), eps, initMode);
    ASSERT_EQ(em.emCnt, reference.emCnt) << "round " << round;
    ASSERT_EQ(em.numHaplotypes(), static_cast<int>(reference.frequency.size()));
    for (const auto& [h, f] : reference.frequency) EXPECT_EQ(em.frequencyOf(h), f) << h << " round " << round;
    for (size_t p = 0; p < ph.size(); ++p) EXPECT_EQ(ph[p].pairWeight, reference.weights[p]) << "round " << round;

    const auto fromZero = reference.expectedCounts(copy, 0.0), fromHalf = reference.expectedCounts(copy, 0.5);
    int slow = 0;
    for (const auto& [h, literal] : fromZero) {
      double total = 0.0;
      em.expectedCount(h, total);
      EXPECT_EQ(total, literal) << h << " round " << round;
      if (slow++ >= 4) continue;
      total = 0.5;
      em.expectedCount(h, total);
      EXPECT_EQ(total, fromHalf.at(h)) << h << " round " << round;
    }
    double none = 0.0;
    em.expectedCount(std::string(ph[0].numMarkers, 'T'), none);
    EXPECT_EQ(none, 0.0);
  }
}

TEST(EMAlgorithm, BestPairTakesTheFirstStrictMaximum) {
  auto ph = makePhenotypes({{"AGCTGT", 1}});
  EMAlgorithm em;
  setUp(em, ph, 1.0, 0);
  ASSERT_TRUE(em.performEM());
  HaplotypePair r;
  ph[0].pairWeight = {0.3, 0.5, 0.5, 0.2};
  em.getBestPair(0, r);
  EXPECT_EQ(r.haplotype1 + "|" + r.haplotype2, "GCG|ATT");  // pair 1
  EXPECT_EQ(r.probability, 0.5);
  // All zero: pair 0 with probability 0; not-a-number never wins.
  ph[0].pairWeight = {0.0, 0.0, 0.0, 0.0};
  em.getBestPair(0, r);
  EXPECT_EQ(r.haplotype1 + "|" + r.haplotype2, "ACG|GTT");
  EXPECT_EQ(r.probability, 0.0);
  ph[0].pairWeight = {NAN, NAN, 0.1, NAN};
  em.getBestPair(0, r);
  EXPECT_EQ(r.haplotype1, "ATG");  // pair 2
  em.getBestPair(5, r);
  EXPECT_EQ(r.haplotype1, "");
  EXPECT_EQ(r.probability, 0.0);
}

namespace {

// Genotypes over 12 markers, many of them heterozygous.
std::vector<Phenotype> manyPairPhenotypes(std::mt19937& rng, int count) {
  std::map<std::string, int> seen;
  std::vector<std::pair<std::string, int>> spec;
  while (static_cast<int>(spec.size()) < count) {
    std::string g;
    for (int m = 0; m < 12; ++m) {
      const unsigned r = rng() % 10;
      g += r < 6 ? "AG" : r < 8 ? "AA" : "GG";
    }
    if (seen.count(g)) continue;
    seen[g] = 1;
    spec.emplace_back(g, 1 + static_cast<int>(rng() % 3));
  }
  return marlotest::makePhenotypes(spec);
}

}  // namespace

// The per-phenotype steps on 1, 2, 3 and 8 threads: the same steps, weights
// and frequencies to the last bit, from an even and from a random start.
TEST(EMAlgorithm, ThreadsLeaveEveryBitAlone) {
  std::mt19937 rng(16);
  marlotest::Scoped<bool> given(g_seedGiven, true);
  marlotest::Scoped<uint32_t> seed(g_seedValue, 77);
  for (int initMode : {0, 1}) {
    const auto original = manyPairPhenotypes(rng, 60);
    int64_t pairs = 0;
    for (const Phenotype& p : original) pairs += p.numPairs;
    std::vector<std::vector<double>> weights;
    std::vector<double> frequencies;
    int steps = 0;
    for (unsigned workers : {1u, 2u, 3u, 8u}) {
      auto ph = original;
      EMAlgorithm em;
      setUp(em, ph, 1e-6, initMode);
      em.workers = workers;
      em.parallelPairs = pairs;  // just reached: the threads run
      ASSERT_TRUE(em.performEM());
      std::vector<std::vector<double>> w;
      for (const Phenotype& p : ph) w.push_back(p.pairWeight);
      if (workers == 1) {
        weights = w;
        frequencies = em.frequency;
        steps = em.emCnt;
        EXPECT_GT(steps, 3);
        continue;
      }
      EXPECT_EQ(em.emCnt, steps) << workers;
      EXPECT_TRUE(em.frequency == frequencies) << workers;
      EXPECT_TRUE(w == weights) << workers;
    }
  }
}
