#pragma once
#include <string>
#include <vector>

#include "ld/LDBlock.h"

// The outcome of reading a manual block list such as "1-2,6-7" (1-based SNP
// ranges; "begin" may stand for the first and "end" for the last SNP).
struct ManualBlockOutcome {
  enum class Kind {
    kBlocks,       // every item gave a block (possibly none: a list of only commas)
    kEmpty,        // no list: nothing to do
    kOneSnpRange,  // an item spans a single SNP: the sample type gets no blocks
    kAbort,        // a malformed item: the command must end with errorText
  };
  Kind kind = Kind::kEmpty;
  std::vector<LDBlock> blocks;
  std::string errorText;
};

// Reads the list for a sample type with snpCount SNPs, printing the
// messages of each step on standard output. Items are separated by ","
// and the two ends of an item by "-", empty pieces ignored. Reading stops
// at the first one-SNP range or malformed item.
ManualBlockOutcome readManualBlocks(const std::string& list, int snpCount, const std::string& sampleType);
