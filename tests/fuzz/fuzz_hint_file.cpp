// PREFLAG's sample-hint file: appended to the report and read back to drop
// the hinted samples from the filtered file.
#include "FuzzSupport.h"
#include "hwe/Hwe.h"

namespace {
const char* const kGenotypes =
    "Marker\tChr\tPosition\tStrand\ts1\ts2\ts3\ts4\n"
    "Type\t.\t.\t.\t0\t0\t1\t1\n"
    "rs1\t10\t100\t+\tA/A\tA/G\tG/G\tN/N\n"
    "rs2\t10\t200\t+\tC/C\tC/C\tC/T\tT/T\n"
    "rs3\t10\t300\t+\tA/A\tA/A\tA/A\tA/A\n";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::enterScratch();
  fuzz::clearScratch();
  fuzz::writeText("in.geno", kGenotypes);
  fuzz::writeFile("hint.txt", data, size);
  Hwe hwe(0.1, 0.3, 0.05, 0.05, false, "out.geno", "hint.txt");
  hwe.setFlagClass("M");
  hwe.run("in.geno");
  return 0;
}
