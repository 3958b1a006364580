#pragma once

// The maximum-likelihood haplotype frequencies of two bi-allelic SNPs from
// unphased genotypes, in closed form.
//
// Input: the 3 x 3 genotype table of the individuals complete at both SNPs,
// counts[3 a + b] with a (b) = 0 for A1A1 (B1B1), 1 for A1A2 (B1B2), 2 for
// A2A2 (B2B2). Every class but the centre one (the double heterozygotes, H
// of them) fixes its two haplotypes; the H double heterozygotes are either
// A1B1/A2B2 or A1B2/A2B1. With t of them A1B1/A2B2 (0 <= t <= H, real) the
// log-likelihood is
//   x11 ln(x11 + t) + x12 ln(x12 + H - t) + x21 ln(x21 + H - t)
//     + x22 ln(x22 + t) + H ln(P11 P22 + P12 P21) + constant,
// x the haplotype counts of the other classes and P the four bracketed
// counts. Every maximum inside the interval is a fixed point of the
// phase-counting iteration, i.e. a root of the cubic
//   t (P11 P22 + P12 P21) - H P11 P22 = 0
// (integer coefficients); the global maximum over all admissible D (the
// allele frequencies being fixed by counting) lies in 0 <= t <= H.
//
// The slope of the log-likelihood is -g(t) times a positive factor, and
// g(0) = -H x11 x22 <= 0 <= g(H) = H x12 x21: the maxima on [0, H] are the
// roots where g rises, an end being one only as such a root (g(end) = 0).
//
// Contract of twoLocusMle:
// - freq = {A1B1, A1B2, A2B1, A2B2} at the global maximum: the real roots of
//   the cubic (closed form, polished by Newton's method) that lie in
//   [0, H] and where g rises are compared by a direct evaluation of the
//   log-likelihood (nothing to compare when there is one); the largest wins.
//   Points within a few rounding units of the largest value count as tied:
//   among them the one with the smallest |D| wins, then the smaller t (fewer
//   A1B1 haplotypes). So the answer depends only on the counts.
// - N = 0: freq all 0 (nothing to estimate). H = 0: the haplotype counts
//   themselves (x / 2N) without solving anything; this covers a monomorphic
//   SNP (its A2 or B2 rows are empty, their frequencies 0).
// - The frequencies sum to 1 up to rounding, are never negative and never
//   the result of a division by zero.
struct TwoLocusEstimate {
  double freq[4] = {0.0, 0.0, 0.0, 0.0};
  int numIndividuals = 0;     // N, the sum of the counts
  int doubleHeterozygous = 0;  // H
  double phaseCount = 0.0;    // t at the maximum
  int candidates = 0;         // maxima compared (0 without a cubic)
};

TwoLocusEstimate twoLocusMle(const int counts[9]);

// The log-likelihood of the genotype table under haplotype frequencies freq
// (A1B1, A1B2, A2B1, A2B2), with Hardy-Weinberg genotype probabilities:
// sum of counts[g] ln P(g); empty classes add nothing, a class of
// probability 0 with individuals makes it -infinity.
double twoLocusLogLikelihood(const int counts[9], const double freq[4]);

// The estimate in the naming of the pair computations: a SNP with a single
// allele names it both A1 and A2 (B1 and B2), so, as with the EM, its
// haplotypes appear twice among the four frequencies (which the caller then
// divides by their sum).
inline void pairFrequencies(const TwoLocusEstimate& e, bool singleFirst, bool singleSecond, double f[4]) {
  for (int k = 0; k < 4; ++k) {
    const int a = singleFirst ? 0 : k >> 1;
    const int b = singleSecond ? 0 : k & 1;
    f[k] = e.freq[2 * a + b];
  }
}
