#include "ld/GabrielBlocks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "common_sgt/Parallel.h"

namespace {

constexpr double kTolerance = 0.00001;

bool meets(double upper, double lower, double freq, const GabrielThresholds& t) {
  return upper >= t.uth - kTolerance && lower >= t.lth - kTolerance && freq >= t.thf - kTolerance;
}

}  // namespace

GabrielBlockFinder::GabrielBlockFinder(const PairStore& pairs, int snpCount, const GabrielThresholds& thresholds,
                                       unsigned workers)
    : m_pairs(pairs), m_snpCount(snpCount < 0 ? 0 : snpCount), m_thresholds(thresholds), m_workers(workers) {
  m_zeroStrong = meets(0.0, 0.0, 0.0, m_thresholds);
}

LDBlock GabrielBlockFinder::toBlock(const BlockRange& range) {
  LDBlock block(range.first, range.first + 1);
  for (int k = range.first + 2; k <= range.last; ++k) block.snps.push_back(k);
  return block;
}

std::vector<int64_t> GabrielBlockFinder::rowRanges() const {
  const int64_t rows = m_snpCount > 1 ? m_snpCount - 1 : 0;
  const int64_t parts = std::max<int64_t>(1, std::min<int64_t>(m_workers, rows));
  std::vector<int64_t> bounds(static_cast<size_t>(parts) + 1);
  for (int64_t q = 0; q <= parts; ++q) bounds[q] = rows * q / parts;
  return bounds;
}

void GabrielBlockFinder::computeBounds() {
  const size_t n = static_cast<size_t>(m_snpCount);
  m_rowStart.assign(n, 0);
  m_rowLength.assign(n, 0);
  m_strong.clear();
  // Each range of rows gathers its flags apart; they are joined in row order.
  const std::vector<int64_t> bounds = rowRanges();
  std::vector<std::vector<unsigned char>> flags(bounds.size() - 1);
  parallelRanges(bounds, [&](int64_t from, int64_t to) {
    auto& mine = flags[static_cast<size_t>(std::lower_bound(bounds.begin(), bounds.end(), from) - bounds.begin())];
    for (int i = static_cast<int>(from); i < to; ++i) {
      int length = 0;
      for (int j = i + 1; j < m_snpCount; ++j) {
        const PairLDSummary* pair = m_pairs.find(i, j);
        if (!pair || pair->varDprime < 0.0) break;
        const double s = 1.96 * sqrt(pair->varDprime);
        const double upper = pair->absDprime + s;
        const double lower = pair->absDprime - s;
        mine.push_back(meets(upper, lower, pair->minorFreq, m_thresholds) ? 1 : 0);
        ++length;
      }
      m_rowLength[i] = length;
    }
  });
  size_t total = 0;
  for (const auto& f : flags) total += f.size();
  m_strong.reserve(total);
  for (auto& f : flags) {
    m_strong.insert(m_strong.end(), f.begin(), f.end());
    std::vector<unsigned char>().swap(f);
  }
  for (int i = 0; i + 1 < m_snpCount; ++i) m_rowStart[i + 1] = m_rowStart[i] + m_rowLength[i];

  // The same pairs by second SNP: rows ascending within each column.
  m_columnStart.assign(n + 1, 0);
  for (int a = 0; a + 1 < m_snpCount; ++a)
    for (int k = a + 1; k <= a + m_rowLength[a]; ++k) ++m_columnStart[k + 1];
  for (size_t k = 0; k < n; ++k) m_columnStart[k + 1] += m_columnStart[k];
  m_columnRow.assign(m_strong.size(), 0);
  std::vector<int64_t> fill(m_columnStart.begin(), m_columnStart.end() - 1);
  for (int a = 0; a + 1 < m_snpCount; ++a)
    for (int k = a + 1; k <= a + m_rowLength[a]; ++k) m_columnRow[fill[k]++] = a;
  m_columnStrong.assign(m_strong.size() + n, 0);
  for (size_t k = 0; k < n; ++k) {
    const int64_t begin = m_columnStart[k];
    const int64_t count = m_columnStart[k + 1] - begin;
    int* prefix = m_columnStrong.data() + begin + k;
    prefix[0] = 0;
    for (int64_t t = 0; t < count; ++t)
      prefix[t + 1] = prefix[t] + (strong(m_columnRow[begin + t], static_cast<int>(k)) ? 1 : 0);
  }
}

bool GabrielBlockFinder::strong(int a, int b) const {
  if (a < 0 || b <= a || b >= m_snpCount) return false;
  const int offset = b - a - 1;
  if (offset < m_rowLength[a]) return m_strong[static_cast<size_t>(m_rowStart[a] + offset)] != 0;
  return m_zeroStrong;
}

