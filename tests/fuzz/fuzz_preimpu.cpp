// PREIMPU's line handling: the choice per SNP line, the position record and
// the rewrite in place (the mode from the first byte).
#include "FuzzSupport.h"
#include "impu/Impu.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::enterScratch();
  fuzz::clearScratch();
  fuzz::writeFile("in.geno", data, size);
  Impu impu;
  impu.impute("in.geno", size > 0 ? data[0] % 4 : 0);
  return 0;
}
