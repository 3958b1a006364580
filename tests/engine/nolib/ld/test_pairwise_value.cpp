// The statistics of one pair from its haplotype frequencies and class
// counts, worked out by hand, at their thresholds and in the degenerate
// cases the reports do not show; the multi-allelic D'; and the fast
// chi-square p-value against the exact one on ten million statistics.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "common_sgt/FastFormat.h"
#include "common_sgt/Settings.h"
#include "ld/PairwiseLD.h"
#include "ld/PairwiseValue.h"
#include "stats/Distributions.h"

namespace {

struct ThresholdGuard {
  double saved = g_fourGameteThreshold;
  ~ThresholdGuard() { g_fourGameteThreshold = saved; }
};

PairwiseValue computed(double h11, double h12, double h21, double h22, int N, std::vector<int> classes = {}) {
  PairwiseValue v;
  v.hap[0] = h11;
  v.hap[1] = h12;
  v.hap[2] = h21;
  v.hap[3] = h22;
  for (size_t g = 0; g < classes.size(); ++g) v.genotypeCount[g] = classes[g];
  computeStatistics(v, N);
  return v;
}

TEST(PairwiseStatistics, ZeroFrequencyLodOnlyAtTheMaximum) {
  // AACC x3, GGTT x2, AGCC x1 (N = 6), no double heterozygote: A1B2 is never
  // seen, frequencies 7/12, 0, 1/12, 4/12 (pA1 7/12, pB1 8/12). The zero rule
  // gives LOD 0 with p-value 1; at the maximum the likelihood ratio is kept,
  // the classes with A1B2 being empty.
  const double f[4] = {7.0 / 12, 0.0, 1.0 / 12, 4.0 / 12};
  const std::vector<int> classes = {3, 0, 0, 1, 0, 0, 0, 0, 2};
  PairwiseValue rule = computed(f[0], f[1], f[2], f[3], 6, classes);
  EXPECT_EQ(rule.lodStatistic, 0.0);
  EXPECT_EQ(rule.lodP, 1.0);
  PairwiseValue v = rule;
  computeStatistics(v, 6, true, true);
  const double p0[4] = {56.0 / 144, 28.0 / 144, 40.0 / 144, 20.0 / 144};
  const double s = 3 * std::log(f[0] * f[0]) + std::log(2 * f[0] * f[2]) + 2 * std::log(f[3] * f[3]);
  const double s0 = 3 * std::log(p0[0] * p0[0]) + std::log(2 * p0[0] * p0[2]) + 2 * std::log(p0[3] * p0[3]);
  EXPECT_NEAR(v.lodStatistic, 2.0 * (s - s0), 1e-12);
  EXPECT_DOUBLE_EQ(v.lodP, stats::chi_square_p_checked(1, v.lodStatistic));
  // Everything else is the same as under the rule.
  EXPECT_EQ(v.Dprime, rule.Dprime);
  EXPECT_EQ(v.chiSquare, rule.chiSquare);
  // Frequencies that make an observed class impossible (not a maximum):
  // the ratio is not finite, and LOD falls back to 0.
  PairwiseValue w = computed(0.5, 0.0, 0.0, 0.5, 6, {3, 0, 0, 1, 0, 0, 0, 0, 2});
  computeStatistics(w, 6, true, true);
  EXPECT_EQ(w.lodStatistic, 0.0);
  EXPECT_EQ(w.lodP, 1.0);
}

TEST(PairwiseStatistics, LodFromCountsEqualsTheClassSum) {
  // The count form used with lodAtBoundary is the class sum rearranged:
  // random interior frequencies and tables, both forms to rounding.
  std::mt19937 rng(44);
  std::uniform_real_distribution<double> u(0.01, 1.0);
  std::uniform_int_distribution<int> c(0, 40);
  for (int r = 0; r < 2000; ++r) {
    double h[4], sum = 0.0;
    for (double& x : h) sum += x = u(rng);
    std::vector<int> classes(9);
    int N = 0;
    for (int& x : classes) N += x = c(rng);
    if (N == 0) continue;
    PairwiseValue a = computed(h[0] / sum, h[1] / sum, h[2] / sum, h[3] / sum, N, classes);
    PairwiseValue b = a;
    computeStatistics(b, N, true, true);
    const double expected = a.lodStatistic > 0.0 ? a.lodStatistic : 0.0;
    EXPECT_NEAR(b.lodStatistic, expected, 1e-9 * (1.0 + std::fabs(a.lodStatistic))) << r;
  }
}

TEST(PairwiseStatistics, PositiveDByHand) {
  // pA1 = pB1 = 0.6, N = 10. D = 0.3 x 0.5 - 0.1 x 0.1 = 0.14; for D > 0
  // Dmax = min(pA1 pB2, pA2 pB1) = 0.24 (the other products give 0.16).
  PairwiseValue v = computed(0.5, 0.1, 0.1, 0.3, 10, {5, 0, 0, 0, 2, 0, 0, 0, 3});
  EXPECT_NEAR(v.D, 0.14, 1e-15);
  EXPECT_NEAR(v.Dprime, 0.14 / 0.24, 1e-14);
  EXPECT_NEAR(v.r, 0.14 / 0.24, 1e-14);  // sqrt(0.6 x 0.4 x 0.6 x 0.4) = 0.24
  EXPECT_NEAR(v.minorFreq, 0.4, 1e-15);
  char text[32];
  snprintf(text, sizeof text, "%7.5f", v.Dprime);
  EXPECT_STREQ(text, "0.58333");
  // O = 10, 2, 2, 6 against E = 7.2, 4.8, 4.8, 3.2.
  EXPECT_NEAR(v.chiSquare, 2.8 * 2.8 * (1 / 7.2 + 2 / 4.8 + 1 / 3.2), 1e-12);
  EXPECT_DOUBLE_EQ(v.chiSquareP, stats::chi_square_p_checked(1, v.chiSquare));
  EXPECT_EQ(v.fourGamete, 'Y');
  // Classes A1A1B1B1 x5 (0.25 against 0.36^2), double heterozygote x2
  // (2(0.15 + 0.01) against 2(0.0576 + 0.0576)), A2A2B2B2 x3 (0.09 / 0.16^2).
  EXPECT_NEAR(v.lodStatistic,
              2.0 * (5 * std::log(0.25 / 0.1296) + 2 * std::log(0.32 / 0.2304) + 3 * std::log(0.09 / 0.0256)), 1e-9);
  EXPECT_DOUBLE_EQ(v.lodP, stats::chi_square_p_checked(1, v.lodStatistic));
  // Dmax = pA1 pB2, so pi = h12 = 0.1; Var(D) = (0.0576 + 0.14 x 0.04 -
  // 0.0196) / 10 = 0.00436; X1 + X2 - 2|D| = 0.36 + 0.16 - 0.28 = 0.24.
  const double a = 0.14 / 0.24;
  EXPECT_NEAR(v.varDprime, (1 - a) * (10 * 0.00436 - a * 0.24 * 0.24) / (10 * 0.24 * 0.24) + a * 0.1 * 0.9, 1e-12);
}

TEST(PairwiseStatistics, NegativeDKeepsItsSign) {
  // pA1 0.6, pB1 0.4: D = 0.1 x 0.1 - 0.5 x 0.3 = -0.14. For D <= 0 Dmax is
  // min(pA1 pB1, pA2 pB2) = 0.24 (the other pair of products gives 0.16).
  PairwiseValue v = computed(0.1, 0.5, 0.3, 0.1, 10);
  EXPECT_NEAR(v.D, -0.14, 1e-15);
  EXPECT_NEAR(v.Dprime, -0.14 / 0.24, 1e-14);
  EXPECT_NEAR(v.absDprime, 0.14 / 0.24, 1e-14);
  EXPECT_NEAR(v.r, -0.14 / 0.24, 1e-14);
  EXPECT_NEAR(v.r2, (0.14 / 0.24) * (0.14 / 0.24), 1e-14);
  EXPECT_NEAR(v.minorFreq, 0.4, 1e-15);  // pA2 0.4 against pB2 0.6
}

TEST(PairwiseStatistics, LikelihoodRatioIsZeroWhenAFrequencyIsZero) {
  for (int zero = 0; zero < 4; ++zero) {
    double h[4] = {0.4, 0.3, 0.2, 0.1};
    h[zero] = 0.0;
    PairwiseValue v = computed(h[0], h[1], h[2], h[3], 45, {1, 2, 3, 4, 5, 6, 7, 8, 9});
    EXPECT_EQ(v.lodStatistic, 0.0) << zero;
    EXPECT_EQ(v.lodP, 1.0) << zero;
  }
}

TEST(PairwiseStatistics, FourGameteThresholdIsMetAtExactlyItsValue) {
  ThresholdGuard guard;
  // N = 1: the observed count of A1B1 is 2 x 0.005, exactly 0.01.
  ASSERT_EQ(2.0 * 0.005, 0.01);
  g_fourGameteThreshold = 0.01;
  EXPECT_EQ(computed(0.005, 0.3, 0.3, 0.395, 1).fourGamete, 'Y');
  g_fourGameteThreshold = std::nextafter(0.01, 1.0);
  EXPECT_EQ(computed(0.005, 0.3, 0.3, 0.395, 1).fourGamete, 'N');
  // Counts, not frequencies: 0.4 chromosomes are below 0.5, 0.8 are not.
  g_fourGameteThreshold = 0.5;
  EXPECT_EQ(computed(0.2, 0.3, 0.25, 0.25, 1).fourGamete, 'N');
  EXPECT_EQ(computed(0.2, 0.3, 0.25, 0.25, 2).fourGamete, 'Y');
}

TEST(PairwiseStatistics, VarianceOfDprimeIsZeroFromAlmostOne) {
  // h12 = h21 = e, h11 = h22 = 0.5 - e: D' = 1 - 4e.
  PairwiseValue above = computed(0.5 - 2e-7, 2e-7, 2e-7, 0.5 - 2e-7, 100);
  ASSERT_GE(above.absDprime, 0.999999);
  EXPECT_EQ(above.varDprime, 0.0);
  PairwiseValue below = computed(0.5 - 3e-7, 3e-7, 3e-7, 0.5 - 3e-7, 100);
  ASSERT_LT(below.absDprime, 0.999999);
  EXPECT_GT(below.varDprime, 0.2);  // |D'| pi (1 - pi) with pi near 1/2
}

TEST(PairwiseStatistics, NobodyCompleteKeepsTheRecordEmpty) {
  ThresholdGuard guard;
  g_fourGameteThreshold = 0.0;  // 0 observed would meet it
  PairwiseValue v = computed(0.0, 0.0, 0.0, 0.0, 0);
  EXPECT_EQ(v.D, 0.0);
  EXPECT_EQ(v.absDprime, 0.0);
  EXPECT_EQ(v.chiSquareP, 0.0);
  EXPECT_EQ(v.lodP, 1.0);
  EXPECT_EQ(v.fourGamete, 'N');
  // What LD blocking reads: no bound row through this pair.
  EXPECT_EQ(v.varDprime, -10000.0);
  EXPECT_EQ(v.minorFreq, 0.0);
}

TEST(MultiAllelicDprime, TablesByHand) {
  // 2 x 2: the absolute D' of the pair, whatever its sign.
  EXPECT_NEAR(multiAllelicDprime({0.5, 0.1, 0.1, 0.3}, 2, 2), 0.14 / 0.24, 1e-14);
  EXPECT_NEAR(multiAllelicDprime({0.1, 0.5, 0.3, 0.1}, 2, 2), 0.14 / 0.24, 1e-14);
  // p = 0.4, 0.4, 0.2; q = 0.5, 0.5: the first two rows have |D| 0.1 over
  // Dmax 0.2 with weight 0.2 each; the third has D = 0.
  EXPECT_NEAR(multiAllelicDprime({0.3, 0.1, 0.1, 0.3, 0.1, 0.1}, 3, 2), 0.4, 1e-12);
  // An empty row contributes nothing (Dmax 0).
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
  for (int k = 0; k < 200; ++k) {
    const double mid = 0.5 * (lo + hi);
    if (mid == lo || mid == hi) break;
    (stats::chi_square_p_checked(1, mid) > p ? lo : hi) = mid;
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
  std::uniform_real_distribution<double> u(0.0, 40.0);
  for (long k = 0; k < uniform; ++k) xs.push_back(u(rng));
  std::uniform_real_distribution<double> e(std::log(1e-12), std::log(3000.0));
  for (long k = 0; k < logUniform; ++k) xs.push_back(std::exp(e(rng)));
  // Around the statistic of every rounding boundary (k + 1/2) 1e-5 of the
  // printed p-value (a sample of them under the sanitizers).
  for (long k = 0; k < 100000; k += 100000 / boundaries) {
    double up = statisticAtBoundary((k + 0.5) * 1e-5), down = up;
    xs.push_back(up);
    for (int n = 0; n < neighbours; ++n) {
      xs.push_back(up = std::nextafter(up, 1e9));
      xs.push_back(down = std::nextafter(down, -1.0));
    }
  }
  for (double x : {0.0, -0.0, -1.0, -3.0, 1e-300, 5e-324, 3.841458820694124, 5000.0, 1e6, 1e300,
                   std::numeric_limits<double>::infinity(), std::nan("")})
    xs.push_back(x);

  TextBuffer exact, fast;
  long differentBits = 0;
  for (size_t k = 0; k < xs.size(); ++k) {
    const double p = stats::chi_square_p_checked(1, xs[k]);
    const double q = fastChiSquareP1(xs[k]);
    if (p != q) ++differentBits;
    exact.clear();
    fast.clear();
    exact.appendFixed(p, 5, 7);
    fast.appendFixed(q, 5, 7);
    // (The formatter itself is checked against printf in its own tests.)
    ASSERT_EQ(exact.view(), fast.view()) << "statistic " << xs[k];
  }
  // The faster evaluation did serve most statistics.
  EXPECT_GT(differentBits, static_cast<long>(xs.size()) / 4);
#if !defined(__SANITIZE_ADDRESS__)
  EXPECT_GE(xs.size(), 10000000u);
#endif
}

}  // namespace

namespace {

// Both rows of a pair exactly as printf writes them, each value formatted
// on its own.
void printfRows(std::string& pwld, std::string& pwlds, long row, int i, int j, long distance, const PairwiseValue& v) {
  char text[4096];
  if (v.multiAllelic) {
    const double d = v.multiDprime < 0.0 ? -v.multiDprime : v.multiDprime;
    snprintf(text, sizeof text, "%ld\t%d\t%d\t%ld\t%7.5f\t-\t-\t-\t-\t-\tN\n", row, i, j, distance, d);
    pwld += text;
    snprintf(text, sizeof text, "%d\t%d\t%ld\t%7.5f\t-\n", i, j, distance, d);
    pwlds += text;
    return;
  }
  snprintf(text, sizeof text, "%ld\t%d\t%d\t%ld\t%7.5f\t%7.5f\t%7.5f\t%7.5f\t%7.5f\t%7.5f\t%c\n", row, i, j, distance,
           v.absDprime, v.r2, v.lodStatistic, v.lodP, v.chiSquare, v.chiSquareP, v.fourGamete);
  pwld += text;
  snprintf(text, sizeof text, "%d\t%d\t%ld\t%7.5f\t%7.5f\n", i, j, distance, v.Dprime, v.r2);
  pwlds += text;
}

std::string readAll(FILE* f) {
  std::string s;
  rewind(f);
  char block[4096];
  size_t n;
  while ((n = fread(block, 1, sizeof block, f)) > 0) s.append(block, n);
  return s;
}

}  // namespace

// The rows copy the texts both files share (the leading numbers, r2, |D'| for
// the signed D'); they must be what formatting every value anew gives, for
// values near rounding ties, negative zero and values that round to it, D'
// whose magnitude is not |D'|, large and non-finite values, through buffers
// small enough to be written out in the middle of a row.
TEST(PairRowsText, SharedTextsEqualPrintfOfEveryValue) {
  std::mt19937_64 rng(16);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const double specials[] = {0.0, -0.0, 1.0, -1.0, 0.000005, -0.000005, 0.0000049999, -0.0000049999, 0.999995,
                             -0.999995, 1e6, -1e6, 999999.999995, 1e300, -1e300,
                             std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN(),
                             std::numeric_limits<double>::denorm_min()};
  auto value = [&]() -> double {
    const double u = unit(rng);
    if (u < 0.2) return specials[rng() % (sizeof specials / sizeof specials[0])];
    if (u < 0.5) return (rng() % 2 ? -1.0 : 1.0) * (static_cast<double>(rng() % 200001) + 0.5) / 100000.0;  // ties
    if (u < 0.8) return (rng() % 2 ? -1.0 : 1.0) * unit(rng);
    return (rng() % 2 ? -1.0 : 1.0) * std::ldexp(unit(rng), static_cast<int>(rng() % 80) - 40);
  };
  for (const size_t capacity : {size_t{64}, size_t{97}, TextBuffer::kDefaultCapacity}) {
    FILE* a = tmpfile();
    FILE* b = tmpfile();
    ASSERT_TRUE(a && b);
    std::string expectedPwld, expectedPwlds;
    {
      TextBuffer pwld(capacity), pwlds(capacity);
      pwld.attach(a);
      pwlds.attach(b);
      for (int k = 0; k < 50000; ++k) {
        PairwiseValue v;
        v.Dprime = value();
        const double u = unit(rng);
        v.absDprime = u < 0.8 ? std::fabs(v.Dprime) : u < 0.9 ? -std::fabs(v.Dprime) : value();
        v.r2 = value();
        v.lodStatistic = value();
        v.lodP = value();
        v.chiSquare = value();
        v.chiSquareP = value();
        v.fourGamete = rng() % 2 ? 'Y' : 'N';
        v.multiAllelic = rng() % 10 == 0;
        v.multiDprime = value();
        const long row = static_cast<long>(rng() % 3 == 0 ? rng() : rng() % 1000);
        const int i = static_cast<int>(rng() % 3 == 0 ? rng() : rng() % 100);
        const int j = static_cast<int>(rng() % 3 == 0 ? rng() : rng() % 100);
        const long distance = static_cast<long>(rng() % 3 == 0 ? rng() : rng() % 100000);
        writePairRows(pwld, pwlds, row, i, j, distance, v);
        printfRows(expectedPwld, expectedPwlds, row, i, j, distance, v);
      }
      ASSERT_TRUE(pwld.close());
      ASSERT_TRUE(pwlds.close());
    }
    EXPECT_TRUE(readAll(a) == expectedPwld) << "pwld rows differ, capacity " << capacity;
    EXPECT_TRUE(readAll(b) == expectedPwlds) << "pwlds rows differ, capacity " << capacity;
    fclose(a);
    fclose(b);
  }
}
