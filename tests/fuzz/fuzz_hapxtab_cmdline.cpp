// hapxtab's command line (one argument per input line), with small valid
// files in the scratch folder for the arguments to name: a.geno, b.hblk,
// c.crss.
#include "FuzzSupport.h"
#include "FuzzFiles.h"
#include "hapxtab/HapCrossTab.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::enterScratch();
  fuzz::writeSmallFiles();
  std::vector<std::string> args;
  if (!fuzz::argumentsOf(data, size, "hapxtab", false, args)) return 0;
  fuzz::Argv argv(args);
  HapCrossTab program;
  program.run(argv.argc(), argv.argv());
  return 0;
}
