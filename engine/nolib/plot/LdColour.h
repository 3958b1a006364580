#pragma once
#include "plot/Canvas.h"
#include "plot/PwldReader.h"

// Colours of the LD heatmap.
//
// |D'| scheme: the report's LOD column is the likelihood-ratio chi-square,
// 2·ln of the likelihood ratio, so "LOD >= 2" of the field's log10 scale is
// "column >= 4·ln 10" (about 9.2103), compared on the printed value. |D'| = 1
// means the printed 1.00000.
//   |D'| = 1, LOD >= 2  bright red          |D'| = 1, LOD < 2  blue
//   |D'| < 1, LOD >= 2  pink to red by |D'| |D'| < 1, LOD < 2  white
// A multi-allelic pair ("-" LOD) counts as LOD < 2.
// r2 scheme: white (0) to black (1) in 101 steps of r2·100 rounded; a pair
// without an r2 ("-") is drawn as absent.
namespace plot {

enum class DprimeClass { kStrongComplete, kStrongPartial, kWeakComplete, kWeakPartial };

double lodThreshold();
DprimeClass classifyDprime(const LdCell& cell);
// Colour as 0xRRGGBB, so that cells of one colour can be filled together.
unsigned dprimeColour(const LdCell& cell);
unsigned r2Colour(double r2);
// Absent pairs: a colour neither scheme uses.
constexpr unsigned kGapColour = 0xD8D0B0;
Rgb toRgb(unsigned colour);

}  // namespace plot
