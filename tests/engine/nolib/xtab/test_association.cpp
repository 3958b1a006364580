// The association statistics against independent computations: Pearson's
// and the G statistic written out here, p-values from closed forms and a
// known quantile, degenerate tables by hand. The six models' tables, odds
// ratios and risks are pinned by tests/e2e/cases/snpxtab.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "xtab/AssociationTest.h"
#include "stats/Distributions.h"

using namespace xtab;

namespace {

GenotypeCounts counts(double rr1, double ro1, double oo1, double rr0, double ro0, double oo0) {
  GenotypeCounts g;
  g.rr[1] = rr1, g.ro[1] = ro1, g.oo[1] = oo1;
  g.rr[0] = rr0, g.ro[0] = ro0, g.oo[0] = oo0;
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

// Pearson's statistic (without correction) and the G statistic of an r x 2
// table given row-major; G needs every cell above 0.
void pearsonAndG(const std::vector<double>& o, double& pearson, double& g) {
  const size_t rows = o.size() / 2;
  double col[2] = {0, 0}, n = 0;
  for (size_t k = 0; k < o.size(); ++k) col[k % 2] += o[k], n += o[k];
  pearson = g = 0;
  for (size_t i = 0; i < rows; ++i)
    for (size_t j = 0; j < 2; ++j) {
      double e = (o[2 * i] + o[2 * i + 1]) * col[j] / n, x = o[2 * i + j];
      pearson += (x - e) * (x - e) / e;
      g += 2 * x * std::log(x / e);
    }
}

TEST(ChiSquareTests, SmallAndDegenerateTables) {
  struct Case {
    double observed[4];
    char yates;
    double gft;  // -1: not computed
    bool lrt;    // whether the likelihood ratio is computed
  } cases[] = {
      // Expected 4.9, 44.1, 5.1, 45.9: every |O - E| = 2.1, corrected to 1.6.
      {{7, 42, 3, 48}, 'Y', 2.56 * (1 / 4.9 + 1 / 44.1 + 1 / 5.1 + 1 / 45.9), true},
      // Expected 5, 45, 5, 45: exactly 5 is not below 5. The correction
      // starts afresh after the table before.
      {{6, 44, 4, 46}, 'N', 1.0 / 5 + 1.0 / 45 + 1.0 / 5 + 1.0 / 45, true},
      // Expected 2, 18, 2, 18 (small, not 0) with an observed 0: Yates on the
      // goodness of fit, the likelihood ratio dropped.
      {{0, 20, 4, 16}, 'Y', 1.5 * 1.5 * (1 / 2.0 + 1 / 18.0 + 1 / 2.0 + 1 / 18.0), false},
      // Expected 10 everywhere, observed 0 in two cells.
      {{0, 20, 20, 0}, 'N', 40.0, false},
      // An empty column: expected 0 drops both tests.
      {{0, 10, 0, 12}, 'N', -1.0, false},
      // No sample at all: nothing may reach igamc.
      {{0, 0, 0, 0}, 'N', -1.0, false},
  };
  AssociationResult r;
  for (const Case& c : cases) {
    chiSquareTests(c.observed, 2, r);
    SCOPED_TRACE(testing::Message() << "table " << &c - cases);
    EXPECT_EQ(r.yates, c.yates);
    EXPECT_NEAR(r.gftChi, c.gft, 1e-12);
    if (c.gft < 0) {
      EXPECT_EQ(r.gftP, 1.0);
    }
    if (c.lrt) {
      double pearson, g;
      pearsonAndG({c.observed, c.observed + 4}, pearson, g);
      EXPECT_NEAR(r.lrtChi, g, 1e-10);  // the likelihood ratio takes no correction
    } else {
      EXPECT_EQ(r.lrtChi, -1.0);
      EXPECT_EQ(r.lrtP, 1.0);
    }
  }
  EXPECT_EQ(statistics(testAssociation(kCoDominant1, counts(0, 0, 0, 0, 0, 0))),
            "\t0.000\t0.000-0.000\t0.000\t0.000\t-1.000\t1.000000e+00\tN\t-1.000\t1.000000e+00");
}

TEST(AssociationTest, ZeroProductsZeroTheOddsRatioAndRisks) {
  // Dominant, b = 0: c * b = 0 while a * d is not.
  EXPECT_EQ(statistics(testAssociation(kDominant, counts(10, 5, 0, 3, 4, 8))).substr(0, 31),
            "\t0.000\t0.000-0.000\t0.000\t0.000\t");
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
  EXPECT_DOUBLE_EQ(r.oddsRatio, 9.0);  // RR against OO: 30 * 30 / (10 * 10)
  // CoDominant2: RO against OO, 20 * 30 / (20 * 10); the same 3x2 tests.
  AssociationResult r2 = testAssociation(kCoDominant2, g);
  EXPECT_DOUBLE_EQ(r2.oddsRatio, 3.0);
  EXPECT_EQ(r2.gftChi, r.gftChi);
  EXPECT_EQ(r2.lrtChi, r.lrtChi);
}

// The p-values must agree with an independent computation: for 1 df the
// upper tail is erfc(sqrt(x / 2)), for 2 df exp(-x / 2).
TEST(PValues, KnownQuantilesGiveTheirLevels) {
  EXPECT_NEAR(stats::igamc(0.5, 3.841458820694124 / 2), 0.05, 1e-12);
  EXPECT_NEAR(stats::igamc(1.0, 5.991464547107979 / 2), 0.05, 1e-12);
  EXPECT_NEAR(stats::igamc(0.5, 6.634896601021214 / 2), 0.01, 1e-12);
}

TEST(PValues, RandomTablesAgreeWithClosedFormsPearsonAndG) {
  std::mt19937 rng(20240611);
  std::uniform_int_distribution<int> cell(0, 60);
  int checked2 = 0, checked3 = 0, checkedG = 0;
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
    ExposureTable t = exposureTable(model, g);
    std::vector<double> o = genotype ? std::vector<double>{g.rr[1], g.rr[0], g.ro[1], g.ro[0], g.oo[1], g.oo[0]}
                                     : std::vector<double>{t.a, t.b, t.c, t.d};
    double pearson, gStat;
    pearsonAndG(o, pearson, gStat);
    if (r.yates == 'N' && r.gftChi >= 0) {
      EXPECT_NEAR(r.gftChi, pearson, 1e-9 * (1 + pearson)) << model;
    }
    if (r.lrtChi >= 0) {
      EXPECT_NEAR(r.lrtChi, gStat, 1e-9 * (1 + gStat)) << model;
      ++checkedG;
    }
  }
  EXPECT_GT(checked2, 3000);
  EXPECT_GT(checked3, 1000);
  EXPECT_GT(checkedG, 2000);
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

}  // namespace
