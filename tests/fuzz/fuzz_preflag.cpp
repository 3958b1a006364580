// PREFLAG's line handling: every pass over the genotype file, the report and
// the filtered file (with a flag class taken from the first byte).
#include "FuzzSupport.h"
#include "hwe/Hwe.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::enterScratch();
  fuzz::clearScratch();
  const char* classes[] = {"M", "0", "1", "x"};
  const char* flagClass = size > 0 ? classes[data[0] % 4] : "M";
  fuzz::writeFile("in.geno", data, size);
  Hwe hwe(0.1, 0.3, 0.05, 0.05, size > 1 && (data[1] & 1), "out.geno", "");
  hwe.setFlagClass(flagClass);
  hwe.run("in.geno");
  return 0;
}
