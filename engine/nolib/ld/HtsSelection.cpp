#include "ld/HtsSelection.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <unordered_map>

#include "common_sgt/Parallel.h"

namespace {

double entropyTerm(int64_t count, double total) {
  const double x = static_cast<double>(count) / total;
  return x * std::log2(x);
}

// C(n, k), or limit + 1 once it exceeds limit.
int64_t boundedBinomial(int64_t n, int64_t k, int64_t limit) {
  if (k < 0 || k > n) return 0;
  if (k > n - k) k = n - k;
  // The running value is C(n - k + i, i), exact at every step.
  __int128 c = 1;
  for (int64_t i = 1; i <= k; ++i) {
    c = c * (n - k + i) / i;
    if (c > limit) return limit + 1;
  }
  return static_cast<int64_t>(c);
}

// Depth-first walk over the k-subsets of the remaining SNPs in lexicographic
// order. Each level refines the grouping of the haplotypes by one more SNP;
// groups are numbered in order of their first haplotype, which is the order
// in which equal sub-haplotypes are merged, so the entropy of a subset adds
// the same terms in the same order as merging the sub-haplotype texts would.
class SubsetSearch {
 public:
  SubsetSearch(const std::vector<std::vector<int>>& alleleIndex, const std::vector<int>& alleleCount,
               const std::vector<int>& counts, double total)
      : m_allele(alleleIndex), m_alleleCount(alleleCount), m_counts(counts), m_total(total) {
    m_h = static_cast<int>(counts.size());
    int maxAlleles = 1;
    for (int a : alleleCount) maxAlleles = a > maxAlleles ? a : maxAlleles;
    m_slotValue.assign(static_cast<size_t>(m_h) * maxAlleles, 0);
    m_slotStamp.assign(m_slotValue.size(), 0);
    m_groupCount.assign(m_h, 0);
  }

  // The first k-subset (indices into R) with the strictly greatest entropy.
  void run(int k, std::vector<int>& best, double& bestEntropy) {
    const int r = static_cast<int>(m_allele.size());
    m_k = k;
    m_r = r;
    m_labels.assign(static_cast<size_t>(k + 1), std::vector<int>(m_h, 0));
    m_groups.assign(static_cast<size_t>(k + 1), 1);
    m_subset.assign(k, 0);
    m_best = &best;
    m_bestEntropy = -1.0;
    descend(0, 0);
    bestEntropy = m_bestEntropy;
  }

 private:
  void descend(int depth, int from) {
    if (depth == m_k) {
      leaf();
      return;
    }
    // Leave room for the entries still to come.
    for (int j = from; j <= m_r - (m_k - depth); ++j) {
      m_subset[depth] = j;
      refine(depth, j);
      descend(depth + 1, j + 1);
    }
  }

  void refine(int depth, int j) {
    const std::vector<int>& parent = m_labels[depth];
    std::vector<int>& child = m_labels[depth + 1];
    const std::vector<int>& allele = m_allele[j];
    const int width = m_alleleCount[j];
    ++m_stamp;
    int groups = 0;
    for (int h = 0; h < m_h; ++h) {
      const size_t slot = static_cast<size_t>(parent[h]) * width + allele[h];
      if (m_slotStamp[slot] != m_stamp) {
        m_slotStamp[slot] = m_stamp;
        m_slotValue[slot] = groups++;
      }
      child[h] = m_slotValue[slot];
    }
    m_groups[depth + 1] = groups;
  }

  void leaf() {
    const std::vector<int>& labels = m_labels[m_k];
    const int groups = m_groups[m_k];
    for (int g = 0; g < groups; ++g) m_groupCount[g] = 0;
    for (int h = 0; h < m_h; ++h) m_groupCount[labels[h]] += m_counts[h];
    double sum = 0.0;
    for (int g = 0; g < groups; ++g)
      if (m_groupCount[g] > 0) sum += term(m_groupCount[g]);
    const double entropy = -sum;
    if (entropy > m_bestEntropy) {
      m_bestEntropy = entropy;
      *m_best = m_subset;
    }
  }

  double term(int64_t count) {
    if (count >= static_cast<int64_t>(m_termCache.size())) {
      const size_t old = m_termCache.size();
      m_termCache.resize(static_cast<size_t>(count) + 1);
      m_termKnown.resize(static_cast<size_t>(count) + 1, 0);
      for (size_t c = old; c < m_termCache.size(); ++c) m_termKnown[c] = 0;
    }
    if (!m_termKnown[count]) {
      m_termCache[count] = entropyTerm(count, m_total);
      m_termKnown[count] = 1;
    }
    return m_termCache[count];
  }

