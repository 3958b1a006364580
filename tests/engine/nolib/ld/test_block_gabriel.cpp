// Gabriel's blocks: the thresholds at the edge of their tolerance, the
// overlap rules worked out by hand, and the whole procedure (bound rows ended
// by a negative variance or a distance limit, candidates with their "i~k"
// console line, overlaps) against the rules written out over dense matrices
// on random pair sets.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "ld/GabrielBlocks.h"
#include "ld/PairStore.h"

namespace {

using Ranges = std::vector<BlockRange>;

// The pairs (i < j) of n SNPs in pair-loop order; a pair for which kind
// returns nothing is not computed (the store then ends that row, as the pair
// loop does).
PairStore makeStore(int n, const std::function<std::optional<PairLDSummary>(int, int)>& kind) {
  PairStore store(n);
  for (int i = 0; i < n; ++i)
    for (int j = i + 1; j < n; ++j)
      if (const auto s = kind(i, j)) store.add(i, j, *s);
  return store;
}

Ranges candidates(const GabrielBlockFinder& finder, std::string* console = nullptr) {
  testing::internal::CaptureStdout();
  Ranges blocks = finder.candidateBlocks(nullptr);
  const std::string out = testing::internal::GetCapturedStdout();
  if (console) *console = out;
  return blocks;
}

TEST(GabrielBlocks, ThresholdsAreMetWithinTheirTolerance) {
  // Bounds |D'| +- 1.96 sqrt(var); each threshold less 0.00001 is met.
  // Lower bound: 1 - 1.96 x 0.15 = 0.706 meets 0.7, 1 - 1.96 x 0.16 does not.
  const struct {
    PairLDSummary s;
    bool strong;
  } cases[] = {{{0.98 - 0.00001, 0.0, 0.3}, true}, {{0.97998, 0.0, 0.3}, false},
               {{1.0, 0.0, 0.05 - 0.00001}, true}, {{1.0, 0.0, 0.04998}, false},
               {{1.0, 0.15 * 0.15, 0.3}, true},    {{1.0, 0.16 * 0.16, 0.3}, false}};
  for (const auto& c : cases) {
    PairStore store = makeStore(2, [&](int, int) { return c.s; });
    GabrielBlockFinder finder(store, 2, GabrielThresholds());
    finder.computeBounds();
    EXPECT_EQ(finder.strong(0, 1), c.strong) << c.s.absDprime << " " << c.s.varDprime << " " << c.s.minorFreq;
  }
  // A pair outside the computed rows has bounds and frequency 0: strong only
  // when all three thresholds are within the tolerance of 0.
  const PairLDSummary weak{0.5, 0.0, 0.3};
  PairStore gap = makeStore(3, [&](int i, int j) { return i == 0 && j == 2 ? std::nullopt : std::optional(weak); });
  GabrielThresholds zero;
  zero.uth = zero.lth = 0.0;
  for (const auto& [thf, strong] : {std::pair{0.00001, true}, std::pair{0.0000101, false}}) {
    zero.thf = thf;
    GabrielBlockFinder finder(gap, 3, zero);
    finder.computeBounds();
    EXPECT_EQ(finder.strong(0, 2), strong) << thf;
    // The band holds the computed runs only, not 3 x 3 pairs.
    EXPECT_EQ(finder.bandPairs(), 2);
  }
}

// Overlapping neighbours worked out by hand. Every pair is computed with
// |D'| 0.9 unless listed (a negative value: not computed).
TEST(GabrielBlocks, OverlapRules) {
  const struct {
    const char* what;
    int n;
    Ranges blocks;
    std::map<std::pair<int, int>, double> dprime;
    Ranges expected;
  } cases[] = {
      {"smaller later block gives up the shared SNPs", 8, {{0, 4}, {3, 6}}, {}, {{0, 4}, {5, 6}}},
      {"a later block inside the earlier one disappears", 8, {{0, 4}, {1, 3}}, {}, {{0, 4}}},
      {"a later block left with one SNP is dropped", 8, {{0, 3}, {2, 4}}, {}, {{0, 3}}},
      {"larger later block takes the shared SNPs", 8, {{0, 3}, {2, 6}}, {}, {{0, 1}, {2, 6}}},
      {"an earlier block left with one SNP is dropped", 8, {{0, 2}, {1, 4}}, {}, {{1, 4}}},
      {"equal sizes: the later first pair is stronger", 5, {{0, 2}, {2, 4}}, {{{2, 3}, 0.95}, {{1, 2}, 0.90}},
       {{0, 1}, {2, 4}}},
      {"equal sizes: the earlier last pair is stronger", 5, {{0, 2}, {2, 4}}, {{{2, 3}, 0.90}, {{1, 2}, 0.95}},
       {{0, 2}, {3, 4}}},
      {"equal sizes: a tie keeps the earlier", 5, {{0, 2}, {2, 4}}, {{{2, 3}, 0.93}, {{1, 2}, 0.93}},
       {{0, 2}, {3, 4}}},
      {"an uncomputed boundary pair counts as 0", 5, {{0, 2}, {2, 4}}, {{{2, 3}, -1.0}, {{1, 2}, 0.1}},
       {{0, 2}, {3, 4}}},
      {"changes are followed through the list", 10, {{0, 3}, {2, 6}, {5, 7}, {7, 9}}, {},
       {{0, 1}, {2, 6}, {7, 9}}},
  };
  for (const auto& c : cases) {
    PairStore store = makeStore(c.n, [&](int i, int j) -> std::optional<PairLDSummary> {
      const auto it = c.dprime.find({i, j});
      const double d = it == c.dprime.end() ? 0.9 : it->second;
      if (d < 0) return std::nullopt;
      return PairLDSummary{d, 0.0, 0.3};
    });
    GabrielBlockFinder finder(store, c.n, GabrielThresholds());
    Ranges blocks = c.blocks;
    finder.removeOverlaps(blocks);
    EXPECT_EQ(blocks, c.expected) << c.what;
  }
}

// Gabriel's steps written out over dense bound matrices; console gets the
// "i~k " line of the candidates (k the last SNP examined).
Ranges literalBlocks(const PairStore& store, int n, const GabrielThresholds& t, std::string& console) {
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
  console.clear();
  for (int i = 0; i + 1 < n; ++i) {
    if (!strong(i, i + 1)) continue;
    std::vector<int> b = {i, i + 1};
    double st = 0, tot = 0;
    int last = i;
    for (int k = i + 2; k < n; ++k) {
      last = k;
      for (int a = i; a < k; ++a) {
        tot += 1;
        if (strong(a, k)) st += 1;
      }
      if (st / tot >= t.e)
        b.push_back(k);
      else
        break;
    }
    console += std::to_string(i) + "~" + std::to_string(last) + " ";
    blocks.push_back(b);
  }
  console += "\n";
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
  Ranges out;
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
      case 2: t.e = 0.0; break;  // every block runs to the last SNP
      case 3: t.uth = t.lth = t.thf = 0.0; t.e = 0.3 + 0.7 * unit(rng); break;  // uncomputed pairs strong
      case 4: t.e = 0.8; t.lth = 0.5; break;
      default: break;
    }
    // Rows split between up to four threads must change nothing.
    GabrielBlockFinder finder(store, n, t, 1 + trial % 4);
    finder.computeBounds();
    std::string console, expectedConsole;
    Ranges blocks = candidates(finder, &console);
    finder.removeOverlaps(blocks);
    ASSERT_EQ(blocks, literalBlocks(store, n, t, expectedConsole)) << "trial " << trial;
    ASSERT_EQ(console, expectedConsole) << "trial " << trial;
  }
}

}  // namespace
