// The q-value arithmetic against independent computations: a real
// neighbour-exchange sort for the order and its progress lines, the lambda
// grid as 0.05 * i, and the q-value bounds. The worked example, ties in
// input order, all-zero and all-one p-values and short lines are pinned by
// tests/e2e/cases/qvalcalc.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "qvalcalc/QValue.h"

using namespace qval;

namespace {

// The neighbour-exchange sort the order must equal: pass i walks the
// unsorted front and swaps neighbours only when the first p-value is
// strictly greater; every 2000th pass is recorded as reported.
void exchangeSort(std::vector<std::pair<double, int>>& items, std::vector<size_t>& reported) {
  const size_t m = items.size();
  for (size_t pass = 0; pass < m; ++pass) {
    for (size_t j = 0; j + 1 < m - pass; ++j) {
      if (items[j].first > items[j + 1].first) std::swap(items[j], items[j + 1]);
    }
    if (pass % 2000 == 0) reported.push_back(pass);
  }
}

TEST(Order, EqualsTheExchangeSortWithTiesInInputOrder) {
  std::mt19937 rng(3);
  std::uniform_int_distribution<int> level(0, 9);  // many ties
  for (int m : {0, 1, 2, 3, 10, 257, 2001}) {
    std::vector<double> p(static_cast<size_t>(m));
    std::vector<std::pair<double, int>> items;
    for (int i = 0; i < m; ++i) items.emplace_back(p[static_cast<size_t>(i)] = level(rng) / 10.0, i);
    std::vector<size_t> reported;
    exchangeSort(items, reported);
    std::vector<size_t> order = ascendingOrder(p);
    ASSERT_EQ(order.size(), items.size());
    for (size_t k = 0; k < order.size(); ++k) EXPECT_EQ(order[k], static_cast<size_t>(items[k].second)) << m;
    EXPECT_EQ(progressPasses(static_cast<size_t>(m)), reported) << m;
  }
}

TEST(Phi0, GridIsComputedNotAccumulated) {
  // Adding 0.05 ten times gives 0.49999999999999994, below 0.5: the two
  // p-values of exactly 0.5 would then count as above lambda there. With
  // lambda = 0.05 * 10 they do not, and pi(0.5) = 1/(3*0.5) is the smallest
  // (pi(0.45) = 3/(3*0.55), pi(0.55) = 1/(3*0.45)).
  double accumulated = 0.0;
  for (int i = 0; i < 10; ++i) accumulated += 0.05;
  ASSERT_LT(accumulated, 0.5);
  ASSERT_EQ(0.05 * 10, 0.5);
  EXPECT_DOUBLE_EQ(estimatePhi0({0.5, 0.5, 0.95}), 1.0 / 1.5);
  // The last grid point is 0.90 (19 steps): a p-value of 0.92 still counts,
  // and pi(0.9) = 1/(1*0.1) = 10 is not below pi(0) = 1.
  EXPECT_EQ(estimatePhi0({0.92}), 1.0);
  // p = 0.9 exactly is not above lambda = 0.9, so pi(0.9) = 0.
  EXPECT_EQ(estimatePhi0({0.9}), 0.5);
  // 0.2 and 0.95: pi(0) = 1, pi(0.2) = 1/(2*0.8) = 0.625 is the smallest,
  // pi(0.9) = 1/(2*0.1) = 5.
  EXPECT_DOUBLE_EQ(estimatePhi0({0.2, 0.95}), 1.0 / (2.0 * (1.0 - 0.05 * 4)));
}

TEST(QValues, MonotoneAndBoundedByPhi0TimesTheBonferroniValue) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::vector<double> p(500);
  for (double& x : p) x = u(rng) * u(rng);
  std::sort(p.begin(), p.end());
  double phi0 = estimatePhi0(p);
  std::vector<double> q = qValues(p, phi0);
  for (size_t i = 0; i < p.size(); ++i) {
    EXPECT_LE(q[i], phi0 * static_cast<double>(p.size()) * p[i] / static_cast<double>(i + 1) + 1e-300);
    if (i + 1 < p.size()) {
      EXPECT_LE(q[i], q[i + 1]);
    }
  }
  EXPECT_EQ(q.back(), phi0 * p.back());
}

TEST(FeatureLine, FieldsSkipEmptiesAndNeedTen) {
  std::string_view id;
  double p = -1;
  const char* row = "rs1\t0.455\t0.239-0.866\t0.000\t0.000\t5.830\t1.575549e-02\tN\t5.871\t1.538970e-02\tY";
  for (auto [column, want] : {std::pair{0, 1.575549e-02}, {1, 1.538970e-02}, {7, 1.538970e-02}}) {
    ASSERT_TRUE(parseFeatureLine(row, column, id, p));  // any column but 0: the likelihood ratio
    EXPECT_EQ(id, "rs1");
    EXPECT_EQ(p, want) << column;
  }
  // Empty fields vanish, so doubled tabs do not shift the columns.
  ASSERT_TRUE(parseFeatureLine("\trs2\t\t1\t2\t3\t4\t5\t0.25\t7\t8\t\t0.75\t", 0, id, p));
  EXPECT_EQ(id, "rs2");
  EXPECT_EQ(p, 0.25);
  // A text that is no number reads as 0; a number prefix is taken.
  ASSERT_TRUE(parseFeatureLine("a\t2\t3\t4\t5\t6\tnan\t8\t9\t0.5x", 0, id, p));
  EXPECT_EQ(p, 0.0);
  ASSERT_TRUE(parseFeatureLine("a\t2\t3\t4\t5\t6\tnan\t8\t9\t0.5x", 1, id, p));
  EXPECT_EQ(p, 0.5);
  EXPECT_FALSE(parseFeatureLine("a\t2\t3\t4\t5\t6\t7\t8\t9", 0, id, p));  // nine fields
  EXPECT_FALSE(parseFeatureLine("a\t\t\t\t\t\t\t\t\t\t\t", 0, id, p));
}

}  // namespace
