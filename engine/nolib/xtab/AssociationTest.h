#pragma once
#include <cstdio>

// The case/control association test shared by the SNP and the haplotype
// cross-tabulation: a 2x2 exposure table (odds ratio, attributable risks) and
// the goodness-of-fit and likelihood-ratio chi-squares over the 2x2 table or,
// for the co-dominant models, over the 3x2 genotype table.
namespace xtab {

enum GeneticModel {
  kAdditive = 0,
  kCoDominant1 = 1,
  kCoDominant2 = 2,
  kDominant = 3,
  kRecessive = 4,
  kOverDominant = 5
};
constexpr int kModelCount = 6;

// "Additive", "CoDominant1", ...; nullptr outside 0..5.
const char* modelName(int model);

// Genotype counts of one feature: index 1 is class 1 (cases), index 0 class 0
// (controls). RR is the risk genotype (two risk copies), OO the other
// homozygote.
struct GenotypeCounts {
  double rr[2] = {0.0, 0.0};
  double ro[2] = {0.0, 0.0};
  double oo[2] = {0.0, 0.0};
};

// The 2x2 table of a model: rows class 1 and class 0, columns exposed and not
// exposed.
struct ExposureTable {
  double a = 0.0;  // class 1 exposed
  double b = 0.0;  // class 1 not exposed
  double c = 0.0;  // class 0 exposed
  double d = 0.0;  // class 0 not exposed
};

struct AssociationResult {
  double oddsRatio = 0.0;
  double ciLow = 0.0;
  double ciHigh = 0.0;
  double ar = 0.0;   // attributable risk, percent
  double par = 0.0;  // population attributable risk, percent
  double gftChi = -1.0;
  double gftP = 1.0;
  char yates = 'N';
  double lrtChi = -1.0;
  double lrtP = 1.0;

  double smallerP() const { return gftP < lrtP ? gftP : lrtP; }
};

ExposureTable exposureTable(int model, const GenotypeCounts& g);
// Whether the chi-squares of the model run over the 3x2 genotype table.
bool usesGenotypeTable(int model);

// The full test of one feature under a model (0..5).
AssociationResult testAssociation(int model, const GenotypeCounts& g);

// The chi-square part over an r x 2 table of observed counts (rows x class
// columns, row-major), with df = r - 1. Exposed for the tests of the
// degenerate-table rules.
void chiSquareTests(const double* observed, int rows, AssociationResult& r);

// Prints the statistics columns of a report row, each preceded by a tab:
// OR, OR_CI, AR, PAR, GFT_chi, GFT_p, Yates_Corr, LRT_chi, LRT_p.
void printStatistics(FILE* out, const AssociationResult& r);

}  // namespace xtab
