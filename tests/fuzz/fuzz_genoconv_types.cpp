// The sample types file genoconv reads with --types, applied to a fixed set
// of samples the way the converter does.
#include "FuzzSupport.h"
#include "genoio/Error.h"
#include "genoio/Samples.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::enterScratch();
  fuzz::writeFile("in.types", data, size);
  try {
    genoio::TypesFile types = genoio::TypesFile::read("in.types");
    genoio::SampleTable samples{{"S1", "S2", "S3", "S4"}, {"NA", "NA", "NA", "NA"}};
    std::vector<std::string> unknown;
    types.apply(samples, unknown, 3);
    if (samples.types.size() != samples.ids.size() || unknown.size() > 3) abort();
    genoio::countTypes(samples);
  } catch (const genoio::Error&) {
  }
  return 0;
}
