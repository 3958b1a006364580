// TAG1's reader of pairwise LD reports, and the tagging of what it read.
#include "FuzzSupport.h"
#include "simple_tagger/SimpleTagger.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::enterScratch();
  fuzz::writeFile("in.pwld", data, size);
  SimpleTagger tagger;
  tagger.run("in.pwld", 0.8);
  return 0;
}
