// marloplot's tab-separated readers: association reports, q-value files and
// the marker index of a genotype file. All three get the same bytes; each
// must either read them or refuse them with InputError.
#include <cmath>

#include "FuzzSupport.h"
#include "plot/AssocReader.h"
#include "plot/GenoIndex.h"
#include "plot/InputError.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::enterScratch();
  fuzz::writeFile("in.txt", data, size);
  auto checkP = [](double p) {
    if (!(p >= 0 && p <= 1)) abort();
    if (std::isnan(plot::minusLog10(p))) abort();
  };
  try {
    plot::readAssocReport("in.txt", [&](std::string_view, double p, long long) { checkP(p); });
  } catch (const plot::InputError&) {
  }
  try {
    plot::readQValues("in.txt", [&](double p, double q) {
      checkP(p);
      checkP(q);
    });
  } catch (const plot::InputError&) {
  }
  try {
    plot::GenoIndex g = plot::GenoIndex::read("in.txt");
    if (g.ids.size() != g.positions.size()) abort();
  } catch (const plot::InputError&) {
  }
  return 0;
}
