#include "ld/PairwiseValue.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "common_sgt/Parallel.h"
#include "common_sgt/Settings.h"
#include "stats/Distributions.h"

namespace {

inline double smaller(double a, double b) { return b < a ? b : a; }

// Genotype probabilities of the nine classes under frequencies f11, f12, f21,
// f22, in class order.
inline void classProbabilities(double f11, double f12, double f21, double f22, double p[9]) {
  p[0] = f11 * f11;
  p[1] = 2.0 * f11 * f12;
  p[2] = f12 * f12;
  p[3] = 2.0 * f11 * f21;
  p[4] = 2.0 * (f11 * f22 + f12 * f21);
  p[5] = 2.0 * f12 * f22;
  p[6] = f21 * f21;
  p[7] = 2.0 * f21 * f22;
  p[8] = f22 * f22;
}

// Relative distance that certainly covers the difference between the
// complementary error function and the incomplete gamma routine at a = 1/2
// (both are accurate to a few units of 1e-13 in the range where the printed
// digits are not all zero; the unit tests compare them on millions of
// statistics). Values within it of a rounding boundary take the exact route.
constexpr double kFastPMargin = 1e-9;


// n ln(p), 0 without observations, -infinity for an impossible one.
inline double countLog(double n, double p) {
  if (n == 0.0) return 0.0;
  return p > 0.0 ? n * std::log(p) : -std::numeric_limits<double>::infinity();
}

// 2 (ln L(h) - ln L(independence)) over the nine classes, from the
// haplotype counts the classes fix, the double heterozygotes and the allele
// counts: every class probability is a product of two frequencies (times 2
// for a heterozygous class, 4 for the double heterozygote under
// independence), so nine logarithms replace eighteen. At the maximum of
// ln L(h) the ratio is never negative: rounding below 0 and a ratio that is
// not finite (frequencies that rule out an observed class) give 0.
double likelihoodRatio(const int n[9], double h11, double h12, double h21, double h22, double pA1, double pA2,
                       double pB1, double pB2) {
  const double x11 = 2.0 * n[0] + n[1] + n[3], x12 = 2.0 * n[2] + n[1] + n[5];
  const double x21 = 2.0 * n[6] + n[3] + n[7], x22 = 2.0 * n[8] + n[5] + n[7];
  const double H = n[4];
  const double cA1 = x11 + x12 + H, cA2 = x21 + x22 + H, cB1 = x11 + x21 + H, cB2 = x12 + x22 + H;
  const double s = countLog(x11, h11) + countLog(x12, h12) + countLog(x21, h21) + countLog(x22, h22) +
                   countLog(H, h11 * h22 + h12 * h21);
  const double s0 = countLog(cA1, pA1) + countLog(cA2, pA2) + countLog(cB1, pB1) + countLog(cB2, pB2);
  const double lod = 2.0 * (s - s0 - H * std::log(2.0));
  return lod > 0.0 && std::isfinite(lod) ? lod : 0.0;
}

}  // namespace

double fastChiSquareP1(double x) {
  if (!(x > 0.0) || !std::isfinite(x)) return stats::chi_square_p_checked(1, x);
  const double v = std::erfc(std::sqrt(x * 0.5));
  // "%7.5f" rounds y = v * 10^5 to an integer: v is safe when no half-integer
  // lies within the margin of y (the rounding of y and of its distance to
  // the nearest integer is far below it).
  const double y = v * 1e5;
  if (y >= 0.0 && y <= 1e6) {
    const double distance = std::fabs(y - static_cast<double>(static_cast<long long>(y + 0.5)));
    if (0.5 - distance > y * kFastPMargin + 1e-9) return v;
  }
  return stats::chi_square_p_checked(1, x);
}

