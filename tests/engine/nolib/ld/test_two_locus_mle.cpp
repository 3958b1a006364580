// The closed-form two-locus estimate: hand-worked tables (no double
// heterozygote, perfect linkage, only double heterozygotes, a likelihood with
// two maxima, empty and monomorphic tables), then random tables of every size
// against a fine search over the admissible D and against the EM estimator.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "ld/TwoLocusMle.h"
#include "marlo/EMAlgorithm.h"
#include "marlo/Phenotype.h"

namespace {

// Frequencies on the line of the sample allele frequencies: A1B1 = p.
void onLine(const int n[9], double p, double f[4]) {
  const double twoN = 2.0 * (n[0] + n[1] + n[2] + n[3] + n[4] + n[5] + n[6] + n[7] + n[8]);
  const double a = (2.0 * (n[0] + n[1] + n[2]) + n[3] + n[4] + n[5]) / twoN;
  const double b = (2.0 * (n[0] + n[3] + n[6]) + n[1] + n[4] + n[7]) / twoN;
  f[0] = p;
  f[1] = a - p;
  f[2] = b - p;
  f[3] = 1.0 - a - b + p;
}

// The largest log-likelihood over A1B1 in the admissible range: a grid of
// 4001 points, then a golden-section search in the cells around the best.
double gridMaximum(const int n[9]) {
  double f[4];
  onLine(n, 0.0, f);
  const double a = f[1], b = f[2];
  const double lo = std::max(0.0, a + b - 1.0), hi = std::min(a, b);
  auto ll = [&](double p) {
    onLine(n, p, f);
    for (double& x : f) x = std::max(x, 0.0);
    return twoLocusLogLikelihood(n, f);
  };
  constexpr int kSteps = 4000;
  int bestK = 0;
  double best = -INFINITY;
  for (int k = 0; k <= kSteps; ++k) {
    const double v = ll(lo + (hi - lo) * k / kSteps);
    if (v > best) {
      best = v;
      bestK = k;
    }
  }
  double x0 = lo + (hi - lo) * std::max(bestK - 1, 0) / kSteps;
  double x1 = lo + (hi - lo) * std::min(bestK + 1, kSteps) / kSteps;
  const double r = (std::sqrt(5.0) - 1.0) / 2.0;
  for (int it = 0; it < 80; ++it) {
    const double c = x1 - r * (x1 - x0), d = x0 + r * (x1 - x0);
    if (ll(c) >= ll(d))
      x1 = d;
    else
      x0 = c;
  }
  return std::max(best, ll(0.5 * (x0 + x1)));
}

// The general EM estimator over the table (alleles A/G and C/T, even
// starting weights): frequencies of AC, AT, GC, GT.
void emEstimate(const int n[9], double eps, double f[4]) {
  const char* first[3] = {"AA", "AG", "GG"};
  const char* second[3] = {"CC", "CT", "TT"};
  std::vector<Phenotype> records;
  int total = 0;
  for (int g = 0; g < 9; ++g) {
    if (n[g] == 0) continue;
    Phenotype p;
    p.setGenotype(std::string(first[g / 3]) + second[g % 3], n[g]);
    records.push_back(p);
    total += n[g];
  }
  EMAlgorithm em;
  em.setInitMode(0);
  em.eps = eps;
  em.setData(records.data(), 2, static_cast<int>(records.size()), total);
  testing::internal::CaptureStdout();
  ASSERT_TRUE(em.performEM());
  testing::internal::GetCapturedStdout();
  const char* haps[4] = {"AC", "AT", "GC", "GT"};
  double sum = 0.0;
  for (int k = 0; k < 4; ++k) sum += f[k] = em.frequencyOf(haps[k]);
  for (int k = 0; k < 4; ++k) f[k] /= sum;
}

TEST(TwoLocusMleHand, WithoutDoubleHeterozygotesItCountsHaplotypes) {
  // x11 = 2*3 + 2 + 1, x12 = 0 + 2 + 1, x21 = 0 + 1 + 2, x22 = 2*4 + 1 + 2 of 26.
  const int n[9] = {3, 2, 0, 1, 0, 1, 0, 2, 4};
  const TwoLocusEstimate e = twoLocusMle(n);
  EXPECT_EQ(e.numIndividuals, 13);
  EXPECT_EQ(e.doubleHeterozygous, 0);
  EXPECT_EQ(e.candidates, 0);
  EXPECT_EQ(e.freq[0], 9.0 / 26);
  EXPECT_EQ(e.freq[1], 3.0 / 26);
  EXPECT_EQ(e.freq[2], 3.0 / 26);
  EXPECT_EQ(e.freq[3], 11.0 / 26);
}

TEST(TwoLocusMleHand, PerfectLinkageEndsAtTheBoundary) {
  // 5 A1B1/A1B1, 10 double heterozygotes, 5 A2B2/A2B2: the slope of the
  // log-likelihood at t = H is 20/20 + 10 * 40/400 = 2 > 0, so all ten are
  // A1B1/A2B2 and only two haplotypes remain.
  const int n[9] = {5, 0, 0, 0, 10, 0, 0, 0, 5};
  const TwoLocusEstimate e = twoLocusMle(n);
  EXPECT_EQ(e.phaseCount, 10.0);
  EXPECT_EQ(e.freq[0], 0.5);
  EXPECT_EQ(e.freq[1], 0.0);
  EXPECT_EQ(e.freq[2], 0.0);
  EXPECT_EQ(e.freq[3], 0.5);
  // Mirror image: the repulsion phase, t = 0.
  const int m[9] = {0, 0, 5, 0, 10, 0, 5, 0, 0};
  const TwoLocusEstimate r = twoLocusMle(m);
  EXPECT_EQ(r.phaseCount, 0.0);
  EXPECT_EQ(r.freq[0], 0.0);
  EXPECT_EQ(r.freq[1], 0.5);
  EXPECT_EQ(r.freq[2], 0.5);
  EXPECT_EQ(r.freq[3], 0.0);
}

TEST(TwoLocusMleHand, OnlyDoubleHeterozygotesTieToTheSmallerT) {
  // The likelihood 7 ln(t^2 + (7 - t)^2) is largest at both ends, equally;
  // |D| is the same at both, so the smaller t (no A1B1) is taken.
  const int n[9] = {0, 0, 0, 0, 7, 0, 0, 0, 0};
  const TwoLocusEstimate e = twoLocusMle(n);
  EXPECT_EQ(e.phaseCount, 0.0);
  EXPECT_EQ(e.freq[0], 0.0);
  EXPECT_EQ(e.freq[1], 0.5);
  EXPECT_EQ(e.freq[2], 0.5);
  EXPECT_EQ(e.freq[3], 0.0);
}

TEST(TwoLocusMleHand, TwoMaximaTheGlobalOneIsChosen) {
  // x11 = 1, x12 = 2, x21 = 2, x22 = 3, H = 6: the cubic
  // 2t^3 - 18t^2 + 43t - 18 has the roots 0.52877 (global maximum), 3.27657
  // (minimum) and 5.19466 (local maximum), all inside [0, 6].
  const int n[9] = {0, 0, 0, 1, 6, 2, 0, 1, 0};
  const TwoLocusEstimate e = twoLocusMle(n);
  EXPECT_EQ(e.candidates, 2);  // the minimum is no candidate
  const double t = 0.52876855965751066;
  EXPECT_NEAR(e.phaseCount, t, 1e-14);
  EXPECT_NEAR(e.freq[0], (1 + t) / 20, 1e-15);
  EXPECT_NEAR(e.freq[1], (8 - t) / 20, 1e-15);
  EXPECT_NEAR(e.freq[2], (8 - t) / 20, 1e-15);
  EXPECT_NEAR(e.freq[3], (3 + t) / 20, 1e-15);
  // Started at the other end, phase counting climbs the lower hill.
  double s = 6.0;
  for (int k = 0; k < 200; ++k) {
    const double a = (1 + s) * (3 + s), b = (8 - s) * (8 - s);
    s = 6.0 * a / (a + b);
  }
  EXPECT_NEAR(s, 5.1946576255106773, 1e-9);
  const double local[4] = {(1 + s) / 20, (8 - s) / 20, (8 - s) / 20, (3 + s) / 20};
  EXPECT_GT(twoLocusLogLikelihood(n, e.freq), twoLocusLogLikelihood(n, local) + 0.2);
}

TEST(TwoLocusMleHand, EmptyAndMonomorphicTables) {
  const int none[9] = {};
  const TwoLocusEstimate z = twoLocusMle(none);
  EXPECT_EQ(z.numIndividuals, 0);
  for (double f : z.freq) EXPECT_EQ(f, 0.0);
  // First SNP monomorphic: only the A1A1 row; x11 = 2*3 + 4, x12 = 4 + 2*2.
  const int mono[9] = {3, 4, 2, 0, 0, 0, 0, 0, 0};
  const TwoLocusEstimate m = twoLocusMle(mono);
  EXPECT_EQ(m.freq[0], 10.0 / 18);
  EXPECT_EQ(m.freq[1], 8.0 / 18);
  EXPECT_EQ(m.freq[2], 0.0);
  EXPECT_EQ(m.freq[3], 0.0);
  // A single individual, doubly heterozygous: both phases tie.
  const int one[9] = {0, 0, 0, 0, 1, 0, 0, 0, 0};
  const TwoLocusEstimate o = twoLocusMle(one);
  EXPECT_EQ(o.freq[1], 0.5);
  EXPECT_EQ(o.freq[2], 0.5);
}

// A random table: haplotype frequencies (sometimes with a rare allele or in
// strong LD), N individuals drawn under Hardy-Weinberg; or a constructed one
// with few phase-known haplotypes and many double heterozygotes, where the
// likelihood can have two maxima.
void randomTable(std::mt19937& rng, int N, int n[9]) {
  std::uniform_real_distribution<double> u(0.0, 1.0);
  for (int g = 0; g < 9; ++g) n[g] = 0;
  const int kind = static_cast<int>(u(rng) * 4);
  if (kind == 3) {
    std::uniform_int_distribution<int> small(0, 3);
    for (int g = 0; g < 9; ++g) n[g] = g == 4 ? 0 : small(rng) * (u(rng) < 0.6 ? 1 : 0);
    n[4] = std::max(1, N / 2 + static_cast<int>(u(rng) * N));
    return;
  }
  double f[4];
  double s = 0.0;
  for (double& x : f) s += x = -std::log(1.0 - u(rng));
  for (double& x : f) x /= s;
  if (kind == 1) {  // a rare allele at the second SNP
    const double rare = u(rng) * 0.02;
    const double a = f[0] + f[1];
    f[0] = a * (1.0 - rare);
    f[1] = a * rare;
    f[2] = (1.0 - a) * (1.0 - rare * u(rng));
    f[3] = 1.0 - f[0] - f[1] - f[2];
  } else if (kind == 2) {  // strong LD: one haplotype nearly absent
    f[static_cast<int>(u(rng) * 4)] *= 0.01;
    s = f[0] + f[1] + f[2] + f[3];
    for (double& x : f) x /= s;
  }
  // Multinomial over the nine classes, one binomial draw per class.
  const double p[9] = {f[0] * f[0], 2 * f[0] * f[1], f[1] * f[1], 2 * f[0] * f[2], 2 * (f[0] * f[3] + f[1] * f[2]),
                       2 * f[1] * f[3], f[2] * f[2], 2 * f[2] * f[3], f[3] * f[3]};
  int left = N;
  double mass = 1.0;
  for (int g = 0; g < 8 && left > 0; ++g) {
    const double q = mass > 0.0 ? std::min(1.0, std::max(0.0, p[g] / mass)) : 1.0;
    n[g] = std::binomial_distribution<int>(left, q)(rng);
    left -= n[g];
    mass -= p[g];
  }
  n[8] += left;
}

TEST(TwoLocusMleRandom, AtLeastTheFineSearchAndTheEm) {
  std::mt19937 rng(18);
  int tables = 0, emBelow = 0, severalRoots = 0;
  const int sizes[] = {1, 2, 3, 5, 8, 12, 20, 40, 90, 300, 2000, 20000};
  for (int N : sizes) {
    for (int r = 0; r < 60; ++r) {
      int n[9];
      randomTable(rng, N, n);
      const TwoLocusEstimate e = twoLocusMle(n);
      const std::string where = "table " + std::to_string(N) + "/" + std::to_string(r) + " {" +
                                [&] {
                                  std::string s;
                                  for (int g = 0; g < 9; ++g) s += std::to_string(n[g]) + (g < 8 ? "," : "}");
                                  return s;
                                }();
      // Non-negative, summing to 1, on the sample allele frequencies.
      double line[4];
      onLine(n, e.freq[0], line);
      for (int k = 0; k < 4; ++k) {
        EXPECT_GE(e.freq[k], 0.0) << where;
        EXPECT_NEAR(e.freq[k], line[k], 1e-12) << where;
      }
      const double mle = twoLocusLogLikelihood(n, e.freq);
      const double grid = gridMaximum(n);
      double em[4];
      emEstimate(n, 1e-10, em);
      const double emValue = twoLocusLogLikelihood(n, em);
      ASSERT_TRUE(std::isfinite(mle)) << where;
      EXPECT_GE(mle, grid - 1e-9) << where << " grid " << grid << " mle " << mle;
      EXPECT_GE(mle, emValue - 1e-9) << where << " em " << emValue << " mle " << mle;
      ++tables;
      emBelow += mle > emValue + 1e-6;
      severalRoots += e.candidates >= 2;
    }
  }
  EXPECT_EQ(tables, 720);
  // The constructed tables must have reached the cases the closed form is
  // for: two maxima inside the interval, and an EM left on a lower hill.
  EXPECT_GT(severalRoots, 20);
  EXPECT_GT(emBelow, 0);
}

TEST(TwoLocusMleRandom, LargeTablesKeepTheirPrecision) {
  // N in the millions: the cubic's coefficients reach 1e19; the answer must
  // still beat the fine search to the rounding of the log-likelihood.
  std::mt19937 rng(1818);
  for (int r = 0; r < 40; ++r) {
    int n[9];
    randomTable(rng, 3000000, n);
    const TwoLocusEstimate e = twoLocusMle(n);
    const double mle = twoLocusLogLikelihood(n, e.freq);
    const double grid = gridMaximum(n);
    EXPECT_GE(mle, grid - 1e-13 * std::fabs(grid)) << r << " grid " << grid << " mle " << mle;
    double s = 0.0;
    for (double f : e.freq) s += f;
    EXPECT_NEAR(s, 1.0, 1e-14);
  }
}

}  // namespace
