// marloplot's reader of block reports (.ld.hblk).
#include "FuzzSupport.h"
#include "plot/BlockReader.h"
#include "plot/InputError.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::enterScratch();
  fuzz::writeFile("in.ld.hblk", data, size);
  try {
    plot::BlockReport r = plot::readBlocks("in.ld.hblk", "M");
    for (const plot::LdBlock& b : r.blocks) {
      // A block without a SNP_ID line has indices only.
      if (!b.ids.empty() && b.ids.size() != b.snps.size()) abort();
      for (size_t i = 1; i < b.snps.size(); ++i)
        if (b.snps[i] <= b.snps[i - 1]) abort();
    }
  } catch (const plot::InputError&) {
  }
  return 0;
}
