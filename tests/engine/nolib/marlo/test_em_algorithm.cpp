#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "common_sgt/Random.h"
#include "common_sgt/Settings.h"
#include "marlo/EMAlgorithm.h"

namespace {

std::vector<Phenotype> makePhenotypes(const std::vector<std::pair<std::string, int>>& spec) {
  std::vector<Phenotype> ph(spec.size());
  int next = 0;
  for (size_t p = 0; p < spec.size(); ++p) {
    ph[p].setGenotype(spec[p].first, spec[p].second);
    for (int m = 0; m < spec[p].second; ++m) {
      ph[p].memberIndex[m] = next;
      ph[p].memberId[m] = "i" + std::to_string(next);
      ++next;
    }
  }
  return ph;
}

int totalCount(const std::vector<Phenotype>& ph) {
  int n = 0;
  for (const auto& p : ph) n += p.count;
  return n;
}

void setUp(EMAlgorithm& em, std::vector<Phenotype>& ph, double eps, int initMode) {
  em.eps = eps;
  em.setInitMode(initMode);
  em.setData(ph.data(), ph.empty() ? 0 : ph[0].numMarkers, static_cast<int>(ph.size()), totalCount(ph));
}

// The estimator as the rules state it, with every haplotype looked up by its
// text in an ordered map: the reference the indexed estimator must match.
struct StringKeyedEm {
  std::map<std::string, double> frequency;
  std::vector<std::vector<double>> weights;
  int emCnt = 0;

