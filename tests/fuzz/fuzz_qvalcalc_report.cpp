// qvalcalc's reader of association reports (SNP or haplotype layout, either
// p-value column, from the first byte).
#include "FuzzSupport.h"
#include "qvalcalc/QvalCalc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::enterScratch();
  fuzz::writeFile("in.crss", data, size);
  std::vector<std::string> args = {"qvalcalc", size > 0 && (data[0] & 1) ? "1" : "0", "in.crss",
                                   size > 0 && (data[0] & 2) ? "1" : "0"};
  fuzz::Argv argv(args);
  QvalCalc program;
  program.run(argv.argc(), argv.argv());
  return 0;
}
