// marloplot's streaming reader of pairwise LD reports, for one window. The
// first input byte picks the window and type so that rows inside and outside
// it, and the "M"/only-section choice, are all reached.
#include "FuzzSupport.h"
#include "plot/InputError.h"
#include "plot/PwldReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::enterScratch();
  if (size == 0) return 0;
  const uint8_t mode = data[0];
  fuzz::writeFile("in.pwld", data + 1, size - 1);
  const long long first = mode & 3;
  const long long last = first + ((mode >> 2) & 7);
  const char* type = (mode & 0x20) ? "M" : (mode & 0x40) ? "1" : "";
  try {
    plot::LdWindow w = plot::readPwldWindow("in.pwld", type, first, last, 12);
    if (w.cells.size() != static_cast<size_t>(w.size() * (w.size() - 1) / 2)) abort();
  } catch (const plot::InputError&) {
  }
  return 0;
}