  void run(const std::vector<Phenotype>& ph, int n, double eps, int initMode) {
    const int np = static_cast<int>(ph.size());
    weights.assign(np, {});
    for (int p = 0; p < np; ++p) {
      if (ph[p].count < 1) continue;
      for (int j = 0; j < ph[p].numPairs; ++j) {
        frequency.emplace(ph[p].haplotype1(j), 0.0);
        if (ph[p].numHeterozygous > 0) frequency.emplace(ph[p].haplotype2(j), 0.0);
      }
    }
    if (initMode == 0) {
      for (int p = 0; p < np; ++p) weights[p].assign(ph[p].numPairs, 1.0 / ph[p].numPairs);
    } else {
      seedRandomInitialisation();
      for (int p = 0; p < np; ++p) {
        weights[p].assign(ph[p].numPairs, 0.0);
        for (double& w : weights[p]) w = 1.0 / (lcgNext() + 1);
      }
    }
    std::vector<double> sums(np);
    double s1 = 0.0;
    for (int p = 0; p < np; ++p)
      if (ph[p].count > 0) s1 += log(ph[p].count * (ph[p].count + 1.0) / 2.0);
    const double constant = log(np * (np + 1.0) / 2.0) - s1;
    emCnt = 1;
    double lPrev = 0.0;
    for (;;) {
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
      for (int p = 0; p < np; ++p) {
        if (ph[p].count < 1) continue;
        for (int j = 0; j < ph[p].numPairs; ++j) {
          weights[p][j] = frequency[ph[p].haplotype1(j)] * frequency[ph[p].haplotype2(j)];
          if (ph[p].numHeterozygous >= 1) weights[p][j] = weights[p][j] * 2.0;
        }
      }
      emCnt += 1;
      lPrev = l;
      if (np <= 4 && emCnt > 50) break;
      if (emCnt > EMAlgorithm::kMaxIterations) break;
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
};

// Random phenotypes over a few markers, missing letters included.
std::vector<Phenotype> randomPhenotypes(std::mt19937& rng) {
  const int markers = 1 + rng() % 8;
  const int np = 1 + rng() % 30;
  const char letters[] = {'A', 'C', 'G', 'N'};
  std::map<std::string, int> seen;
  std::vector<std::pair<std::string, int>> spec;
  for (int p = 0; p < np; ++p) {
    std::string g;
    for (int m = 0; m < markers; ++m) {
      // Two letters per marker mostly, a third one and N now and then.
      char a = letters[rng() % (m % 3 == 0 ? 4 : 2)], b = letters[rng() % 2];
      if (b < a) std::swap(a, b);
      g += a;
      g += b;
    }
    if (seen.count(g)) continue;
    seen[g] = 1;
    spec.emplace_back(g, 1 + static_cast<int>(rng() % 5));
  }
  return makePhenotypes(spec);
}

}  // namespace

TEST(EMAlgorithm, ConstructedSettings) {
  EMAlgorithm em;
  EXPECT_EQ(em.eps, 0.0001);
  EXPECT_EQ(em.initMode, 1);
  EXPECT_TRUE(em.haplotypeIds.empty());
}

TEST(EMAlgorithm, RegistrationOrderFollowsPhenotypesAndPairs) {
  auto ph = makePhenotypes({{"AGCT", 1}, {"AACC", 2}, {"GGTT", 0}});
  EMAlgorithm em;
  setUp(em, ph, 1.0, 0);
  ASSERT_TRUE(em.performEM());
  // Pair 0: AC/GT, pair 1: GC/AT; then AC again; the phenotype without
  // members registers nothing.
  ASSERT_EQ(em.numHaplotypes(), 4);
  EXPECT_EQ(em.haplotypeText(0), "AC");
  EXPECT_EQ(em.haplotypeText(1), "GT");
  EXPECT_EQ(em.haplotypeText(2), "GC");
  EXPECT_EQ(em.haplotypeText(3), "AT");
  EXPECT_EQ(em.indexOf("AT"), 3);
  EXPECT_EQ(em.indexOf("GG"), -1);
  EXPECT_EQ(em.indexOf("A"), -1);
  EXPECT_EQ(em.pairOffset, (std::vector<int64_t>{0, 2, -1}));
  EXPECT_EQ(em.pairHaplotype1, (std::vector<int>{0, 2, 0}));
  EXPECT_EQ(em.pairHaplotype2, (std::vector<int>{1, 3, 0}));
}

TEST(EMAlgorithm, OneMaximisationStepByHand) {
  // AG/CT (pairs AC|GT and GC|AT) and AA/CC, one member each, N = 2.
  // Even start: weights 1/2, 1/2 and 1; factors 1/(2*1): 0.25, 0.25, 0.5.
  // f(AC) = 0.125 + 2*0.5*0.5 = 0.625, f(GT) = f(GC) = f(AT) = 0.125.
  // L = ln(3) - 0 + 0 = 1.0986 < 10 stops; posteriors 0.078125 : 0.015625.
  auto ph = makePhenotypes({{"AGCT", 1}, {"AACC", 1}});
  EMAlgorithm em;
  setUp(em, ph, 10.0, 0);
  ASSERT_TRUE(em.performEM());
  EXPECT_EQ(em.emCnt, 1);
  EXPECT_DOUBLE_EQ(em.likelihood, log(3.0));
  EXPECT_EQ(em.frequencyOf("AC"), 0.625);
  EXPECT_EQ(em.frequencyOf("GT"), 0.125);
  EXPECT_EQ(em.frequencyOf("GC"), 0.125);
  EXPECT_EQ(em.frequencyOf("AT"), 0.125);
  EXPECT_EQ(em.frequencyOf("TT"), 0.0);
  EXPECT_DOUBLE_EQ(ph[0].pairWeight[0], 5.0 / 6.0);
  EXPECT_DOUBLE_EQ(ph[0].pairWeight[1], 1.0 / 6.0);
  EXPECT_EQ(ph[1].pairWeight[0], 1.0);
  EXPECT_EQ(ph[0].pairWeightSum, 1.0);
  EXPECT_EQ(ph[1].pairWeightSum, 1.0);
}

TEST(EMAlgorithm, ThreeStepsByHand) {
  // Same data, eps 1.0. Step 1 as above, DL = ln 3 = 1.0986 goes on.
  // Step 2: weights 2*0.625*0.125 = 0.15625, 2*0.125*0.125 = 0.03125 and
  // 0.625^2 = 0.390625; factors 1/(2*0.1875) and 1/(2*0.390625) give 5/12,
  // 1/12 and 1/2: f(AC) = 17/24, f(GT) = 5/24, f(GC) = f(AT) = 1/24;
  // L = ln 3 + ln 0.1875 + ln 0.390625 = -1.5154, DL = 2.614 goes on.
  // Step 3: weights 2*(17/24)(5/24) = 170/576, 2/576 (sum 172/576) and
  // 289/576; scaled: 85/172, 1/172 and 1/2: f(AC) = 257/344,
  // f(GT) = 85/344, f(GC) = f(AT) = 1/344;
  // L = ln 3 + ln(172/576) + ln(289/576) = -0.7997, DL = 0.7157 < 1 stops.
  // Posteriors (257/344)(85/344) : (1/344)^2 = 21845 : 1.
  auto ph = makePhenotypes({{"AGCT", 1}, {"AACC", 1}});
  EMAlgorithm em;
  setUp(em, ph, 1.0, 0);
  ASSERT_TRUE(em.performEM());
  EXPECT_EQ(em.emCnt, 3);
  EXPECT_NEAR(em.likelihood, log(3.0) + log(172.0 / 576.0) + log(289.0 / 576.0), 1e-15);
  EXPECT_NEAR(em.frequencyOf("AC"), 257.0 / 344.0, 1e-15);
  EXPECT_NEAR(em.frequencyOf("GT"), 85.0 / 344.0, 1e-15);
  EXPECT_NEAR(em.frequencyOf("GC"), 1.0 / 344.0, 1e-15);
  EXPECT_NEAR(em.frequencyOf("AT"), 1.0 / 344.0, 1e-15);
  EXPECT_NEAR(ph[0].pairWeightSum, 172.0 / 576.0, 1e-15);
  EXPECT_NEAR(ph[1].pairWeightSum, 289.0 / 576.0, 1e-15);
  EXPECT_NEAR(ph[0].pairWeight[0], 21845.0 / 21846.0, 1e-15);
  EXPECT_NEAR(ph[0].pairWeight[1], 1.0 / 21846.0, 1e-15);
  EXPECT_EQ(ph[1].pairWeight[0], 1.0);
}

TEST(EMAlgorithm, SingleMemberStopsAfterOneStepAndTheStopIsStrict) {
  // One phenotype, one member, even start: L = 0 - 0 + ln 1 = 0, DL = 0.
  auto ph = makePhenotypes({{"AGCT", 1}});
  EMAlgorithm em;
  setUp(em, ph, 1e-300, 0);
  ASSERT_TRUE(em.performEM());
  EXPECT_EQ(em.emCnt, 1);
  EXPECT_EQ(em.likelihood, 0.0);
  // DL = 0 is not below eps = 0: only the cap of 50 steps ends the loop.
  EMAlgorithm strict;
  setUp(strict, ph, 0.0, 0);
  ASSERT_TRUE(strict.performEM());
  EXPECT_EQ(strict.emCnt, 51);
  EXPECT_FALSE(strict.reachedIterationLimit);
}

TEST(EMAlgorithm, FourPhenotypesStopAfterFiftySteps) {
  auto ph = makePhenotypes({{"AGCT", 3}, {"AACC", 1}, {"AGCC", 2}, {"GGTT", 1}});
  EMAlgorithm em;
  setUp(em, ph, 1e-300, 0);
  testing::internal::CaptureStdout();
  ASSERT_TRUE(em.performEM());
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(em.emCnt, 51);
  // A fifth phenotype without members changes no step of the estimation,
  // only P: the loop then goes on past 50 steps.
  auto five = makePhenotypes({{"AGCT", 3}, {"AACC", 1}, {"AGCC", 2}, {"GGTT", 1}, {"AAAA", 0}});
  EMAlgorithm more;
  setUp(more, five, 1e-300, 0);
  testing::internal::CaptureStdout();
  ASSERT_TRUE(more.performEM());
  testing::internal::GetCapturedStdout();
  EXPECT_GT(more.emCnt, 51);
  // With a reachable threshold both stop at the same step, well before 50.
  EMAlgorithm four12, five12;
  setUp(four12, ph, 1e-12, 0);
  setUp(five12, five, 1e-12, 0);
  ASSERT_TRUE(four12.performEM());
  ASSERT_TRUE(five12.performEM());
  EXPECT_EQ(four12.emCnt, five12.emCnt);
  EXPECT_LT(four12.emCnt, 50);
  EXPECT_EQ(four12.frequency, five12.frequency);
}

TEST(EMAlgorithm, EveryLoopEndsAtTheIterationLimitWithAWarning) {
  auto ph = makePhenotypes({{"AA", 1}, {"AC", 1}, {"CC", 1}, {"AG", 1}, {"GG", 1}});
  EMAlgorithm em;
  setUp(em, ph, 0.0, 0);
  em.setLabel("case");
  testing::internal::CaptureStdout();
  ASSERT_TRUE(em.performEM());
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_TRUE(em.reachedIterationLimit);
  EXPECT_EQ(em.emCnt, EMAlgorithm::kMaxIterations + 1);
  EXPECT_EQ(out,
            "Warning: EM stopped after 100000 iterations without convergence (sample type case); the estimate of "
            "the last iteration is used\n");
}

TEST(EMAlgorithm, DebugTraces) {
  auto ph = makePhenotypes({{"AGCT", 1}, {"AACC", 1}});
  EMAlgorithm em;
  setUp(em, ph, 10.0, 0);
  g_debugLevel = 2;
  testing::internal::CaptureStdout();
  em.performEM();
  std::string out = testing::internal::GetCapturedStdout();
  g_debugLevel = 0;
  EXPECT_EQ(out, "  Initialize Freq  EM Loop  ... emCnt=1\n  Calc Freq numpheno=2\n");
}

TEST(EMAlgorithm, RandomStartIsReseededEveryTime) {
  g_seedGiven = true;
  g_seedValue = 12345;
  auto ph = makePhenotypes({{"AGCTAC", 2}, {"AACCAA", 1}, {"AGCTCC", 1}});
  EMAlgorithm em;
  setUp(em, ph, 1e9, 1);  // stops after the first step: weights scaled once
  ASSERT_TRUE(em.performEM());
  // Rebuild the first step from the generator by hand.
  lcgSeed(12345);
  std::vector<double> start;
  for (int k = 0; k < 4 + 1 + 2; ++k) start.push_back(1.0 / (lcgNext() + 1));
  const double sum0 = ((start[0] + start[1]) + start[2]) + start[3];
  EXPECT_EQ(ph[0].pairWeightSum, 0.0 + sum0);
  EXPECT_EQ(ph[1].pairWeightSum, start[4]);
  EXPECT_EQ(ph[2].pairWeightSum, start[5] + start[6]);
  auto again = makePhenotypes({{"AGCTAC", 2}, {"AACCAA", 1}, {"AGCTCC", 1}});
  EMAlgorithm second;
  setUp(second, again, 1e9, 1);
  ASSERT_TRUE(second.performEM());
  for (size_t p = 0; p < ph.size(); ++p) EXPECT_EQ(ph[p].pairWeight, again[p].pairWeight);
  g_seedGiven = false;
}

TEST(EMAlgorithm, IndexedEstimatorMatchesStringKeyedReference) {
  std::mt19937 rng(2024);
  g_seedGiven = true;
  const double epsValues[] = {1.0, 1e-4, 1e-9};
  for (int round = 0; round < 200; ++round) {
    auto ph = randomPhenotypes(rng);
    auto ref = ph;
    const int n = totalCount(ph);
    const double eps = epsValues[round % 3];
    const int initMode = round % 2;
    g_seedValue = 1000 + round;
    EMAlgorithm em;
    setUp(em, ph, eps, initMode);
    ASSERT_TRUE(em.performEM());
    StringKeyedEm reference;
    reference.run(ref, n, eps, initMode);
    ASSERT_EQ(em.emCnt, reference.emCnt) << "round " << round;
    ASSERT_EQ(em.numHaplotypes(), static_cast<int>(reference.frequency.size()));
    for (const auto& [h, f] : reference.frequency) EXPECT_EQ(em.frequencyOf(h), f) << h << " round " << round;
    for (size_t p = 0; p < ph.size(); ++p) EXPECT_EQ(ph[p].pairWeight, reference.weights[p]) << "round " << round;
  }
  g_seedGiven = false;
}

TEST(EMAlgorithm, ExpectedCountFromTheCacheEqualsTheLiteralSum) {
  std::mt19937 rng(99);
  for (int round = 0; round < 50; ++round) {
    auto ph = randomPhenotypes(rng);
    EMAlgorithm em;
    setUp(em, ph, 1e-6, 0);
    ASSERT_TRUE(em.performEM());
    for (int i = 0; i < em.numHaplotypes(); ++i) {
      const std::string h = em.haplotypeText(i);
      double literal = 0.0;
      for (const auto& p : ph)
        for (int j = 0; j < p.numPairs; ++j) {
          if (p.haplotype1(j) == h) literal += p.count * p.pairWeight[j];
          if (p.haplotype2(j) == h) literal += p.count * p.pairWeight[j];
        }
      double cached = 0.0;
      em.expectedCount(h, cached);
      EXPECT_EQ(cached, literal) << h;
      // From a non-zero total the sum is taken pair by pair.
      double start = 0.5, literalFromHalf = 0.5;
      for (const auto& p : ph)
        for (int j = 0; j < p.numPairs; ++j) {
          if (p.haplotype1(j) == h) literalFromHalf += p.count * p.pairWeight[j];
          if (p.haplotype2(j) == h) literalFromHalf += p.count * p.pairWeight[j];
        }
      em.expectedCount(h, start);
      EXPECT_EQ(start, literalFromHalf) << h;
    }
    double none = 0.0;
    em.expectedCount(std::string(ph[0].numMarkers, 'T'), none);
    EXPECT_EQ(none, 0.0);
  }
}

TEST(EMAlgorithm, ExpectedCountsSumToTwiceTheIndividuals) {
  auto ph = makePhenotypes({{"AGCT", 3}, {"AACC", 1}, {"AGCC", 2}, {"GGTT", 1}, {"AACT", 1}});
  EMAlgorithm em;
  setUp(em, ph, 1e-8, 0);
  ASSERT_TRUE(em.performEM());
  double total = 0.0;
  for (int i = 0; i < em.numHaplotypes(); ++i) {
    const std::string h = em.haplotypeText(i);
    double c = 0.0;
    em.expectedCount(h, c);
    total += c;
  }
  EXPECT_NEAR(total, 16.0, 1e-12);
  double f = 0.0;
  for (double x : em.frequency) f += x;
  EXPECT_NEAR(f, 1.0, 1e-12);
}

TEST(EMAlgorithm, BestPairTakesTheFirstStrictMaximum) {
  auto ph = makePhenotypes({{"AGCTGT", 1}});
  EMAlgorithm em;
  setUp(em, ph, 1.0, 0);
  ASSERT_TRUE(em.performEM());
  HaplotypePair r;
  ph[0].pairWeight = {0.3, 0.5, 0.5, 0.2};
  em.getBestPair(0, r);
  EXPECT_EQ(r.haplotype1, ph[0].haplotype1(1));
  EXPECT_EQ(r.haplotype2, ph[0].haplotype2(1));
  EXPECT_EQ(r.probability, 0.5);
  ph[0].pairWeight = {0.0, 0.0, 0.0, 0.0};
  em.getBestPair(0, r);
  EXPECT_EQ(r.haplotype1, "ACG");
  EXPECT_EQ(r.haplotype2, "GTT");
  EXPECT_EQ(r.probability, 0.0);
  ph[0].pairWeight = {NAN, NAN, 0.1, NAN};
  em.getBestPair(0, r);
  EXPECT_EQ(r.haplotype1, ph[0].haplotype1(2));
  em.getBestPair(5, r);
  EXPECT_EQ(r.haplotype1, "");
  EXPECT_EQ(r.probability, 0.0);
}

TEST(EMAlgorithm, RefusesPairCountsThatCannotBeEnumerated) {
  std::string g;
  for (int m = 0; m < 40; ++m) g += "AG";
  std::vector<Phenotype> big(1);
  big[0].setGenotype(g, 1);
  EMAlgorithm em;
  em.setData(big.data(), 40, 1, 1);
  testing::internal::CaptureStdout();
  EXPECT_FALSE(em.performEM());
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out,
            "EMAlgorithm: phenotype #0 has 40 heterozygous markers; its 2^39 candidate haplotype pairs cannot be "
            "enumerated\n");
  EXPECT_TRUE(big[0].pairWeight.empty());
}