void computeStatistics(PairwiseValue& v, int N, bool exactPValues, bool lodAtBoundary) {
  v.numIndividuals = N;
  if (N <= 0) {
    // Nobody is complete at both SNPs: nothing to estimate from.
    v.D = v.Dprime = v.absDprime = v.r = v.r2 = 0.0;
    v.chiSquare = v.chiSquareP = 0.0;
    v.lodStatistic = 0.0;
    v.lodP = 1.0;
    v.fourGamete = 'N';
    v.varDprime = -10000.0;
    v.minorFreq = 0.0;
    return;
  }
  const double h11 = v.hap[0], h12 = v.hap[1], h21 = v.hap[2], h22 = v.hap[3];
  const double pA1 = h11 + h12;
  const double pA2 = h21 + h22;
  const double pB1 = h11 + h21;
  const double pB2 = h12 + h22;

  const double D = h22 * h11 - h12 * h21;
  const double dmax = D > 0.0 ? smaller(pA1 * pB2, pA2 * pB1) : smaller(pA1 * pB1, pA2 * pB2);
  v.D = D;
  v.Dprime = safeDivide(D, dmax);
  v.absDprime = std::fabs(v.Dprime);
  v.r = safeDivide(D, std::sqrt(pA1 * pA2 * pB1 * pB2));
  v.r2 = v.r * v.r;

  const double twoN = 2.0 * N;
  const double observed[4] = {twoN * h11, twoN * h12, twoN * h21, twoN * h22};
  const double expected[4] = {twoN * pA1 * pB1, twoN * pA1 * pB2, twoN * pA2 * pB1, twoN * pA2 * pB2};

  if (D == 0.0) {
    if (g_debugLevel >= 2)
      consolePrintf("Cannot calc D', Determinant=0 ,p1=(%f,%f) p2=(%f,%f)\n", h11, h12, h21, h22);
    v.chiSquare = 0.0;
    v.chiSquareP = 0.0;
  } else {
    double chi = 0.0;
    for (int k = 0; k < 4; ++k) {
      const double d = observed[k] - expected[k];
      chi += safeDivide(d * d, expected[k]);
    }
    v.chiSquare = chi;
    v.chiSquareP = exactPValues ? stats::chi_square_p_checked(1, chi) : fastChiSquareP1(chi);
  }

  const double threshold = g_fourGameteThreshold;
  v.fourGamete = observed[0] >= threshold && observed[1] >= threshold && observed[2] >= threshold &&
                         observed[3] >= threshold
                     ? 'Y'
                     : 'N';

  if (lodAtBoundary) {
    v.lodStatistic = likelihoodRatio(v.genotypeCount, h11, h12, h21, h22, pA1, pA2, pB1, pB2);
  } else if (h11 == 0.0 || h12 == 0.0 || h21 == 0.0 || h22 == 0.0) {
    v.lodStatistic = 0.0;
  } else {
    double p[9], p0[9];
    classProbabilities(h11, h12, h21, h22, p);
    classProbabilities(pA1 * pB1, pA1 * pB2, pA2 * pB1, pA2 * pB2, p0);
    // Empty classes add nothing (and a vanishing probability of an empty
    // class must not turn the sum into 0 x -inf).
    double s = 0.0, s0 = 0.0;
    for (int g = 0; g < 9; ++g)
      if (v.genotypeCount[g] != 0) s += v.genotypeCount[g] * std::log(p[g]);
    for (int g = 0; g < 9; ++g)
      if (v.genotypeCount[g] != 0) s0 += v.genotypeCount[g] * std::log(p0[g]);
    v.lodStatistic = 2.0 * (s - s0);
  }
  if (v.lodStatistic < 0.0)
    v.lodP = 1.0;
  else
    v.lodP = exactPValues ? stats::chi_square_p_checked(1, v.lodStatistic) : fastChiSquareP1(v.lodStatistic);

  if (v.absDprime >= 0.999999) {
    v.varDprime = 0.0;
  } else {
    const double a = v.absDprime;
    const double varD = (pA1 * pA2 * pB1 * pB2 + D * (pA2 - pA1) * (pB2 - pB1) - D * D) / N;
    double pi;
    if (dmax == pA1 * pB1)
      pi = h11;
    else if (dmax == pA1 * pB2)
      pi = h12;
    else if (dmax == pA2 * pB1)
      pi = h21;
    else
      pi = h22;
    const double x1 = v.Dprime >= 0.0 ? pA1 * pB1 : pA1 * pB2;
    const double x2 = v.Dprime >= 0.0 ? pA2 * pB2 : pA2 * pB1;
    v.varDprime = safeDivide((1.0 - a) * (N * varD - a * dmax * (x1 + x2 - 2.0 * std::fabs(D))), N * (dmax * dmax)) +
                  a * pi * (1.0 - pi);
  }
  v.minorFreq = pA2 < pB2 ? pA2 : pB2;
}

double multiAllelicDprime(const std::vector<double>& table, int rows, int cols) {
  if (rows <= 0 || cols <= 0 || table.size() < static_cast<size_t>(rows) * static_cast<size_t>(cols)) return 0.0;
  std::vector<double> p(static_cast<size_t>(rows), 0.0), q(static_cast<size_t>(cols), 0.0);
  for (int a = 0; a < rows; ++a)
    for (int b = 0; b < cols; ++b) p[a] += table[static_cast<size_t>(a) * cols + b];
  for (int b = 0; b < cols; ++b)
    for (int a = 0; a < rows; ++a) q[b] += table[static_cast<size_t>(a) * cols + b];
  double dprime = 0.0;
  for (int a = 0; a < rows; ++a) {
    for (int b = 0; b < cols; ++b) {
      const double pq = p[a] * q[b];
      const double d = table[static_cast<size_t>(a) * cols + b] - pq;
      if (d == 0.0) continue;
      const double dmax = d < 0.0 ? smaller(pq, (1.0 - p[a]) * (1.0 - q[b])) : smaller(p[a] * (1.0 - q[b]), (1.0 - p[a]) * q[b]);
      dprime += pq * std::fabs(safeDivide(d, dmax));
    }
  }
  return dprime;
}
