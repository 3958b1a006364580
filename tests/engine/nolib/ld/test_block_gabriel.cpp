#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "ld/GabrielBlocks.h"
#include "ld/PairStore.h"

namespace {

// |D'| 1 with no variance: both bounds 1; frequency 0.3.
const PairLDSummary kStrong{1.0, 0.0, 0.3};
// |D'| 0.5 with no variance: the lower bound misses 0.7.
const PairLDSummary kWeak{0.5, 0.0, 0.3};

// All pairs (i < j) of n SNPs, in pair-loop order; pairs for which kind
// returns nullptr are not stored (not computed). The store keeps a row only
// up to its first gap, as the pair loop writes rows.
PairStore makeStore(int n, const std::function<const PairLDSummary*(int, int)>& kind) {
  PairStore store(n);
  for (int i = 0; i < n; ++i)
    for (int j = i + 1; j < n; ++j)
      if (const PairLDSummary* s = kind(i, j)) store.add(i, j, *s);
  return store;
}

// Every pair computed with |D'| 0.9 unless listed.
PairStore dprimeStore(int n, const std::vector<std::pair<std::pair<int, int>, double>>& values) {
  PairStore store(n);
  for (int i = 0; i < n; ++i) {
    for (int j = i + 1; j < n; ++j) {
      double d = 0.9;
      for (const auto& [pair, v] : values)
        if (pair.first == i && pair.second == j) d = v;
      store.add(i, j, PairLDSummary{d, 0.0, 0.3});
    }
  }
  return store;
}

std::vector<std::vector<int>> snpLists(const std::vector<BlockRange>& blocks) {
  std::vector<std::vector<int>> out;
  for (const BlockRange& b : blocks) out.push_back(GabrielBlockFinder::toBlock(b).snps);
  return out;
}

std::vector<BlockRange> candidates(const GabrielBlockFinder& finder, std::string* console = nullptr) {
  testing::internal::CaptureStdout();
  std::vector<BlockRange> blocks = finder.candidateBlocks(nullptr);
  std::string out = testing::internal::GetCapturedStdout();
  if (console) *console = out;
  return blocks;
}

BlockRange blockOf(std::vector<int> snps) { return BlockRange{snps.front(), snps.back()}; }

TEST(GabrielBlocks, TwoAdjacentStrongSnpsMakeOneBlock) {
  PairStore store = makeStore(2, [](int, int) { return &kStrong; });
  GabrielBlockFinder finder(store, 2, GabrielThresholds());
  finder.computeBounds();
  std::string console;
  std::vector<BlockRange> blocks = candidates(finder, &console);
  EXPECT_EQ(snpLists(blocks), std::vector<std::vector<int>>({{0, 1}}));
  // No third SNP was examined: the last SNP printed is i itself.
  EXPECT_EQ(console, "0~0 \n");
}

TEST(GabrielBlocks, ExtensionStopsAtTheFirstWeakFraction) {
  // SNPs 0-3 all strong with each other; SNP 4 is weak with 0 only
  // (cumulative 8 of 9 < 0.9); SNP 5 is strong with everything and would
  // bring the fraction back to 13 of 14, but is never reached from 0.
  PairStore store = makeStore(6, [](int i, int j) { return i == 0 && j == 4 ? &kWeak : &kStrong; });
  GabrielThresholds t;
  t.e = 0.9;
  GabrielBlockFinder finder(store, 6, t);
  finder.computeBounds();
  std::string console;
  std::vector<BlockRange> blocks = candidates(finder, &console);
  ASSERT_FALSE(blocks.empty());
  EXPECT_EQ(blocks[0], (BlockRange{0, 3}));
  // From 1 every pair is strong up to the end; from 4, (4, 5) alone.
  EXPECT_EQ(snpLists(blocks),
            std::vector<std::vector<int>>({{0, 1, 2, 3}, {1, 2, 3, 4, 5}, {2, 3, 4, 5}, {3, 4, 5}, {4, 5}}));
  EXPECT_EQ(console, "0~4 1~5 2~5 3~5 4~4 \n");
}

TEST(GabrielBlocks, StrongFractionIsARealDivision) {
  // (0,2) weak, (1,2) strong: 1 of 2 = 0.5, which meets E = 0.5 (an integer
  // quotient would be 0).
  PairStore store = makeStore(3, [](int i, int j) { return i == 0 && j == 2 ? &kWeak : &kStrong; });
  GabrielThresholds t;
  t.e = 0.5;
  GabrielBlockFinder finder(store, 3, t);
  finder.computeBounds();
  std::vector<BlockRange> blocks = candidates(finder);
  EXPECT_EQ(snpLists(blocks), std::vector<std::vector<int>>({{0, 1, 2}, {1, 2}}));
}

TEST(GabrielBlocks, ThresholdsAreMetWithinTheTolerance) {
  const GabrielThresholds t;
  // Bounds |D'| +- 1.96 sqrt(var): exactly at the thresholds less 0.00001.
  const PairLDSummary atUpper{0.98 - 0.00001, 0.0, 0.3};
  const PairLDSummary belowUpper{0.97998, 0.0, 0.3};
  const PairLDSummary atFreq{1.0, 0.0, 0.05 - 0.00001};
  const PairLDSummary belowFreq{1.0, 0.0, 0.04998};
  // Upper bound 1.0 + s, lower 1.0 - s with s = 1.96 * 0.15 = 0.294: the
  // lower bound 0.706 meets 0.7; with s = 1.96 * 0.16 it does not.
  const PairLDSummary lowerMet{1.0, 0.15 * 0.15, 0.3};
  const PairLDSummary lowerMissed{1.0, 0.16 * 0.16, 0.3};
  const std::vector<std::pair<const PairLDSummary*, bool>> cases = {
      {&atUpper, true}, {&belowUpper, false}, {&atFreq, true},
      {&belowFreq, false}, {&lowerMet, true}, {&lowerMissed, false}};
  for (const auto& [summary, expected] : cases) {
    PairStore store = makeStore(2, [&](int, int) { return summary; });
    GabrielBlockFinder finder(store, 2, t);
    finder.computeBounds();
    EXPECT_EQ(finder.strong(0, 1), expected) << summary->absDprime << " " << summary->minorFreq;
  }
}

TEST(GabrielBlocks, MissingPairOrNegativeVarianceEndsTheBoundRow) {
  const PairLDSummary negative{1.0, -1.0, 0.3};
  // Row 0: (0,1) strong, (0,2) not computed, (0,3) would be strong but lies
  // after the gap.
  PairStore gap = makeStore(4, [](int i, int j) { return i == 0 && j == 2 ? nullptr : &kStrong; });
  GabrielBlockFinder a(gap, 4, GabrielThresholds());
  a.computeBounds();
  EXPECT_TRUE(a.strong(0, 1));
  EXPECT_FALSE(a.strong(0, 2));
  EXPECT_FALSE(a.strong(0, 3));
  EXPECT_TRUE(a.strong(1, 3));
  PairStore neg = makeStore(4, [&](int i, int j) { return i == 0 && j == 2 ? &negative : &kStrong; });
  GabrielBlockFinder b(neg, 4, GabrielThresholds());
  b.computeBounds();
  EXPECT_TRUE(b.strong(0, 1));
  EXPECT_FALSE(b.strong(0, 2));
  EXPECT_FALSE(b.strong(0, 3));
  EXPECT_TRUE(b.strong(2, 3));
}

TEST(GabrielBlocks, ZeroThresholdsMakeUncomputedPairsStrong) {
  // Outside the bound rows the bounds and the frequency are 0, which meets
  // thresholds of 0.
  PairStore store = makeStore(3, [](int i, int j) { return i == 0 && j == 2 ? nullptr : &kWeak; });
  GabrielThresholds zero;
  zero.uth = 0.0;
  zero.lth = 0.0;
  zero.thf = 0.00001;  // within the tolerance of 0
  GabrielBlockFinder finder(store, 3, zero);
  finder.computeBounds();
  EXPECT_TRUE(finder.strong(0, 2));
  GabrielThresholds almost = zero;
  almost.thf = 0.0000101;
  GabrielBlockFinder strict(store, 3, almost);
  strict.computeBounds();
  EXPECT_FALSE(strict.strong(0, 2));
}

TEST(GabrielBlocks, BandHoldsOnlyTheComputedRuns) {
  // With a distance limit only neighbours within 2 are computed: the band
  // holds 2 + 2 + 1 pairs for 4 SNPs, not 4 x 4.
  PairStore store = makeStore(4, [](int i, int j) { return j - i <= 2 ? &kStrong : nullptr; });
  GabrielBlockFinder finder(store, 4, GabrielThresholds());
  finder.computeBounds();
  EXPECT_EQ(finder.bandPairs(), 5);
}

TEST(GabrielBlocks, SmallerLaterBlockGivesUpTheSharedSnps) {
  PairStore store = dprimeStore(8, {});
  GabrielBlockFinder finder(store, 8, GabrielThresholds());
  std::vector<BlockRange> blocks = {blockOf({0, 1, 2, 3, 4}), blockOf({3, 4, 5, 6})};
  finder.removeOverlaps(blocks);
  EXPECT_EQ(snpLists(blocks), std::vector<std::vector<int>>({{0, 1, 2, 3, 4}, {5, 6}}));
  // A later block inside the earlier one disappears.
  blocks = {blockOf({0, 1, 2, 3, 4}), blockOf({1, 2, 3})};
  finder.removeOverlaps(blocks);
  EXPECT_EQ(snpLists(blocks), std::vector<std::vector<int>>({{0, 1, 2, 3, 4}}));
  // Left with one SNP, the later block is dropped.
  blocks = {blockOf({0, 1, 2, 3}), blockOf({2, 3, 4})};
  finder.removeOverlaps(blocks);
  EXPECT_EQ(snpLists(blocks), std::vector<std::vector<int>>({{0, 1, 2, 3}}));
}

TEST(GabrielBlocks, LargerLaterBlockTakesTheSharedSnps) {
  PairStore store = dprimeStore(8, {});
  GabrielBlockFinder finder(store, 8, GabrielThresholds());
  std::vector<BlockRange> blocks = {blockOf({0, 1, 2, 3}), blockOf({2, 3, 4, 5, 6})};
  finder.removeOverlaps(blocks);
  EXPECT_EQ(snpLists(blocks), std::vector<std::vector<int>>({{0, 1}, {2, 3, 4, 5, 6}}));
  // The earlier block keeps fewer than two SNPs: it is dropped.
  blocks = {blockOf({0, 1, 2}), blockOf({1, 2, 3, 4})};
  finder.removeOverlaps(blocks);
  EXPECT_EQ(snpLists(blocks), std::vector<std::vector<int>>({{1, 2, 3, 4}}));
}

TEST(GabrielBlocks, EqualSizesAreDecidedByTheBoundaryPairs) {
  // A = {0,1,2}, B = {2,3,4}: B's first pair (2,3) against A's last (1,2).
  {
    PairStore store = dprimeStore(5, {{{2, 3}, 0.95}, {{1, 2}, 0.90}});
    GabrielBlockFinder finder(store, 5, GabrielThresholds());
    std::vector<BlockRange> blocks = {blockOf({0, 1, 2}), blockOf({2, 3, 4})};
    finder.removeOverlaps(blocks);
    EXPECT_EQ(snpLists(blocks), std::vector<std::vector<int>>({{0, 1}, {2, 3, 4}}));
  }
  {
    PairStore store = dprimeStore(5, {{{2, 3}, 0.90}, {{1, 2}, 0.95}});
    GabrielBlockFinder finder(store, 5, GabrielThresholds());
    std::vector<BlockRange> blocks = {blockOf({0, 1, 2}), blockOf({2, 3, 4})};
    finder.removeOverlaps(blocks);
    EXPECT_EQ(snpLists(blocks), std::vector<std::vector<int>>({{0, 1, 2}, {3, 4}}));
  }
  {
    // A tie: the earlier block keeps the shared SNP.
    PairStore store = dprimeStore(5, {{{2, 3}, 0.93}, {{1, 2}, 0.93}});
    GabrielBlockFinder finder(store, 5, GabrielThresholds());
    std::vector<BlockRange> blocks = {blockOf({0, 1, 2}), blockOf({2, 3, 4})};
    finder.removeOverlaps(blocks);
    EXPECT_EQ(snpLists(blocks), std::vector<std::vector<int>>({{0, 1, 2}, {3, 4}}));
  }
}

TEST(GabrielBlocks, UncomputedBoundaryPairCountsAsZero) {
  // (2,3) was not computed: 0 is not greater than |D'| (1,2), so B trims.
  PairStore store = makeStore(5, [](int i, int j) { return i == 2 && j == 3 ? nullptr : &kStrong; });
  GabrielBlockFinder finder(store, 5, GabrielThresholds());
  EXPECT_EQ(finder.absDprime(2, 3), 0.0);
  std::vector<BlockRange> blocks = {blockOf({0, 1, 2}), blockOf({2, 3, 4})};
  finder.removeOverlaps(blocks);
  EXPECT_EQ(snpLists(blocks), std::vector<std::vector<int>>({{0, 1, 2}, {3, 4}}));
}

TEST(GabrielBlocks, ChangesAreFollowedThroughTheWholeList) {
  // {0..3}, {2..6} (larger: A trims to {0,1}), then {5..7} against {2..6}
  // (smaller: trims to {7}, dropped), then {7,8,9} follows {2..6}.
  PairStore store = dprimeStore(10, {});
  GabrielBlockFinder finder(store, 10, GabrielThresholds());
  std::vector<BlockRange> blocks = {blockOf({0, 1, 2, 3}), blockOf({2, 3, 4, 5, 6}), blockOf({5, 6, 7}),
                                 blockOf({7, 8, 9})};
  finder.removeOverlaps(blocks);
  EXPECT_EQ(snpLists(blocks), std::vector<std::vector<int>>({{0, 1}, {2, 3, 4, 5, 6}, {7, 8, 9}}));
}

TEST(GabrielBlocks, CandidatesThenOverlapsOnASmallChromosome) {
  // Two LD groups {0,1,2} and {3,4,5} with weak pairs across; (2,3) strong
  // alone, giving a candidate {2,3} that overlaps both and is removed.
  PairStore store = makeStore(6, [](int i, int j) {
    const bool sameGroup = (i < 3) == (j < 3);
    return sameGroup || (i == 2 && j == 3) ? &kStrong : &kWeak;
  });
  GabrielBlockFinder finder(store, 6, GabrielThresholds());
  finder.computeBounds();
  std::string console;
  std::vector<BlockRange> blocks = candidates(finder, &console);
  EXPECT_EQ(console, "0~3 1~3 2~4 3~5 4~4 \n");
  EXPECT_EQ(snpLists(blocks), std::vector<std::vector<int>>({{0, 1, 2}, {1, 2}, {2, 3}, {3, 4, 5}, {4, 5}}));
  finder.removeOverlaps(blocks);
  EXPECT_EQ(snpLists(blocks), std::vector<std::vector<int>>({{0, 1, 2}, {3, 4, 5}}));
}

TEST(GabrielBlocks, FractionsNeverBelowZeroRunToTheLastSnp) {
  // With E at most 0 every cumulative fraction meets it: each block that
  // starts runs to the last SNP, even over weak pairs.
  PairStore store = makeStore(5, [](int i, int j) { return j == i + 1 ? &kStrong : &kWeak; });
  GabrielThresholds t;
  t.e = 0.0;
  GabrielBlockFinder finder(store, 5, t);
  finder.computeBounds();
  std::string console;
  std::vector<BlockRange> blocks = candidates(finder, &console);
  EXPECT_EQ(blocks, std::vector<BlockRange>({{0, 4}, {1, 4}, {2, 4}, {3, 4}}));
  EXPECT_EQ(console, "0~4 1~4 2~4 3~3 \n");
  finder.removeOverlaps(blocks);
  EXPECT_EQ(blocks, std::vector<BlockRange>({{0, 4}}));
}

TEST(GabrielBlocks, ColumnCountsIncludeStrongPairsOutsideTheBand) {
  // Only neighbours are computed, with a lower bound below 0 that no
  // threshold meets; with zero thresholds the pairs outside the band are
  // strong.
  const PairLDSummary wide{0.5, 1.0, 0.3};
  PairStore store = makeStore(6, [&](int i, int j) { return j == i + 1 ? &wide : nullptr; });
  GabrielThresholds zero;
  zero.uth = zero.lth = zero.thf = 0.0;
  GabrielBlockFinder finder(store, 6, zero);
  finder.computeBounds();
  // Column 5 from row 1: (1,5), (2,5), (3,5) outside the band, (4,5) weak in it.
  EXPECT_EQ(finder.strongInColumn(5, 1), 3);
  GabrielBlockFinder strict(store, 6, GabrielThresholds());
  strict.computeBounds();
  EXPECT_EQ(strict.strongInColumn(5, 1), 0);
}

// Gabriel's steps written out over dense bound matrices, for small inputs.
std::vector<BlockRange> literalBlocks(const PairStore& store, int n, const GabrielThresholds& t) {
  std::vector<std::vector<double>> U(n, std::vector<double>(n, 0.0)), L = U, F = U;
  for (int i = 0; i + 1 < n; ++i) {
    for (int j = i + 1; j < n; ++j) {
      const PairLDSummary* p = store.find(i, j);
      if (!p || p->varDprime < 0) break;
      const double s = 1.96 * sqrt(p->varDprime);
      U[i][j] = p->absDprime + s;
      L[i][j] = p->absDprime - s;
      F[i][j] = p->minorFreq;
    }
  }
  auto strong = [&](int a, int b) {
    return U[a][b] >= t.uth - 0.00001 && L[a][b] >= t.lth - 0.00001 && F[a][b] >= t.thf - 0.00001;
  };
  std::vector<std::vector<int>> blocks;
  for (int i = 0; i + 1 < n; ++i) {
    if (!strong(i, i + 1)) continue;
    std::vector<int> b = {i, i + 1};
    double st = 0, tot = 0;
    for (int k = i + 2; k < n; ++k) {
      for (int a = i; a < k; ++a) {
        tot += 1;
        if (strong(a, k)) st += 1;
      }
      if (st / tot >= t.e)
        b.push_back(k);
      else
        break;
    }
    blocks.push_back(b);
  }
  auto absd = [&](int a, int b) {
    const PairLDSummary* p = store.find(a, b);
    return p ? p->absDprime : 0.0;
  };
  size_t u = 0;
  while (u + 1 < blocks.size()) {
    std::vector<int>& A = blocks[u];
    std::vector<int>& B = blocks[u + 1];
    if (A.back() < B.front()) {
      ++u;
      continue;
    }
    const int over = A.back() - B.front() + 1;
    if (B.size() < A.size() ||
        (B.size() == A.size() && !(absd(B[0], B[0] + 1) > absd(A[A.size() - 2], A.back())))) {
      for (int r = 0; r < over && !B.empty(); ++r) B.erase(B.begin());
      if (B.size() <= 1) blocks.erase(blocks.begin() + static_cast<long>(u) + 1);
    } else {
      for (int r = 0; r < over && !A.empty(); ++r) A.pop_back();
      if (A.size() < 2) blocks.erase(blocks.begin() + static_cast<long>(u));
    }
    u = 0;
  }
  std::vector<BlockRange> out;
  for (const std::vector<int>& b : blocks) out.push_back(BlockRange{b.front(), b.back()});
  return out;
}

TEST(GabrielBlocks, AgreesWithTheDenseProcedureOnRandomPairs) {
  std::mt19937 rng(2024);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int trial = 0; trial < 400; ++trial) {
    const int n = 2 + static_cast<int>(rng() % 30);
    const int reach = 1 + static_cast<int>(rng() % n);  // distance limit in SNPs
    const double strongShare = unit(rng);
    PairStore store(n);
    for (int i = 0; i + 1 < n; ++i) {
      for (int j = i + 1; j < n && j - i <= reach; ++j) {
        PairLDSummary s;
        if (unit(rng) < strongShare) {
          s = PairLDSummary{0.9 + 0.1 * unit(rng), 0.0004 * unit(rng), 0.05 + 0.4 * unit(rng)};
        } else {
          s = PairLDSummary{unit(rng), 0.05 * unit(rng), 0.5 * unit(rng)};
        }
        if (unit(rng) < 0.02) s.varDprime = -10000.0;
        // A few |D'| ties on the boundary pairs.
        if (unit(rng) < 0.2) s.absDprime = 1.0;
        store.add(i, j, s);
      }
    }
    GabrielThresholds t;
    switch (trial % 5) {
      case 1: t.e = 0.5 + 0.5 * unit(rng); break;
      case 2: t.e = 0.0; break;
      case 3: t.uth = t.lth = t.thf = 0.0; t.e = 0.3 + 0.7 * unit(rng); break;
      case 4: t.e = 0.8; t.lth = 0.5; break;
      default: break;
    }
    GabrielBlockFinder finder(store, n, t);
    finder.computeBounds();
    std::vector<BlockRange> blocks = candidates(finder);
    finder.removeOverlaps(blocks);
    ASSERT_EQ(blocks, literalBlocks(store, n, t)) << "trial " << trial;
  }
}

}  // namespace
