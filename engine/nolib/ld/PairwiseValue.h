#pragma once
#include <vector>

// LD statistics of one SNP pair (first SNP alleles A1/A2, second SNP B1/B2,
// in allele-table order). Haplotype frequencies hap[] are h11 (A1B1), h12
// (A1B2), h21 (A2B1), h22 (A2B2).
struct PairwiseValue {
  double D = 0.0;
  double Dprime = 0.0;  // signed
  double absDprime = 0.0;
  double r = 0.0;
  double r2 = 0.0;
  double chiSquare = 0.0;
  double chiSquareP = 0.0;
  char fourGamete = 'N';
  int genotypeCount[9] = {};  // individuals per class g = 3 x (first SNP) + (second SNP)
  double lodStatistic = 0.0;   // likelihood-ratio statistic ("LOD" column)
  double lodP = 0.0;
  double varDprime = -10000.0;
  double minorFreq = 0.0;  // min(pA2, pB2)
  double hap[4] = {};

  // Individuals counted in the nine classes (N).
  int numIndividuals = 0;
  // Either SNP has more than two alleles and at least one individual is
  // complete at both: the pair is reported by multiDprime alone.
  bool multiAllelic = false;
  double multiDprime = 0.0;
};

// x / y, or 0 when y is exactly 0.
inline double safeDivide(double x, double y) { return y == 0.0 ? 0.0 : x / y; }

// Fills every statistic of value from value.hap and value.genotypeCount for N
// individuals (N is also stored in value.numIndividuals). With N = 0 nothing
// is estimated: the frequencies stay 0, chi-square and its p-value 0, LOD 0
// with p-value 1.0, four-gamete "N", varDprime -10000 and minorFreq 0.
//
// The p-values come from chi_square_p_checked. With exactPValues = false
// they come from a faster evaluation whose "%7.5f" text is the same as that
// of the exact value (see fastChiSquareP1 below); the other fields are
// computed identically in both cases.
//
// A frequency of exactly 0 makes the LOD 0 (p-value 1), unless
// lodAtBoundary: frequencies at the maximum of the likelihood (TwoLocusMle.h)
// reach 0 on the boundary (|D'| = 1), where every class they make impossible
// is empty, so the likelihood ratio is still defined. It is then computed
// from the haplotype and allele counts (the same value, fewer logarithms),
// and is 0 when below 0 or not finite.
void computeStatistics(PairwiseValue& value, int N, bool exactPValues = true, bool lodAtBoundary = false);

// The upper-tail chi-square probability with one degree of freedom, as a
// value whose "%7.5f" text equals that of chi_square_p_checked(1, x): from
// the complementary error function, or from the exact routine whenever the
// faster value lies near a rounding boundary of that format.
double fastChiSquareP1(double x);

// D' of a table of haplotype frequencies (row-major, rows x cols; rows are
// the alleles of one locus, columns those of the other): the sum over the
// cells of p(a) q(b) |D(ab) / Dmax(ab)| with D(ab) = h(ab) - p(a) q(b),
// Dmax(ab) = min(p q, (1 - p)(1 - q)) for D < 0 and min(p (1 - q), (1 - p) q)
// for D > 0; cells with D = 0, or with Dmax = 0, contribute 0.
double multiAllelicDprime(const std::vector<double>& table, int rows, int cols);
