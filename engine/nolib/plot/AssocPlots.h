#pragma once
#include <string>
#include <vector>

#include "plot/Canvas.h"

// The Manhattan and QQ pictures. Every point is a circle: in SVG and PDF one
// per row; in PNG a disc centred on the pixel the point falls in, drawn once
// per pixel and colour (a million rows would otherwise cost seconds for
// nothing visible).
namespace plot {

// Natural order of chromosome names: 1..22 (any number, by value), X, Y,
// MT (or M), then the rest by name; a leading "chr" is ignored.
bool chromosomeBefore(const std::string& a, const std::string& b);

struct ManhattanPoint {
  int chromosome;  // index into ManhattanData::chromosomes
  long long position;
  double y;        // -log10 p
};

struct ManhattanLabel {
  ManhattanPoint point;
  std::string id;
};

struct ManhattanData {
  std::vector<std::string> chromosomes;  // in natural order
  std::vector<ManhattanPoint> points;
  std::vector<ManhattanLabel> labels;
  double level = 0.05;
  long long tests = 0;
  double bonferroniY = 0;
  bool hasFdr = false;
  double fdrY = 0;  // -log10 of the largest p with q <= level
  std::string title;
};

// Returns the number of circles drawn.
long long drawManhattan(Canvas& canvas, const ManhattanData& data);

struct QqData {
  std::vector<double> sortedP;  // ascending
  double lambda = 0;
  std::string title;
};

// The 1-df chi-square quantile of a p-value (its upper tail), through the
// normal quantile: x = Phi^-1(p/2)^2. Infinite for p = 0.
double chiSquare1Quantile(double p);
// Median of the 1-df chi-square quantiles of the p-values divided by the
// 1-df chi-square median 0.4549364; sortedP ascending and not empty.
double inflationFactor(const std::vector<double>& sortedP);
// The 95% band of the i-th smallest of m uniform p-values, as -log10:
// the 97.5% and 2.5% quantiles of Beta(i, m - i + 1).
void qqBand(long long i, long long m, double& lowerY, double& upperY);

long long drawQq(Canvas& canvas, const QqData& data);

}  // namespace plot
