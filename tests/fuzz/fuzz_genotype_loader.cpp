// The genotype file loader of EM, PLEM and PWLD: the header, then every
// sample type's SNP lines.
#include "FuzzSupport.h"
#include "marlo/GenoData.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::enterScratch();
  fuzz::writeFile("in.geno", data, size);
  GenoData g;
  if (!g.loadHeader("in.geno")) return 0;
  for (int t = 0; t <= g.m_SampleTypeTableSize; ++t) {
    const std::string name = g.sampleTypeTable[t].name;
    if (!g.loadData("in.geno", name.c_str())) break;
  }
  return 0;
}
