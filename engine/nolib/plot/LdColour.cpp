#include "plot/LdColour.h"

#include <algorithm>
#include <cmath>

namespace plot {

double lodThreshold() { return 4.0 * std::log(10.0); }

DprimeClass classifyDprime(const LdCell& cell) {
  bool strong = (cell.flags & LdCell::kLodKnown) && cell.lod >= lodThreshold();
  bool complete = cell.dprime == 1.0f;
  if (strong) return complete ? DprimeClass::kStrongComplete : DprimeClass::kStrongPartial;
  return complete ? DprimeClass::kWeakComplete : DprimeClass::kWeakPartial;
}

unsigned dprimeColour(const LdCell& cell) {
  switch (classifyDprime(cell)) {
    case DprimeClass::kStrongComplete:
      return 0xFF0000;
    case DprimeClass::kWeakComplete:
      return 0xC0C0FF;
    case DprimeClass::kWeakPartial:
      return 0xFFFFFF;
    case DprimeClass::kStrongPartial:
      break;
  }
  // Pale pink at |D'| = 0 to deep red just below 1, never the bright red of
  // |D'| = 1.
  int level = std::clamp(static_cast<int>(std::lround(cell.dprime * 100.0)), 0, 99);
  unsigned gb = static_cast<unsigned>(223 - (192 * level) / 100);
  return 0xFF0000u | (gb << 8) | gb;
}

unsigned r2Colour(double r2) {
  int level = std::clamp(static_cast<int>(std::lround(r2 * 100.0)), 0, 100);
  unsigned grey = static_cast<unsigned>(255 - (255 * level) / 100);
  return (grey << 16) | (grey << 8) | grey;
}

Rgb toRgb(unsigned colour) {
  return rgb255(static_cast<int>((colour >> 16) & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                static_cast<int>(colour & 0xFF));
}

}  // namespace plot
