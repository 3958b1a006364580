#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "snpxtab/AssociationTest.h"
#include "stats/Distributions.h"

using namespace xtab;

namespace {

GenotypeCounts counts(double rr1, double ro1, double oo1, double rr0, double ro0, double oo0) {
  GenotypeCounts g;
  g.rr[1] = rr1;
  g.ro[1] = ro1;
  g.oo[1] = oo1;
  g.rr[0] = rr0;
  g.ro[0] = ro0;
  g.oo[0] = oo0;
  return g;
}

std::string statistics(const AssociationResult& r) {
  char* buf = nullptr;
  size_t len = 0;
  FILE* f = open_memstream(&buf, &len);
  printStatistics(f, r);
  fclose(f);
  std::string s(buf, len);
  free(buf);
  return s;
}

// Pearson chi-square over a 2x2 table in closed form, without continuity
// correction: N (ad - bc)^2 / (r1 r0 c1 c0).
double pearson2x2(double a, double b, double c, double d) {
  double n = a + b + c + d;
  double x = a * d - b * c;
  return n * x * x / ((a + b) * (c + d) * (a + c) * (b + d));
}

}  // namespace

TEST(ExposureTable, EachModelBuildsItsColumns) {
  // Class 1: RR 3, RO 5, OO 7; class 0: RR 11, RO 13, OO 17.
  GenotypeCounts g = counts(3, 5, 7, 11, 13, 17);
  struct Want {
    int model;
    double a, b, c, d;
  } wants[] = {
      {kAdditive, 2 * 3 + 5, 2 * 7 + 5, 2 * 11 + 13, 2 * 17 + 13},
      {kCoDominant1, 3, 7, 11, 17},
      {kCoDominant2, 5, 7, 13, 17},
      {kDominant, 8, 7, 24, 17},
      {kRecessive, 3, 12, 11, 30},
      {kOverDominant, 10, 5, 28, 13},
  };
  for (const Want& w : wants) {
    ExposureTable t = exposureTable(w.model, g);
    EXPECT_EQ(t.a, w.a) << w.model;
    EXPECT_EQ(t.b, w.b) << w.model;
    EXPECT_EQ(t.c, w.c) << w.model;
    EXPECT_EQ(t.d, w.d) << w.model;
  }
  EXPECT_STREQ(modelName(0), "Additive");
  EXPECT_STREQ(modelName(5), "OverDominant");
  EXPECT_EQ(modelName(6), nullptr);
  EXPECT_EQ(modelName(-1), nullptr);
  EXPECT_TRUE(usesGenotypeTable(kCoDominant1));
  EXPECT_TRUE(usesGenotypeTable(kCoDominant2));
  EXPECT_FALSE(usesGenotypeTable(kDominant));
}

// Additive model, risk = major allele A; class 1 AA 10, AB 20, BB 10; class 0
// AA 20, AB 15, BB 5: a = 40, b = 40, c = 55, d = 25, OR = 1000 / 2200.
TEST(AssociationTest, AdditiveOddsRatioBelowOneClipsTheRisks) {
  AssociationResult r = testAssociation(kAdditive, counts(10, 20, 10, 20, 15, 5));
  EXPECT_DOUBLE_EQ(r.oddsRatio, 1000.0 / 2200.0);
  EXPECT_EQ(r.ar, 0.0);
  EXPECT_EQ(r.par, 0.0);
  double s = std::sqrt(1.0 / 25 + 1.0 / 40 + 1.0 / 55 + 1.0 / 40);
  EXPECT_NEAR(r.ciLow, std::exp(std::log(1000.0 / 2200.0) - 1.96 * s), 1e-15);
  EXPECT_NEAR(r.ciHigh, std::exp(std::log(1000.0 / 2200.0) + 1.96 * s), 1e-15);
  // Expected counts 47.5, 32.5, 47.5, 32.5: every |O - E| is 7.5.
  EXPECT_NEAR(r.gftChi, 56.25 * (2 / 47.5 + 2 / 32.5), 1e-12);
  EXPECT_EQ(r.yates, 'N');
  EXPECT_NEAR(r.gftChi, pearson2x2(40, 40, 55, 25), 1e-12);
  EXPECT_EQ(statistics(r).substr(0, 39), "\t0.455\t0.239-0.866\t0.000\t0.000\t5.830\t1.");
}

