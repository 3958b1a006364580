#pragma once
#include <cstdint>
#include <vector>

#include "ld/LDBlock.h"

// Haplotype-tagging SNPs of a block: a smallest subset of its SNPs whose
// sub-haplotypes keep the Shannon entropy of the block's haplotype counts
// within the tolerance.
//
// 1. SNPs that split the block haplotypes identically or in complement to an
//    earlier SNP are dropped (the earlier one stays); what remains is the
//    provisional tag list R.
// 2. For k = |R| - 1 down to 1, every k-subset of R is examined in
//    lexicographic order; the first one with the strictly greatest entropy
//    of its merged sub-haplotype counts is the best. While the entropy lost
//    by the best (DHmax - DH) stays below the tolerance it becomes the tag
//    list and the search goes on with k - 1.
//
// The search is combinatorial. Before size k it stops when the subsets
// examined so far plus C(|R|, k) would exceed subsetLimit, keeping the list
// of size k + 1 and saying so on standard output.
//
// Fills block.tagSnps (positions within the block, ascending) and
// block.tagSnpCount; a block without haplotypes or SNPs gets no tags.
constexpr int64_t kHtsSubsetLimit = 10000000;
void selectHTS(LDBlock& block, double tolerance, int64_t subsetLimit = kHtsSubsetLimit);

// Shannon entropy (bits) of a list of counts with total T, summed in list
// order; entries of 0 add nothing.
double countEntropy(const std::vector<int64_t>& counts, double total);
