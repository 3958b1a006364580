#include "xtab/AssociationTest.h"

#include <cmath>

#include "stats/Distributions.h"

namespace xtab {

namespace {
const char* const kModelNames[kModelCount] = {"Additive", "CoDominant1", "CoDominant2",
                                              "Dominant", "Recessive",   "OverDominant"};
constexpr double kSmallExpected = 5.0;
constexpr double kYates = 0.5;
}  // namespace

const char* modelName(int model) {
  if (model < 0 || model >= kModelCount) return nullptr;
  return kModelNames[model];
}

bool usesGenotypeTable(int model) { return model == kCoDominant1 || model == kCoDominant2; }

ExposureTable exposureTable(int model, const GenotypeCounts& g) {
  ExposureTable t;
  // Row class 1 from index 1, row class 0 from index 0.
  double* exposed[2] = {&t.c, &t.a};
  double* unexposed[2] = {&t.d, &t.b};
  for (int k = 0; k < 2; ++k) {
    double rr = g.rr[k], ro = g.ro[k], oo = g.oo[k];
    switch (model) {
      case kAdditive:
        *exposed[k] = 2.0 * rr + ro;
        *unexposed[k] = 2.0 * oo + ro;
        break;
      case kCoDominant1:
        *exposed[k] = rr;
        *unexposed[k] = oo;
        break;
      case kCoDominant2:
        *exposed[k] = ro;
        *unexposed[k] = oo;
        break;
      case kDominant:
        *exposed[k] = rr + ro;
        *unexposed[k] = oo;
        break;
      case kRecessive:
        *exposed[k] = rr;
        *unexposed[k] = ro + oo;
        break;
      case kOverDominant:
        *exposed[k] = rr + oo;
        *unexposed[k] = ro;
        break;
      default:
        break;
    }
  }
  return t;
}

void chiSquareTests(const double* observed, int rows, AssociationResult& r) {
  const int cells = rows * 2;
  // df 1 for 2x2, 2 for 3x2: igamc's shape parameter is df / 2.
  const double shape = (rows - 1) * 0.5;

  double rowTotal[3] = {0.0, 0.0, 0.0};
  double colTotal[2] = {0.0, 0.0};
  double total = 0.0;
  for (int i = 0; i < rows; ++i) {
    for (int j = 0; j < 2; ++j) {
      double o = observed[i * 2 + j];
      rowTotal[i] += o;
      colTotal[j] += o;
      total += o;
    }
  }

  double expected[6];
  bool anySmall = false;
  bool unusable = !(total > 0.0);
  double expectedProduct = 1.0;
  double observedProduct = 1.0;
  for (int i = 0; i < rows; ++i) {
    for (int j = 0; j < 2; ++j) {
      double e = rowTotal[i] * colTotal[j] / total;
      expected[i * 2 + j] = e;
      if (std::isnan(e)) unusable = true;
      if (e < kSmallExpected) anySmall = true;
      expectedProduct *= e;
      observedProduct *= observed[i * 2 + j];
    }
  }

  r.yates = 'N';
  double y = 0.0;
  bool gftDone = false;
  bool lrtDone = false;
  if (unusable) {
    // No sample at all: nothing to test, and no division by zero or a
    // not-a-number statistic may reach igamc.
    gftDone = lrtDone = true;
  } else if (anySmall) {
    if (expectedProduct == 0.0) {
      gftDone = lrtDone = true;
    } else {
      y = kYates;
      r.yates = 'Y';
    }
  }
  if (observedProduct == 0.0) lrtDone = true;

  r.gftChi = -1.0;
  r.gftP = 1.0;
  r.lrtChi = -1.0;
  r.lrtP = 1.0;

  if (!gftDone) {
    double chi = 0.0;
    for (int k = 0; k < cells; ++k) {
      double dev = std::fabs(observed[k] - expected[k]) - y;
      chi += dev * dev / expected[k];
    }
    r.gftChi = chi;
    r.gftP = stats::igamc(shape, chi / 2.0);
  }
  if (!lrtDone) {
    double sumExpected = 0.0;
    for (int k = 0; k < cells; ++k) sumExpected += expected[k];
    double expectedTerm = 0.0;
    double observedTerm = 0.0;
    for (int k = 0; k < cells; ++k) expectedTerm += expected[k] * std::log(expected[k] / sumExpected);
    for (int k = 0; k < cells; ++k) observedTerm += observed[k] * std::log(observed[k] / total);
    double chi = -2.0 * (expectedTerm - observedTerm);
    r.lrtChi = chi;
    r.lrtP = stats::igamc(shape, chi / 2.0);
  }
}

AssociationResult testAssociation(int model, const GenotypeCounts& g) {
  AssociationResult r;
  ExposureTable t = exposureTable(model, g);
  const double a = t.a, b = t.b, c = t.c, d = t.d;

  if (c * b == 0.0 || a * d == 0.0) {
    r.oddsRatio = r.ciLow = r.ciHigh = r.ar = r.par = 0.0;
  } else {
    r.oddsRatio = a * d / (c * b);
    double s = std::sqrt(1.0 / d + 1.0 / b + 1.0 / c + 1.0 / a);
    double logOr = std::log(r.oddsRatio);
    r.ciLow = std::exp(logOr - 1.96 * s);
    r.ciHigh = std::exp(logOr + 1.96 * s);
    r.ar = (r.oddsRatio - 1.0) * 100.0 / r.oddsRatio;
    if (r.ar < 0.0) r.ar = 0.0;
    r.par = (r.oddsRatio - 1.0) * (c / d) * 100.0 / ((r.oddsRatio - 1.0) * (c / d) + 1.0);
    if (r.ar == 0.0) r.par = 0.0;
  }

  if (usesGenotypeTable(model)) {
    // Rows RR, RO, OO; columns class 1, class 0.
    const double observed[6] = {g.rr[1], g.rr[0], g.ro[1], g.ro[0], g.oo[1], g.oo[0]};
    chiSquareTests(observed, 3, r);
  } else {
    const double observed[4] = {a, b, c, d};
    chiSquareTests(observed, 2, r);
  }
  return r;
}

void printStatistics(FILE* out, const AssociationResult& r) {
  fprintf(out, "\t%.3f\t%.3f-%.3f\t%.3f\t%.3f\t%.3f\t%e\t%c\t%.3f\t%e", r.oddsRatio, r.ciLow, r.ciHigh, r.ar, r.par,
          r.gftChi, r.gftP, r.yates, r.lrtChi, r.lrtP);
}

}  // namespace xtab