int64_t GabrielBlockFinder::strongInColumn(int k, int from) const {
  if (k <= from || k >= m_snpCount || from < 0) return 0;
  const int* rowsBegin = m_columnRow.data() + m_columnStart[k];
  const int* rowsEnd = m_columnRow.data() + m_columnStart[k + 1];
  const int* at = std::lower_bound(rowsBegin, rowsEnd, from);
  const int* prefix = m_columnStrong.data() + m_columnStart[k] + k;
  const int64_t inBand = rowsEnd - at;
  int64_t count = prefix[rowsEnd - rowsBegin] - prefix[at - rowsBegin];
  if (m_zeroStrong) count += (k - from) - inBand;
  return count;
}

double GabrielBlockFinder::absDprime(int a, int b) const {
  const PairLDSummary* pair = m_pairs.find(a, b);
  return pair ? pair->absDprime : 0.0;
}

std::vector<BlockRange> GabrielBlockFinder::candidateBlocks(const std::function<void(int)>& progress) const {
  // Each range of first SNPs extends its blocks apart, printing into its own
  // buffers; blocks and text are taken in order.
  const std::vector<int64_t> bounds = rowRanges();
  const size_t parts = bounds.size() - 1;
  std::vector<std::vector<BlockRange>> found(parts);
  std::vector<std::string> out(parts), err(parts);
  auto extend = [&](int64_t from, int64_t to, std::vector<BlockRange>& blocks) {
    const double e = m_thresholds.e;
    for (int i = static_cast<int>(from); i < to; ++i) {
      if (progress) progress(i);
      if (!strong(i, i + 1)) continue;
      BlockRange block{i, i + 1};
      int lastExamined = i;
      if (e <= 0.0) {
        // Every fraction is at least 0: the block runs to the last SNP.
        if (i + 2 < m_snpCount) block.last = lastExamined = m_snpCount - 1;
      } else {
        // Pairs (a, b) with i <= a < b <= k and b >= i + 2, counted column by
        // column.
        int64_t strongPairs = 0;
        int64_t totalPairs = 0;
        for (int k = i + 2; k < m_snpCount; ++k) {
          lastExamined = k;
          totalPairs += k - i;
          strongPairs += strongInColumn(k, i);
          if (static_cast<double>(strongPairs) / static_cast<double>(totalPairs) >= e)
            block.last = k;
          else
            break;
        }
      }
      consolePrintf("%d~%d ", i, lastExamined);
      blocks.push_back(block);
    }
  };
  if (parts == 1) {
    std::vector<BlockRange> blocks;
    extend(bounds[0], bounds[1], blocks);
    consolePrintf("\n");
    return blocks;
  }
  parallelRanges(bounds, [&](int64_t from, int64_t to) {
    const size_t q = static_cast<size_t>(std::lower_bound(bounds.begin(), bounds.end(), from) - bounds.begin());
    ConsoleCapture capture(out[q], &err[q]);
    extend(from, to, found[q]);
  });
  std::vector<BlockRange> blocks;
  for (size_t q = 0; q < parts; ++q) {
    consolePrintf("%s", out[q].c_str());
    if (!err[q].empty()) consoleErrorText(err[q]);
    blocks.insert(blocks.end(), found[q].begin(), found[q].end());
  }
  consolePrintf("\n");
  return blocks;
}

void GabrielBlockFinder::removeOverlaps(std::vector<BlockRange>& blocks) const {
  // A change at u leaves every pair of neighbours before u - 1 as it was (and
  // those did not overlap), so walking again from u - 1 meets the same
  // blocks as walking again from the start.
  size_t u = 0;
  while (u + 1 < blocks.size()) {
    BlockRange& a = blocks[u];
    BlockRange& b = blocks[u + 1];
    if (a.last < b.first) {
      ++u;
      continue;
    }
    const int overlap = a.last - b.first + 1;
    const bool trimLater =
        b.size() < a.size() ||
        (b.size() == a.size() && !(absDprime(b.first, b.first + 1) > absDprime(a.last - 1, a.last)));
    if (trimLater) {
      b.first += std::min(overlap, b.size());
      if (b.size() <= 1) blocks.erase(blocks.begin() + static_cast<std::ptrdiff_t>(u) + 1);
    } else {
      a.last -= std::min(overlap, a.size());
      if (a.size() < 2) blocks.erase(blocks.begin() + static_cast<std::ptrdiff_t>(u));
    }
    u = u > 0 ? u - 1 : 0;
  }
}
