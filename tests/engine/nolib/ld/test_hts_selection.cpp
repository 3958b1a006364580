// Tag SNP selection: the strict tolerance and the subset limit by hand, and
// everything else against the rules written out step by step on random
// blocks (third alleles, single haplotypes, redundant SNPs, totals above the
// counts, tolerances from 0 to above the entropy).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "ld/HtsSelection.h"
#include "ld/LDBlock.h"

namespace {

LDBlock makeBlock(const std::vector<std::string>& haplotypes, const std::vector<int>& counts, int total) {
  LDBlock block;
  const int m = haplotypes.empty() ? 0 : static_cast<int>(haplotypes[0].size());
  for (int p = 0; p < m; ++p) block.snps.push_back(10 + p);
  block.haplotypes = haplotypes;
  block.haplotypeCounts = counts;
  block.haplotypeCount = static_cast<int>(haplotypes.size());
  block.chromosomeTotal = total;
  return block;
}

std::vector<int> tagsOf(LDBlock block, double tolerance, int64_t limit = kHtsSubsetLimit) {
  selectHTS(block, tolerance, limit);
  EXPECT_EQ(block.tagSnpCount, static_cast<int>(block.tagSnps.size()));
  return block.tagSnps;
}

// The selection written out step by step as the rules read: codes 1/2 with
// the rarer-by-haplotypes allele swap, the nested redundancy loop, every
// k-subset by the next-subset rule, sub-haplotype texts merged in order of
// first appearance, entropies with log2.
std::vector<int> literalSelection(const std::vector<std::string>& hap, const std::vector<int>& counts, int total,
                                  double tolerance) {
  const int h = static_cast<int>(hap.size());
  const int m = static_cast<int>(hap[0].size());
  std::vector<std::vector<int>> code(h, std::vector<int>(m));
  for (int p = 0; p < m; ++p) {
    // The first allele of haplotype 0 and the first other one; the one
    // carried by fewer haplotypes is code 1, everything else code 2.
    char first = hap[0][p], second = 0;
    for (int k = 1; k < h && !second; ++k)
      if (hap[k][p] != first) second = hap[k][p];
    int c1 = 0, c2 = 0;
    for (int k = 0; k < h; ++k) {
      c1 += hap[k][p] == first;
      c2 += second && hap[k][p] == second;
    }
    const char coded = second && c2 < c1 ? second : first;
    for (int k = 0; k < h; ++k) code[k][p] = hap[k][p] == coded ? 1 : 2;
  }
  std::vector<int> r;
  for (int p = 0; p < m; ++p) r.push_back(p);
  for (size_t i0 = 0; i0 < r.size(); ++i0) {
    size_t i1 = i0 + 1;
    while (i1 < r.size()) {
      const int d = std::abs(code[0][r[i0]] - code[0][r[i1]]);
      bool same = true;
      for (int k = 1; k < h; ++k) same = same && std::abs(code[k][r[i0]] - code[k][r[i1]]) == d;
      if (same)
        r.erase(r.begin() + static_cast<long>(i1));
      else
        ++i1;
    }
  }
  auto entropy = [&](const std::vector<int>& cs) {
    double s = 0.0;
    for (int c : cs) s += static_cast<double>(c) / total * std::log2(static_cast<double>(c) / total);
    return -s;
  };
  const double dhMax = entropy(counts);
  std::vector<int> tags = r;
  const int rs = static_cast<int>(r.size());
  for (int k = rs - 1; k >= 1; --k) {
    std::vector<int> idx(k);
    for (int i = 0; i < k; ++i) idx[i] = i;
    double best = -1.0;
    std::vector<int> bestSet;
    for (;;) {
      std::vector<std::string> subs;
      std::vector<int> merged;
      for (int hh = 0; hh < h; ++hh) {
        std::string s;
        for (int i : idx) s += hap[hh][r[i]];
        size_t at = 0;
        while (at < subs.size() && subs[at] != s) ++at;
        if (at == subs.size()) {
          subs.push_back(s);
          merged.push_back(0);
        }
        merged[at] += counts[hh];
      }
      const double dh = entropy(merged);
      if (dh > best) {
        best = dh;
        bestSet = idx;
      }
      int i = k - 1;
      while (i >= 0 && idx[i] == rs - k + i) --i;
      if (i < 0) break;
      ++idx[i];
      for (int j = i + 1; j < k; ++j) idx[j] = idx[j - 1] + 1;
    }
    if (dhMax - best < tolerance) {
      tags.clear();
      for (int i : bestSet) tags.push_back(r[i]);
    } else {
      break;
    }
  }
  return tags;
}

TEST(HtsSelection, ToleranceBetweenTheSizesStopsAtTheLastAcceptedSize) {
  // DHmax of 10, 4, 3, 3 over 20; dropping SNP 2 merges AAA and AAG
  // (13, 4, 3); dropping two leaves (16, 4).
  const std::vector<std::string> hap = {"AAA", "GAA", "AGA", "AAG"};
  const std::vector<int64_t> full = {10, 4, 3, 3};
  const double dhMax = countEntropy(full, 20);
  const double two = countEntropy({13, 4, 3}, 20);
  const double one = countEntropy({16, 4}, 20);
  ASSERT_GT(dhMax - two, 0.0);
  ASSERT_GT(dhMax - one, dhMax - two);
  // Just above the loss of size 2: accepted; size 1 loses more: stop there.
  const double tolerance = (dhMax - two + dhMax - one) / 2;
  EXPECT_EQ(tagsOf(makeBlock(hap, {10, 4, 3, 3}, 20), tolerance), std::vector<int>({0, 1}));
  // A tolerance equal to the loss is not enough (the loss must be below it).
  EXPECT_EQ(tagsOf(makeBlock(hap, {10, 4, 3, 3}, 20), dhMax - two), std::vector<int>({0, 1, 2}));
}

TEST(HtsSelection, SubsetLimitStopsTheSearchAndSaysWhere) {
  // Four non-redundant SNPs; sizes 3, 2, 1 need 4 + 6 + 4 = 14 subsets. A
  // limit of 9 stops before size 2 and keeps the size-3 list, 3 stops before
  // any subset; exactly at the limit the search goes on.
  const LDBlock block = makeBlock({"AAAA", "GAAA", "AGAA", "AAGA", "AAAG"}, {8, 3, 3, 3, 3}, 20);
  const struct {
    int64_t limit;
    const char* console;
    std::vector<int> tags;
  } cases[] = {{9, "selectHTS: search stopped at 3 of 4 SNPs\n", {0, 1, 2}},
               {3, "selectHTS: search stopped at 4 of 4 SNPs\n", {0, 1, 2, 3}},
               {14, "", {0}}};
  for (const auto& c : cases) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(tagsOf(block, 100.0, c.limit), c.tags) << c.limit;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.console) << c.limit;
  }
}

