// hapxtab's reader of haplotype block files, with Bonferroni correction so
// that the haplotype counts are read too.
#include "FuzzSupport.h"
#include "hapxtab/HapCrossTab.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::enterScratch();
  fuzz::writeFile("in.hblk", data, size);
  std::vector<std::string> args = {"hapxtab", "in.hblk", "0.05", size > 0 ? std::to_string(data[0] % 6) : "0",
                                   "Y", "out.hcrss"};
  fuzz::Argv argv(args);
  HapCrossTab program;
  program.run(argv.argc(), argv.argv());
  return 0;
}
