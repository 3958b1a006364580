#pragma once
#include <cstdio>
#include <string>
#include <vector>

#include "ld/LDBlock.h"
#include "marlo/GenoData.h"

// The block relation file (.ld.rblk) of one sample type: for each pair of
// neighbouring blocks (written by the block report, whose haplotype order
// the names refer to), the joint haplotype frequencies of the two blocks,
// estimated over their joined SNP list and normalised to sum 1, with the
// multi-allelic D' of that table. A sum of 0 (no estimate) gives rates and
// D' of 0. Fewer than two blocks write nothing.
//
// progressTask is the task index of the crossover step in the command's task
// list. False when the file is missing, a write to it fails, or some joint
// estimate could not be made (its rates are written as 0, the others as
// usual). The joint estimates run on `workers` threads; file and console
// are the same for any number of them.
bool computeCrossover(const std::vector<LDBlock>& blocks, FILE* rblk, const GenoData& data,
                      const std::string& chromosome, const std::string& sampleType, int progressTask,
                      unsigned workers = 1);
