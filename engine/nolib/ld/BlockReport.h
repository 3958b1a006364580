#pragma once
#include <cstdio>
#include <string>
#include <vector>

#include "ld/LDBlock.h"
#include "marlo/GenoData.h"

// The haplotype block file (.ld.hblk) of one sample type. For every block,
// numbered from 1 in list order: its haplotypes are estimated, its tag SNPs
// chosen with the entropy tolerance, its haplotypes ordered by count
// (largest first, equal counts in order of first appearance), and its record
// written: the three header lines, the counts, the SNP rows, one row per
// haplotype with each individual's copies in its most probable pair ("N" for
// an individual with a missing genotype in the block) and the positions with
// each individual's probability of that pair.
//
// Prints and reports "LD Blocking Result for Sample type %s :%d Blocks
// Found" first and "out of loop" last. False when the file is missing, a
// write to it fails, or the haplotypes of some block could not be estimated
// (that block is written without haplotypes, the others as usual).
// Blocks are estimated on `workers` threads; file and console are the same
// for any number of them.
bool writeBlocks(std::vector<LDBlock>& blocks, FILE* hblk, const GenoData& data, const std::string& chromosome,
                 const std::string& sampleType, double tagTolerance, unsigned workers = 1);