TEST(HtsSelection, AgreesWithTheLiteralProcedureOnRandomBlocks) {
  std::mt19937 rng(12345);
  const char letters[] = {'A', 'C', 'G', 'T'};
  for (int trial = 0; trial < 3000; ++trial) {
    const int m = 1 + static_cast<int>(rng() % 7);
    const int h = 1 + static_cast<int>(rng() % 10);
    const int alphabet = 2 + static_cast<int>(rng() % 2);
    std::vector<std::string> hap;
    for (int attempt = 0; attempt < 100 && static_cast<int>(hap.size()) < h; ++attempt) {
      std::string s;
      for (int p = 0; p < m; ++p) s += letters[rng() % alphabet];
      bool dup = false;
      for (const std::string& t : hap) dup = dup || t == s;
      if (!dup) hap.push_back(s);
    }
    std::vector<int> counts;
    int total = 0;
    for (size_t k = 0; k < hap.size(); ++k) {
      counts.push_back(1 + static_cast<int>(rng() % 30));
      total += counts.back();
    }
    total += static_cast<int>(rng() % 5);
    std::vector<int64_t> c64(counts.begin(), counts.end());
    const double dhMax = countEntropy(c64, total);
    const double tolerances[] = {0.0, dhMax * 0.05, dhMax * 0.3, dhMax * 0.7, dhMax + 1.0};
    const double tolerance = tolerances[trial % 5];
    testing::internal::CaptureStdout();
    std::vector<int> fast = tagsOf(makeBlock(hap, counts, total), tolerance);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(fast, literalSelection(hap, counts, total, tolerance)) << "trial " << trial;
  }
}

}  // namespace