TEST(AssociationTest, OddsRatioAboveOneGivesBothRisks) {
  // Dominant: a = 30, b = 20, c = 20, d = 30: OR 2.25.
  AssociationResult r = testAssociation(kDominant, counts(10, 20, 20, 5, 15, 30));
  EXPECT_DOUBLE_EQ(r.oddsRatio, 2.25);
  EXPECT_DOUBLE_EQ(r.ar, 1.25 * 100.0 / 2.25);
  double ratio = 20.0 / 30.0;
  EXPECT_DOUBLE_EQ(r.par, 1.25 * ratio * 100.0 / (1.25 * ratio + 1.0));
}

TEST(AssociationTest, ZeroProductsZeroTheOddsRatioAndRisks) {
  // b = 0: c * b = 0.
  AssociationResult r = testAssociation(kDominant, counts(10, 5, 0, 3, 4, 8));
  EXPECT_EQ(r.oddsRatio, 0.0);
  EXPECT_EQ(r.ciLow, 0.0);
  EXPECT_EQ(r.ciHigh, 0.0);
  EXPECT_EQ(r.ar, 0.0);
  EXPECT_EQ(r.par, 0.0);
}

TEST(ChiSquareTests, ExpectedCountOfFiveIsNotSmall) {
  // Rows 50/50, columns 10/90: expected 5, 45, 5, 45 -- exactly 5 is not
  // below 5, so no correction.
  const double observed[4] = {6, 44, 4, 46};
  AssociationResult r;
  chiSquareTests(observed, 2, r);
  EXPECT_EQ(r.yates, 'N');
  EXPECT_NEAR(r.gftChi, 1.0 / 5 + 1.0 / 45 + 1.0 / 5 + 1.0 / 45, 1e-12);
}

TEST(ChiSquareTests, ExpectedCountOf4Point9TakesTheYatesCorrection) {
  // Rows 49/51, columns 10/90: expected 4.9, 44.1, 5.1, 45.9; every
  // |O - E| is 2.1, corrected to 1.6.
  const double observed[4] = {7, 42, 3, 48};
  AssociationResult r;
  chiSquareTests(observed, 2, r);
  EXPECT_EQ(r.yates, 'Y');
  EXPECT_NEAR(r.gftChi, 2.56 * (1 / 4.9 + 1 / 44.1 + 1 / 5.1 + 1 / 45.9), 1e-12);
  // The likelihood ratio takes no correction.
  double g = 2 * (7 * std::log(7 / 4.9) + 42 * std::log(42 / 44.1) + 3 * std::log(3 / 5.1) + 48 * std::log(48 / 45.9));
  EXPECT_NEAR(r.lrtChi, g, 1e-10);

  // The correction starts afresh for the next table.
  const double normal[4] = {20, 29, 30, 21};
  AssociationResult r2;
  r2.yates = 'Y';
  chiSquareTests(normal, 2, r2);
  EXPECT_EQ(r2.yates, 'N');
  EXPECT_NEAR(r2.gftChi, pearson2x2(20, 29, 30, 21), 1e-12);
}

TEST(ChiSquareTests, ZeroExpectedCountDropsBothTests) {
  // Column "exposed" empty: expected 0 in two cells.
  const double observed[4] = {0, 10, 0, 12};
  AssociationResult r;
  chiSquareTests(observed, 2, r);
  EXPECT_EQ(r.gftChi, -1.0);
  EXPECT_EQ(r.gftP, 1.0);
  EXPECT_EQ(r.lrtChi, -1.0);
  EXPECT_EQ(r.lrtP, 1.0);
  EXPECT_EQ(r.yates, 'N');
}