  const std::vector<std::vector<int>>& m_allele;
  const std::vector<int>& m_alleleCount;
  const std::vector<int>& m_counts;
  double m_total;
  int m_h = 0;
  int m_k = 0;
  int m_r = 0;
  std::vector<std::vector<int>> m_labels;
  std::vector<int> m_groups;
  std::vector<int> m_subset;
  std::vector<int>* m_best = nullptr;
  double m_bestEntropy = -1.0;
  std::vector<int> m_slotValue;
  std::vector<unsigned> m_slotStamp;
  unsigned m_stamp = 0;
  std::vector<int64_t> m_groupCount;
  std::vector<double> m_termCache;
  std::vector<char> m_termKnown;
};

char alleleAt(const std::string& haplotype, int p) {
  return p < static_cast<int>(haplotype.size()) ? haplotype[p] : '\0';
}

}  // namespace

double countEntropy(const std::vector<int64_t>& counts, double total) {
  double sum = 0.0;
  for (int64_t c : counts)
    if (c > 0) sum += entropyTerm(c, total);
  return -sum;
}

void selectHTS(LDBlock& block, double tolerance, int64_t subsetLimit) {
  block.tagSnps.clear();
  block.tagSnpCount = 0;
  const int h = static_cast<int>(block.haplotypes.size());
  const int m = static_cast<int>(block.snps.size());
  if (h == 0 || m == 0 || block.chromosomeTotal <= 0) {
    consolePrintf("num=0 at selectHTS\n");
    return;
  }
  const std::vector<std::string>& hap = block.haplotypes;

  // Each SNP splits the haplotypes into those carrying its first allele
  // (code 1) and the others (code 2). Two SNPs are redundant when one split
  // equals the other or its complement, i.e. when they agree on which
  // haplotypes differ from haplotype 0: that pattern is the key, and the
  // first SNP of each pattern is the one kept.
  std::vector<int> remaining;
  {
    std::unordered_map<std::string, int> seen;
    std::string pattern(static_cast<size_t>(h), '0');
    for (int p = 0; p < m; ++p) {
      const char first = alleleAt(hap[0], p);
      char second = first;
      bool hasSecond = false;
      for (int k = 1; k < h && !hasSecond; ++k) {
        if (alleleAt(hap[k], p) != first) {
          second = alleleAt(hap[k], p);
          hasSecond = true;
        }
      }
      int carryFirst = 0;
      int carrySecond = 0;
      for (int k = 0; k < h; ++k) {
        carryFirst += alleleAt(hap[k], p) == first;
        carrySecond += hasSecond && alleleAt(hap[k], p) == second;
      }
      // The rarer of the two (by haplotypes, not counts) becomes code 1.
      // Without a second allele every haplotype gets the same code either way.
      const bool swapped = carrySecond < carryFirst;
      const char coded1 = swapped ? second : first;
      const bool codedOneExists = !swapped || hasSecond;
      int code0 = 0;
      for (int k = 0; k < h; ++k) {
        const int code = codedOneExists && alleleAt(hap[k], p) == coded1 ? 1 : 2;
        if (k == 0) code0 = code;
        pattern[k] = code == code0 ? '0' : '1';
      }
      if (seen.emplace(pattern, p).second) remaining.push_back(p);
    }
  }
  const int r = static_cast<int>(remaining.size());
  std::vector<int> tags = remaining;

  const double total = static_cast<double>(block.chromosomeTotal);
  std::vector<int64_t> counts64(block.haplotypeCounts.begin(), block.haplotypeCounts.end());
  counts64.resize(static_cast<size_t>(h), 0);
  const double dhMax = countEntropy(counts64, total);

  // Alleles of the remaining SNPs as small numbers, for the grouping.
  std::vector<std::vector<int>> alleleIndex(r, std::vector<int>(h, 0));
  std::vector<int> alleleCount(r, 0);
  for (int j = 0; j < r; ++j) {
    int code[256];
    for (int& c : code) c = -1;
    for (int k = 0; k < h; ++k) {
      const unsigned char a = static_cast<unsigned char>(alleleAt(hap[k], remaining[j]));
      if (code[a] < 0) code[a] = alleleCount[j]++;
      alleleIndex[j][k] = code[a];
    }
  }
  std::vector<int> counts(block.haplotypeCounts.begin(), block.haplotypeCounts.end());
  counts.resize(static_cast<size_t>(h), 0);
  SubsetSearch search(alleleIndex, alleleCount, counts, total);

  int64_t examined = 0;
  for (int k = r - 1; k >= 1; --k) {
    const int64_t subsets = boundedBinomial(r, k, subsetLimit);
    if (subsets > subsetLimit - examined) {
      consolePrintf("selectHTS: search stopped at %d of %d SNPs\n", k + 1, r);
      break;
    }
    // Dropping SNPs never raises the entropy: without a positive tolerance
    // no subset can be accepted, so the subsets need not be examined.
    if (!(tolerance > 0.0)) break;
    std::vector<int> best;
    double bestEntropy = -1.0;
    search.run(k, best, bestEntropy);
    examined += subsets;
    if (dhMax - bestEntropy < tolerance) {
      tags.clear();
      for (int j : best) tags.push_back(remaining[j]);
    } else {
      break;
    }
  }
  block.tagSnps = tags;
  block.tagSnpCount = static_cast<int>(tags.size());
}
