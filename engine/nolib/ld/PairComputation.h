#pragma once
#include "ld/PairwiseValue.h"
#include "marlo/GenoData.h"

// The LD statistics of SNPs i < j of the sample type loaded in data, computed
// the general way: allele tables and sub-phenotypes of the two SNPs, the
// nine genotype classes, the haplotype estimator over the sub-phenotypes
// (threshold eps, random start), the normalised frequencies of A1B1, A1B2,
// A2B1 and A2B2 and their statistics; for a SNP with more than two alleles
// also the multi-allelic D' from a second estimation. Prints the pair's
// debug trace at debug level 2.
//
// With exactMle a pair of SNPs with at most two alleles each takes its four
// frequencies from the closed-form maximum-likelihood estimate of its nine
// genotype classes (no estimator runs, no random number is drawn); pairs
// with a third allele keep the estimator.
//
// This is the reference for PackedPairComputer, which must give the same
// record bit for bit (the p-values to their printed digits).
void computePairGeneral(const GenoData& data, int i, int j, double eps, PairwiseValue& value,
                        bool exactMle = false);
