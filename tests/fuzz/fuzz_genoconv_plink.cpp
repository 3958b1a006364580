// genoconv's PLINK fileset reader. The input holds the three files one after
// the other, .fam, .bim, then the binary .bed, separated by lines "@@"; the
// reader must refuse every disagreement between them (sizes, counts, short
// lines) with genoio::Error.
#include <string_view>

#include "FuzzSupport.h"
#include "genoconv/Convert.h"
#include "genoio/Error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::enterScratch();
  static FILE* quiet = fopen("/dev/null", "w");
  fuzz::clearScratch();
  std::string_view all(reinterpret_cast<const char*>(data), size);
  const std::string_view sep = "\n@@\n";
  size_t a = all.find(sep);
  if (a == std::string_view::npos) return 0;
  size_t b = all.find(sep, a + sep.size());
  if (b == std::string_view::npos) return 0;
  fuzz::writeText("in.fam", std::string(all.substr(0, a + 1)));
  fuzz::writeText("in.bim", std::string(all.substr(a + sep.size(), b + 1 - a - sep.size())));
  fuzz::writeText("in.bed", std::string(all.substr(b + sep.size())));
  genoconv::Options options;
  options.bfile = "in";
  options.out = "out";
  try {
    genoconv::convert(options, quiet);
  } catch (const genoio::Error&) {
  }
  return 0;
}
