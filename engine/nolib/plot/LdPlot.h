#pragma once
#include <string>
#include <vector>

#include "plot/BlockReader.h"
#include "plot/Canvas.h"
#include "plot/PwldReader.h"

// The LD triangle: SNP axis horizontal at the top with a position ruler,
// lines from each SNP's position to its evenly spaced column, marker names,
// then one diamond per pair hanging below, blocks outlined, and a legend.
//
// Geometry (x0, y0 the top-left corner of the triangle, w the column width,
// window-relative indices): SNP k's column is centred at x0 + (k + 0.5)·w;
// pair (i, j) is a square turned 45 degrees centred at
// (x0 + (i + j + 1)·w/2, y0 + (j − i)·w/2) with half-diagonal w/2; the
// outline of a block of SNPs a..b has corners (x0 + a·w, y0),
// (x0 + (b + 1)·w, y0) and (x0 + (a + b + 1)·w/2, y0 + (b − a + 1)·w/2).
namespace plot {

struct LdPicture {
  const LdWindow* window = nullptr;
  std::vector<std::string> names;  // of the SNPs in view
  std::vector<long long> positions;
  std::vector<LdBlock> blocks;     // file indices; clipped to the view when drawn
  bool r2 = false;
  std::string title;
  std::string chromosome;
};

struct LdLayout {
  double width = 0, height = 0;
  double x0 = 0, y0 = 0, w = 0;
  double rulerY = 0, namesTop = 0, namesBottom = 0;
  int nameStep = 1;
  bool legendBeside = true;
  double legendX = 0, legendY = 0;
};

// height 0: as tall as the triangle needs at this width.
LdLayout layoutLd(const LdPicture& picture, double width, double height);

struct LdDrawn {
  long long diamonds = 0;
  long long absent = 0;
  long long blocks = 0;
  long long blocksClipped = 0;
};

LdDrawn drawLd(Canvas& canvas, const LdPicture& picture, const LdLayout& layout);

}  // namespace plot