TEST(ChiSquareTests, ObservedZeroCellDropsOnlyTheLikelihoodRatio) {
  // Expected 10, 10, 10, 10 (none small) with an observed 0.
  const double observed[4] = {0, 20, 20, 0};
  AssociationResult r;
  chiSquareTests(observed, 2, r);
  EXPECT_EQ(r.yates, 'N');
  EXPECT_NEAR(r.gftChi, 40.0, 1e-12);
  EXPECT_NEAR(r.gftP, std::erfc(std::sqrt(20.0)), 1e-20);
  EXPECT_EQ(r.lrtChi, -1.0);
  EXPECT_EQ(r.lrtP, 1.0);
}

TEST(ChiSquareTests, SmallButNonZeroExpectedWithObservedZero) {
  // Class 1 never exposed, class 0 exposed 4 times: expected exposed counts
  // 2 and 2 (small, not zero): Yates on the goodness of fit, the likelihood
  // ratio dropped for the observed zero.
  const double observed[4] = {0, 20, 4, 16};
  AssociationResult r;
  chiSquareTests(observed, 2, r);
  EXPECT_EQ(r.yates, 'Y');
  EXPECT_NEAR(r.gftChi, 1.5 * 1.5 * (1 / 2.0 + 1 / 18.0 + 1 / 2.0 + 1 / 18.0), 1e-12);
  EXPECT_EQ(r.lrtChi, -1.0);
}

TEST(ChiSquareTests, TableWithoutSamplesNeverReachesIgamc) {
  const double empty2[4] = {0, 0, 0, 0};
  const double empty3[6] = {0, 0, 0, 0, 0, 0};
  for (int rows : {2, 3}) {
    AssociationResult r;
    chiSquareTests(rows == 2 ? empty2 : empty3, rows, r);
    EXPECT_EQ(r.gftChi, -1.0);
    EXPECT_EQ(r.gftP, 1.0);
    EXPECT_EQ(r.lrtChi, -1.0);
    EXPECT_EQ(r.lrtP, 1.0);
    EXPECT_EQ(r.yates, 'N');
  }
  AssociationResult r = testAssociation(kCoDominant1, counts(0, 0, 0, 0, 0, 0));
  EXPECT_EQ(statistics(r),
            "\t0.000\t0.000-0.000\t0.000\t0.000\t-1.000\t1.000000e+00\tN\t-1.000\t1.000000e+00");
}

TEST(ChiSquareTests, GenotypeTableHasTwoDegreesOfFreedom) {
  // Rows RR, RO, OO by classes 1, 0: (30, 10), (20, 20), (10, 30).
  GenotypeCounts g = counts(30, 20, 10, 10, 20, 30);
  AssociationResult r = testAssociation(kCoDominant1, g);
  // Expected 20 everywhere: chi = (100 + 100 + 0 + 0 + 100 + 100) / 20 = 20.
  EXPECT_NEAR(r.gftChi, 20.0, 1e-12);
  EXPECT_NEAR(r.gftP, std::exp(-10.0), 1e-18);
  double lrt = 2 * (2 * 30 * std::log(1.5) + 2 * 10 * std::log(0.5));
  EXPECT_NEAR(r.lrtChi, lrt, 1e-10);
  EXPECT_NEAR(r.lrtP, std::exp(-lrt / 2), 1e-15);
  // CoDominant1 odds ratio: RR against OO, 30 * 30 / (10 * 10).
  EXPECT_DOUBLE_EQ(r.oddsRatio, 9.0);
  // CoDominant2: RO against OO, 20 * 30 / (20 * 10); same 3x2 tests.
  AssociationResult r2 = testAssociation(kCoDominant2, g);
  EXPECT_DOUBLE_EQ(r2.oddsRatio, 3.0);
  EXPECT_EQ(r2.gftChi, r.gftChi);
  EXPECT_EQ(r2.lrtChi, r.lrtChi);
}

