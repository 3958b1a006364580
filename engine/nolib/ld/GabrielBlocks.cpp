#include "ld/GabrielBlocks.h"

#include <cmath>
#include <cstdio>

namespace {

constexpr double kTolerance = 0.00001;

bool meets(double upper, double lower, double freq, const GabrielThresholds& t) {
  return upper >= t.uth - kTolerance && lower >= t.lth - kTolerance && freq >= t.thf - kTolerance;
}

}  // namespace

GabrielBlockFinder::GabrielBlockFinder(const PairStore& pairs, int snpCount, const GabrielThresholds& thresholds)
    : m_pairs(pairs), m_snpCount(snpCount < 0 ? 0 : snpCount), m_thresholds(thresholds) {
  m_zeroStrong = meets(0.0, 0.0, 0.0, m_thresholds);
}

void GabrielBlockFinder::computeBounds() {
  m_rowStart.assign(static_cast<size_t>(m_snpCount), 0);
  m_rowLength.assign(static_cast<size_t>(m_snpCount), 0);
  m_strong.clear();
  m_strong.reserve(static_cast<size_t>(m_pairs.pairCount()));
  for (int i = 0; i + 1 < m_snpCount; ++i) {
    m_rowStart[i] = static_cast<int64_t>(m_strong.size());
    int length = 0;
    for (int j = i + 1; j < m_snpCount; ++j) {
      const PairLDSummary* pair = m_pairs.find(i, j);
      if (!pair || pair->varDprime < 0.0) break;
      const double s = 1.96 * sqrt(pair->varDprime);
      const double upper = pair->absDprime + s;
      const double lower = pair->absDprime - s;
      m_strong.push_back(meets(upper, lower, pair->minorFreq, m_thresholds) ? 1 : 0);
      ++length;
    }
    m_rowLength[i] = length;
  }
}

bool GabrielBlockFinder::strong(int a, int b) const {
  if (a < 0 || b <= a || b >= m_snpCount) return false;
  const int offset = b - a - 1;
  if (offset < m_rowLength[a]) return m_strong[static_cast<size_t>(m_rowStart[a] + offset)] != 0;
  return m_zeroStrong;
}

double GabrielBlockFinder::absDprime(int a, int b) const {
  const PairLDSummary* pair = m_pairs.find(a, b);
  return pair ? pair->absDprime : 0.0;
}

std::vector<LDBlock> GabrielBlockFinder::candidateBlocks(const std::function<void(int)>& progress) const {
  std::vector<LDBlock> blocks;
  for (int i = 0; i + 1 < m_snpCount; ++i) {
    if (progress) progress(i);
    if (!strong(i, i + 1)) continue;
    LDBlock block(i, i + 1);
    int64_t strongPairs = 0;
    int64_t totalPairs = 0;
    int lastExamined = i;
    for (int k = i + 2; k < m_snpCount; ++k) {
      lastExamined = k;
      for (int a = i; a < k; ++a) {
        ++totalPairs;
        if (strong(a, k)) ++strongPairs;
      }
      if (static_cast<double>(strongPairs) / static_cast<double>(totalPairs) >= m_thresholds.e) {
        block.snps.push_back(k);
      } else {
        break;
      }
    }
    printf("%d~%d ", i, lastExamined);
    blocks.push_back(std::move(block));
  }
  printf("\n");
  return blocks;
}

void GabrielBlockFinder::removeOverlaps(std::vector<LDBlock>& blocks) const {
  // A change at u leaves every pair of neighbours before u - 1 as it was (and
  // those did not overlap), so walking again from u - 1 meets the same
  // blocks as walking again from the start.
  size_t u = 0;
  while (u + 1 < blocks.size()) {
    LDBlock& a = blocks[u];
    LDBlock& b = blocks[u + 1];
    if (a.lastSnp() < b.firstSnp()) {
      ++u;
      continue;
    }
    const int overlap = a.lastSnp() - b.firstSnp() + 1;
    const bool trimLater =
        b.size() < a.size() ||
        (b.size() == a.size() &&
         !(absDprime(b.firstSnp(), b.firstSnp() + 1) > absDprime(a.lastSnp() - 1, a.lastSnp())));
    if (trimLater) {
      const int cut = overlap < b.size() ? overlap : b.size();
      b.snps.erase(b.snps.begin(), b.snps.begin() + cut);
      if (b.size() <= 1) blocks.erase(blocks.begin() + static_cast<std::ptrdiff_t>(u) + 1);
    } else {
      const int cut = overlap < a.size() ? overlap : a.size();
      a.snps.resize(a.snps.size() - static_cast<size_t>(cut));
      if (a.size() < 2) blocks.erase(blocks.begin() + static_cast<std::ptrdiff_t>(u));
    }
    u = u > 0 ? u - 1 : 0;
  }
}
