// PWLD's manual block list (/LDBLKM): the SNP count from the first byte,
// the list from the rest.
#include <string>

#include "FuzzSupport.h"
#include "ld/ManualBlockList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::enterScratch();
  if (size == 0) return 0;
  const int snps = data[0];
  const std::string list(reinterpret_cast<const char*>(data + 1), size - 1);
  ManualBlockOutcome out = readManualBlocks(list, snps, "t");
  for (const LDBlock& b : out.blocks) {
    for (int s : b.snps)
      if (s < 0 || s >= snps) abort();  // a block beyond the SNPs would be read out of bounds
  }
  return 0;
}