// The p-values must agree with an independent computation: for 1 df the
// upper tail is erfc(sqrt(x / 2)), for 2 df exp(-x / 2).
TEST(PValues, OneDfQuantileGivesFivePercent) {
  EXPECT_NEAR(stats::igamc(0.5, 3.841458820694124 / 2), 0.05, 1e-12);
  EXPECT_NEAR(stats::igamc(1.0, 5.991464547107979 / 2), 0.05, 1e-12);
  EXPECT_NEAR(stats::igamc(0.5, 6.634896601021214 / 2), 0.01, 1e-12);
}

TEST(PValues, RandomTablesAgreeWithClosedForms) {
  std::mt19937 rng(20240611);
  std::uniform_int_distribution<int> cell(0, 60);
  int checked2 = 0, checked3 = 0;
  for (int iter = 0; iter < 4000; ++iter) {
    GenotypeCounts g = counts(cell(rng), cell(rng), cell(rng), cell(rng), cell(rng), cell(rng));
    int model = iter % kModelCount;
    AssociationResult r = testAssociation(model, g);
    bool genotype = usesGenotypeTable(model);
    for (auto [chi, p] : {std::pair{r.gftChi, r.gftP}, std::pair{r.lrtChi, r.lrtP}}) {
      if (chi < 0) {
        EXPECT_EQ(p, 1.0);
        continue;
      }
      double want = genotype ? std::exp(-chi / 2) : std::erfc(std::sqrt(chi / 2));
      EXPECT_NEAR(p, want, 1e-13 + 1e-11 * want) << "model " << model << " chi " << chi;
      // Printed with %e the two agree digit for digit.
      char a[32], b[32];
      snprintf(a, sizeof a, "%e", p);
      snprintf(b, sizeof b, "%e", want);
      EXPECT_STREQ(a, b) << "model " << model << " chi " << chi;
      (genotype ? checked3 : checked2)++;
    }
    // Without correction the goodness of fit is Pearson's statistic.
    if (!genotype && r.yates == 'N' && r.gftChi >= 0) {
      ExposureTable t = exposureTable(model, g);
      EXPECT_NEAR(r.gftChi, pearson2x2(t.a, t.b, t.c, t.d), 1e-9 * (1 + r.gftChi));
    }
  }
  EXPECT_GT(checked2, 3000);
  EXPECT_GT(checked3, 1000);
}

TEST(PValues, LikelihoodRatioEqualsTheGStatistic) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> cell(1, 200);
  for (int iter = 0; iter < 500; ++iter) {
    double o[4] = {double(cell(rng)), double(cell(rng)), double(cell(rng)), double(cell(rng))};
    AssociationResult r;
    chiSquareTests(o, 2, r);
    double n = o[0] + o[1] + o[2] + o[3];
    double e[4] = {(o[0] + o[1]) * (o[0] + o[2]) / n, (o[0] + o[1]) * (o[1] + o[3]) / n,
                   (o[2] + o[3]) * (o[0] + o[2]) / n, (o[2] + o[3]) * (o[1] + o[3]) / n};
    double g = 0;
    for (int k = 0; k < 4; ++k) g += 2 * o[k] * std::log(o[k] / e[k]);
    EXPECT_NEAR(r.lrtChi, g, 1e-9 * (1 + g));
  }
}

TEST(PValues, HugeStatisticUnderflowsToZeroWithItsDiagnostic) {
  // 1000 against 1000 with no overlap: chi = 2000.
  const double observed[4] = {1000, 0, 0, 1000};
  AssociationResult r;
  testing::internal::CaptureStdout();
  chiSquareTests(observed, 2, r);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NEAR(r.gftChi, 2000.0, 1e-9);
  EXPECT_EQ(r.gftP, 0.0);
  EXPECT_NE(out.find("igamc"), std::string::npos);
  EXPECT_NE(out.find("underflow error"), std::string::npos);
}
