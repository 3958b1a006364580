// The statistics of one pair from its haplotype frequencies and class
// counts, worked out by hand; the multi-allelic D'; and the fast chi-square
// p-value against the exact one on ten million statistics.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "common_sgt/FastFormat.h"
#include "common_sgt/Settings.h"
#include "ld/PairwiseValue.h"
#include "stats/Distributions.h"

namespace {

struct ThresholdGuard {
  double saved = g_fourGameteThreshold;
  ~ThresholdGuard() { g_fourGameteThreshold = saved; }
};

PairwiseValue withHaplotypes(double h11, double h12, double h21, double h22) {
  PairwiseValue v;
  v.hap[0] = h11;
  v.hap[1] = h12;
  v.hap[2] = h21;
  v.hap[3] = h22;
  return v;
}

TEST(PairwiseStatistics, PerfectLinkageOnlyTwoHaplotypes) {
  // Three A1A1/B1B1 and one A2A2/B2B2: h11 = 3/4, h22 = 1/4.
  PairwiseValue v = withHaplotypes(0.75, 0.0, 0.0, 0.25);
  v.genotypeCount[0] = 3;
  v.genotypeCount[8] = 1;
  computeStatistics(v, 4);
  EXPECT_DOUBLE_EQ(v.D, 0.1875);  // 0.25 x 0.75 - 0
  EXPECT_DOUBLE_EQ(v.Dprime, 1.0);
  EXPECT_DOUBLE_EQ(v.absDprime, 1.0);
  EXPECT_DOUBLE_EQ(v.r, 1.0);
  EXPECT_DOUBLE_EQ(v.r2, 1.0);
  // Observed 6, 0, 0, 2 against expected 4.5, 1.5, 1.5, 0.5 on 8 chromosomes.
  EXPECT_DOUBLE_EQ(v.chiSquare, 8.0);
  EXPECT_NEAR(v.chiSquareP, std::erfc(2.0), 1e-14);
  EXPECT_EQ(v.fourGamete, 'N');
  EXPECT_EQ(v.lodStatistic, 0.0);  // a frequency is 0
  EXPECT_EQ(v.lodP, 1.0);
  EXPECT_EQ(v.varDprime, 0.0);
  EXPECT_DOUBLE_EQ(v.minorFreq, 0.25);
  EXPECT_EQ(v.numIndividuals, 4);
}

TEST(PairwiseStatistics, NegativeDUsesTheSameAlleleProducts) {
  // pA1 0.6, pB1 0.4: D = 0.1 x 0.1 - 0.5 x 0.3 = -0.14. For D <= 0 Dmax is
  // min(pA1 pB1, pA2 pB2) = 0.24 (the other pair of products gives 0.16).
  PairwiseValue v = withHaplotypes(0.1, 0.5, 0.3, 0.1);
  computeStatistics(v, 10);
  EXPECT_NEAR(v.D, -0.14, 1e-15);
  EXPECT_NEAR(v.Dprime, -0.14 / 0.24, 1e-14);
  EXPECT_NEAR(v.absDprime, 0.14 / 0.24, 1e-14);
  EXPECT_NEAR(v.r, -0.14 / 0.24, 1e-14);  // sqrt(0.6 x 0.4 x 0.4 x 0.6) = 0.24
  EXPECT_NEAR(v.r2, (0.14 / 0.24) * (0.14 / 0.24), 1e-14);
  EXPECT_NEAR(v.minorFreq, 0.4, 1e-15);  // pA2 0.4 against pB2 0.6
}

TEST(PairwiseStatistics, PositiveDUsesTheCrossedAlleleProducts) {
  // D = 0.3 x 0.5 - 0.1 x 0.1 = 0.14; for D > 0 Dmax is min(pA1 pB2, pA2 pB1)
  // = 0.24 (not 0.16), so D' = 0.58333.
  PairwiseValue v = withHaplotypes(0.5, 0.1, 0.1, 0.3);
  computeStatistics(v, 10);
  EXPECT_NEAR(v.Dprime, 0.14 / 0.24, 1e-14);
  EXPECT_GT(v.Dprime, 0.0);
  char text[32];
  snprintf(text, sizeof text, "%7.5f", v.Dprime);
  EXPECT_STREQ(text, "0.58333");
}

TEST(PairwiseStatistics, ChiSquareAndItsPValueByHand) {
  // h = 0.5, 0.1, 0.1, 0.3 on N = 10: O = 10, 2, 2, 6; E = 7.2, 4.8, 4.8, 3.2.
  PairwiseValue v = withHaplotypes(0.5, 0.1, 0.1, 0.3);
  computeStatistics(v, 10);
  const double chi = 2.8 * 2.8 / 7.2 + 2.8 * 2.8 / 4.8 + 2.8 * 2.8 / 4.8 + 2.8 * 2.8 / 3.2;
  EXPECT_NEAR(v.chiSquare, chi, 1e-12);
  EXPECT_DOUBLE_EQ(v.chiSquareP, stats::chi_square_p_checked(1, v.chiSquare));
  EXPECT_EQ(v.fourGamete, 'Y');
}

TEST(PairwiseStatistics, LikelihoodRatioByHand) {
  PairwiseValue v = withHaplotypes(0.5, 0.1, 0.1, 0.3);
  v.genotypeCount[0] = 5;  // A1A1 B1B1: 0.25 against 0.36^2
  v.genotypeCount[4] = 2;  // double heterozygote: 2(0.15 + 0.01) against 2(0.0576 + 0.0576)
  v.genotypeCount[8] = 3;  // A2A2 B2B2: 0.09 against 0.16^2
  computeStatistics(v, 10);
  const double lod = 2.0 * (5 * std::log(0.25 / 0.1296) + 2 * std::log(0.32 / 0.2304) + 3 * std::log(0.09 / 0.0256));
  EXPECT_NEAR(v.lodStatistic, lod, 1e-9);
  EXPECT_DOUBLE_EQ(v.lodP, stats::chi_square_p_checked(1, v.lodStatistic));
}

TEST(PairwiseStatistics, LikelihoodRatioIsZeroWhenAFrequencyIsZero) {
  for (int zero = 0; zero < 4; ++zero) {
    double h[4] = {0.4, 0.3, 0.2, 0.1};
    h[zero] = 0.0;
    PairwiseValue v = withHaplotypes(h[0], h[1], h[2], h[3]);
    for (int g = 0; g < 9; ++g) v.genotypeCount[g] = g + 1;
    computeStatistics(v, 45);
    EXPECT_EQ(v.lodStatistic, 0.0) << zero;
    EXPECT_EQ(v.lodP, 1.0) << zero;
  }
}

TEST(PairwiseStatistics, FourGameteThresholdIsMetAtExactlyItsValue) {
  ThresholdGuard guard;
  // N = 1: the observed count of A1B1 is 2 x 0.005, exactly 0.01.
  ASSERT_EQ(2.0 * 0.005, 0.01);
  g_fourGameteThreshold = 0.01;
  PairwiseValue v = withHaplotypes(0.005, 0.3, 0.3, 0.395);
  computeStatistics(v, 1);
  EXPECT_EQ(v.fourGamete, 'Y');
  g_fourGameteThreshold = std::nextafter(0.01, 1.0);
  computeStatistics(v, 1);
  EXPECT_EQ(v.fourGamete, 'N');
  // /4GMT0.5: one chromosome of 2 x 0.2 is below it.
  g_fourGameteThreshold = 0.5;
  PairwiseValue w = withHaplotypes(0.2, 0.3, 0.25, 0.25);
  computeStatistics(w, 1);
  EXPECT_EQ(w.fourGamete, 'N');
  computeStatistics(w, 2);
  EXPECT_EQ(w.fourGamete, 'Y');  // 0.8, 1.2, 1.0, 1.0
}

TEST(PairwiseStatistics, VarianceOfDprimeByHand) {
  // D' = 0.58333 (D 0.14, Dmax 0.24 = pA1 pB2, so pi = h12 = 0.1), N = 10:
  // Var(D) = (0.0576 + 0.14 x 0.04 - 0.0196) / 10 = 0.00436;
  // X1 + X2 - 2|D| = 0.36 + 0.16 - 0.28 = 0.24.
  PairwiseValue v = withHaplotypes(0.5, 0.1, 0.1, 0.3);
  computeStatistics(v, 10);
  const double a = 0.14 / 0.24;
  const double expected = (1 - a) * (10 * 0.00436 - a * 0.24 * 0.24) / (10 * 0.24 * 0.24) + a * 0.1 * 0.9;
  EXPECT_NEAR(v.varDprime, expected, 1e-12);
}

TEST(PairwiseStatistics, VarianceOfDprimeIsZeroFromAlmostOne) {
  // h12 = h21 = e, h11 = h22 = 0.5 - e: D' = 1 - 4e.
  PairwiseValue above = withHaplotypes(0.5 - 2e-7, 2e-7, 2e-7, 0.5 - 2e-7);
  computeStatistics(above, 100);
  ASSERT_GE(above.absDprime, 0.999999);
  EXPECT_EQ(above.varDprime, 0.0);
  PairwiseValue below = withHaplotypes(0.5 - 3e-7, 3e-7, 3e-7, 0.5 - 3e-7);
  computeStatistics(below, 100);
  ASSERT_LT(below.absDprime, 0.999999);
  EXPECT_GT(below.varDprime, 0.2);  // |D'| pi (1 - pi) with pi near 1/2
}

TEST(PairwiseStatistics, ZeroDGivesZeroChiSquareAndZeroPValue) {
  // A monomorphic first SNP: h11 = h21 and h12 = h22.
  PairwiseValue v = withHaplotypes(0.3, 0.2, 0.3, 0.2);
  v.genotypeCount[0] = 6;
  v.genotypeCount[1] = 3;
  computeStatistics(v, 9);
  EXPECT_EQ(v.D, 0.0);
  EXPECT_EQ(v.Dprime, 0.0);
  EXPECT_EQ(v.r, 0.0);
  EXPECT_EQ(v.chiSquare, 0.0);
  EXPECT_EQ(v.chiSquareP, 0.0);
}

TEST(PairwiseStatistics, NobodyCompleteKeepsTheRecordEmpty) {
  ThresholdGuard guard;
  g_fourGameteThreshold = 0.0;  // 0 observed would meet it
  PairwiseValue v;
  computeStatistics(v, 0);
  EXPECT_EQ(v.D, 0.0);
  EXPECT_EQ(v.absDprime, 0.0);
  EXPECT_EQ(v.r2, 0.0);
  EXPECT_EQ(v.chiSquare, 0.0);
  EXPECT_EQ(v.chiSquareP, 0.0);
  EXPECT_EQ(v.lodStatistic, 0.0);
  EXPECT_EQ(v.lodP, 1.0);
  EXPECT_EQ(v.fourGamete, 'N');
  EXPECT_EQ(v.varDprime, -10000.0);
  EXPECT_EQ(v.minorFreq, 0.0);
}

TEST(PairwiseStatistics, DefaultRecord) {
  PairwiseValue v;
  EXPECT_EQ(v.fourGamete, 'N');
  EXPECT_EQ(v.varDprime, -10000.0);
  EXPECT_EQ(v.absDprime, 0.0);
  EXPECT_EQ(v.lodP, 0.0);
  EXPECT_FALSE(v.multiAllelic);
  EXPECT_EQ(safeDivide(1.0, 0.0), 0.0);
  EXPECT_EQ(safeDivide(1.0, 4.0), 0.25);
}

TEST(MultiAllelicDprime, TwoByTwoIsTheAbsoluteDprime) {
  EXPECT_NEAR(multiAllelicDprime({0.5, 0.1, 0.1, 0.3}, 2, 2), 0.14 / 0.24, 1e-14);
  EXPECT_NEAR(multiAllelicDprime({0.1, 0.5, 0.3, 0.1}, 2, 2), 0.14 / 0.24, 1e-14);
}

TEST(MultiAllelicDprime, ThreeByTwoByHand) {
  // p = 0.4, 0.4, 0.2; q = 0.5, 0.5. The first two rows: |D| 0.1 over Dmax
  // 0.2 with weight 0.2 each (0.4 in all); the third row has D = 0.
  EXPECT_NEAR(multiAllelicDprime({0.3, 0.1, 0.1, 0.3, 0.1, 0.1}, 3, 2), 0.4, 1e-12);
}

TEST(MultiAllelicDprime, EmptyRowAndDegenerateTables) {
  EXPECT_NEAR(multiAllelicDprime({0.5, 0.0, 0.0, 0.5, 0.0, 0.0}, 3, 2), 1.0, 1e-15);
  EXPECT_EQ(multiAllelicDprime({1.0}, 1, 1), 0.0);
  EXPECT_EQ(multiAllelicDprime({}, 0, 0), 0.0);
  EXPECT_EQ(multiAllelicDprime({0.0, 0.0, 0.0, 0.0}, 2, 2), 0.0);
  EXPECT_EQ(multiAllelicDprime({0.5, 0.5}, 2, 2), 0.0);  // table too short
}

// The statistic at which the exact p-value crosses a rounding boundary of
// "%7.5f", found by bisection (the p-value falls as the statistic grows).
double statisticAtBoundary(double p) {
  double lo = 0.0, hi = 100.0;
  for (int k = 0; k < 200 && lo < hi; ++k) {
    const double mid = 0.5 * (lo + hi);
    if (mid == lo || mid == hi) break;
    if (stats::chi_square_p_checked(1, mid) > p)
      lo = mid;
    else
      hi = mid;
  }
  return lo;
}

TEST(FastChiSquareP, PrintsTheExactDigitsOnTenMillionStatistics) {
#if defined(__SANITIZE_ADDRESS__)
  const long uniform = 400000, logUniform = 300000, boundaries = 10000;
#else
  const long uniform = 4000000, logUniform = 3000000, boundaries = 100000;
#endif
  const int neighbours = 15;
  std::mt19937_64 rng(42);
  std::vector<double> xs;
  xs.reserve(static_cast<size_t>(uniform + logUniform + boundaries * (2 * neighbours + 1) + 16));
  std::uniform_real_distribution<double> u(0.0, 40.0);
  for (long k = 0; k < uniform; ++k) xs.push_back(u(rng));
  std::uniform_real_distribution<double> e(std::log(1e-12), std::log(3000.0));
  for (long k = 0; k < logUniform; ++k) xs.push_back(std::exp(e(rng)));
  // Around the statistic of every rounding boundary (k + 1/2) 1e-5 of the
  // printed p-value (a sample of them under the sanitizers).
  const long step = 100000 / boundaries;
  for (long k = 0; k < 100000; k += step) {
    const double x = statisticAtBoundary((k + 0.5) * 1e-5);
    double up = x, down = x;
    xs.push_back(x);
    for (int n = 0; n < neighbours; ++n) {
      up = std::nextafter(up, 1e9);
      down = std::nextafter(down, -1.0);
      xs.push_back(up);
      xs.push_back(down);
    }
  }
  for (double x : {0.0, -0.0, -1.0, 1e-300, 5e-324, 3.841458820694124, 1e6, 1e300,
                   std::numeric_limits<double>::infinity()})
    xs.push_back(x);
  ASSERT_GE(static_cast<long>(xs.size()), uniform + logUniform + boundaries * 31);

  TextBuffer exact, fast;
  long differentBits = 0;
  for (size_t k = 0; k < xs.size(); ++k) {
    const double x = xs[k];
    const double p = stats::chi_square_p_checked(1, x);
    const double q = fastChiSquareP1(x);
    if (p != q) ++differentBits;
    exact.clear();
    fast.clear();
    exact.appendFixed(p, 5, 7);
    fast.appendFixed(q, 5, 7);
    ASSERT_EQ(exact.view(), fast.view()) << "statistic " << x;
    if (k % 97 == 0) {
      char a[64], b[64];
      snprintf(a, sizeof a, "%7.5f", p);
      snprintf(b, sizeof b, "%7.5f", q);
      ASSERT_STREQ(a, b) << "statistic " << x;
    }
  }
  // The faster evaluation did serve most statistics.
  EXPECT_GT(differentBits, static_cast<long>(xs.size()) / 4);
#if !defined(__SANITIZE_ADDRESS__)
  EXPECT_GE(xs.size(), 10000000u);
#endif
}

TEST(FastChiSquareP, SpecialStatistics) {
  EXPECT_EQ(fastChiSquareP1(0.0), 1.0);
  EXPECT_EQ(fastChiSquareP1(-3.0), 1.0);
  EXPECT_TRUE(std::isnan(fastChiSquareP1(std::nan(""))) == std::isnan(stats::chi_square_p_checked(1, std::nan(""))));
  EXPECT_EQ(fastChiSquareP1(5000.0), 0.0);
}

}  // namespace
