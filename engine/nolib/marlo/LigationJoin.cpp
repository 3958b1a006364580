#include "marlo/LigationJoin.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>

#include "common_sgt/AvailableMemory.h"
#include "common_sgt/Parallel.h"
#include "common_sgt/Settings.h"

long long joinMemoryLimit(long long configuredBytes, long long needed) {
  if (configuredBytes > 0) return configuredBytes;
  if (needed >= 0 && needed < (16LL << 20)) return -1;
  const long long available = availableMemoryBytes();
  return available > 0 ? available / 10 * 9 : -1;
}

size_t bestCombination(const std::vector<double>& weight) {
  double best = -1.0;
  size_t index = 0;
  for (size_t k = 0; k < weight.size(); ++k) {
    if (weight[k] >= best) {
      best = weight[k];
      index = k;
    }
  }
  return index;
}

void reportJoinNoMemory(const char* label, long long bytes, int rangeFrom, int rangeTo) {
  consolePrintf("PLEM (sample type %s): the join of markers %d to %d needs about %lld MB, more than this machine has "
         "available; there is no estimate for this sample type\n",
         label, rangeFrom + 1, rangeTo, bytes >> 20);
}

void LigationJoin::clearCells() {
  std::vector<int64_t>().swap(m_cellOffset);
  std::vector<int>().swap(m_cell1);
  std::vector<int>().swap(m_cell2);
  std::vector<int>().swap(m_cellLeft);
  std::vector<int>().swap(m_cellRight);
  std::vector<double>().swap(m_frequency);
}

void JoinMemoryBudget::acquire(long long bytes) {
  if (m_limit <= 0) return;  // unknown: nothing to share out
  std::unique_lock<std::mutex> lock(m_mutex);
  m_room.wait(lock, [&] { return m_inUse == 0 || m_inUse + bytes <= m_limit; });
  m_inUse += bytes;
}

void JoinMemoryBudget::release(long long bytes) {
  if (m_limit <= 0) return;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_inUse -= bytes;
  }
  m_room.notify_all();
}

LigationJoin::~LigationJoin() { releaseBudget(); }

void LigationJoin::releaseBudget() {
  if (m_budgetHeld > 0 && m_settings.budget) m_settings.budget->release(m_budgetHeld);
  m_budgetHeld = 0;
}

void LigationJoin::clear() {
  releaseBudget();
  m_records.clear();
  clearCells();
  m_complete = false;
  m_numRight = 0;
  m_finalLeftMarkers = 0;
  m_finalMarkers = 0;
  m_finalLeftIndex.clear();
  m_finalRightIndex.clear();
  m_bestPairCopies.clear();
}

bool LigationJoin::run(const Settings& settings, PlemBlockTree& tree, int leftNode, int rightNode,
                       const BlockHaplotypeSet& left, const BlockHaplotypeSet& right, const Phenotype* genotypes,
                       int numGenotypes, int rangeFrom, int rangeTo, bool last, JoinFigures& figures,
                       int firstStamp) {
  releaseBudget();
  m_settings = settings;
  if (!buildRecords(tree, leftNode, rightNode, genotypes, numGenotypes, rangeFrom, rangeTo, firstStamp)) return false;
  m_numRight = right.numHaplotypes;
  if (!numberCells(left, right, rangeFrom, rangeTo, last, figures)) return false;
  figures.iterations = runJoinEm();
  joinPosteriors();
  if (!last) {
    expectedCopiesIntoFrequency();
    // Only the copies, the halves and the order of the cells are read from
    // here on.
    std::vector<int64_t>().swap(m_cellOffset);
    std::vector<int>().swap(m_cell1);
    std::vector<int>().swap(m_cell2);
    m_records.clear();
    return true;
  }
  storeBestPairs(left, right);
  keepBestPairCopies();
  clearCells();
  finalTextIndexes(left, right);
  m_complete = true;
  return true;
}

void LigationJoin::reportNoFit(int phenotype, int rangeFrom, int rangeTo) const {
  if (g_debugLevel >= 1) consolePrintf("  %dth phenotype: numAllele1*numAllele2=S=0, Cannot merge\n", phenotype);
  consolePrintf("PLEM (sample type %s): a genotype fits no pair of the retained block haplotypes over markers %d to %d; "
         "there is no estimate for this sample type\n",
         m_settings.label, rangeFrom + 1, rangeTo);
}

bool LigationJoin::buildRecords(PlemBlockTree& tree, int leftNode, int rightNode, const Phenotype* genotypes,
                                int numGenotypes, int rangeFrom, int rangeTo, int firstStamp) {
  m_records.assign(numGenotypes, LigationRecord());
  // Stamps of the current genotype: a left haplotype already in an option,
  // a right haplotype already first in one.
  std::vector<int> leftMember(tree.count(leftNode), -1), rightFirst(tree.count(rightNode), -1);
  for (int p = 0; p < numGenotypes; ++p) {
    const Phenotype& ph = genotypes[p];
    LigationRecord& rec = m_records[p];
    rec.count = ph.count;
    const int stamp = firstStamp + p;
    tree.findComplements(leftNode, ph.genotype.data(), rangeFrom, stamp);
    tree.findComplements(rightNode, ph.genotype.data(), rangeFrom, stamp);
    // In list order, as every haplotype would be tried in turn.
    for (int x : tree.found(leftNode)) {
      if (leftMember[x] == p) continue;
      const int y = tree.complement(leftNode, x);
      rec.leftOptions.emplace_back(x, y);
      leftMember[x] = p;
      leftMember[y] = p;
    }
    for (int x : tree.found(rightNode)) {
      if (rightFirst[x] == p) continue;
      rec.rightOptions.emplace_back(x, tree.complement(rightNode, x));
      rightFirst[x] = p;
    }
    rec.numLeft = static_cast<int>(rec.leftOptions.size());
    rec.numRight = static_cast<int>(rec.rightOptions.size());
    if (rec.numLeft == 0 || rec.numRight == 0) {
      reportNoFit(p, rangeFrom, rangeTo);
      m_records.clear();
      return false;
    }
  }
  return true;
}

void LigationJoin::startWeights(long long combinations) {
  const size_t records = m_records.size();
  m_cellOffset.assign(records, 0);
  int64_t offset = 0;
  for (size_t p = 0; p < records; ++p) {
    LigationRecord& rec = m_records[p];
    const size_t s = static_cast<size_t>(rec.numLeft) * rec.numRight;
    rec.weight.assign(s, 1.0 / static_cast<double>(s));
    m_cellOffset[p] = offset;
    offset += static_cast<int64_t>(s);
  }
  m_cell1.assign(combinations, -1);
  m_cell2.assign(combinations, -1);
}

// Cells are numbered left haplotype by left haplotype: for left haplotype x
// every record side that holds x pairs it with the right haplotypes of that
// side, and a stamp array over the right haplotypes finds the cells already
// numbered for x. No table over the L x R space is needed.
int LigationJoin::numberByLeftHaplotype(int numLeftHaplotypes, int numRightHaplotypes, long long sides,
                                        long long cellsAtMost, bool last) {
  const size_t records = m_records.size();
  // Record sides grouped by left haplotype (counting sort): record p,
  // left option a, side 0 (first) or 1 (second).
  std::vector<int> start(numLeftHaplotypes + 1, 0);
  for (const LigationRecord& rec : m_records)
    for (const auto& a : rec.leftOptions) {
      ++start[a.first + 1];
      ++start[a.second + 1];
    }
  for (int x = 0; x < numLeftHaplotypes; ++x) start[x + 1] += start[x];
  std::vector<int> sideRecord(sides), sideOption(sides), fill(start.begin(), start.end() - 1);
  std::vector<unsigned char> sideWhich(sides);
  for (size_t p = 0; p < records; ++p) {
    const LigationRecord& rec = m_records[p];
    for (int a = 0; a < rec.numLeft; ++a) {
      const auto& option = rec.leftOptions[a];
      int at = fill[option.first]++;
      sideRecord[at] = static_cast<int>(p);
      sideOption[at] = a;
      sideWhich[at] = 0;
      at = fill[option.second]++;
      sideRecord[at] = static_cast<int>(p);
      sideOption[at] = a;
      sideWhich[at] = 1;
    }
  }
  std::vector<int>().swap(fill);

  std::vector<int> stamp(numRightHaplotypes, -1), cellOf(numRightHaplotypes, -1);
  int cells = 0;
  if (!last) {
    m_cellLeft.reserve(cellsAtMost);
    m_cellRight.reserve(cellsAtMost);
  }
  for (int x = 0; x < numLeftHaplotypes; ++x) {
    for (int e = start[x]; e < start[x + 1]; ++e) {
      const LigationRecord& rec = m_records[sideRecord[e]];
      const bool second = sideWhich[e] != 0;
      int* target = (second ? m_cell2.data() : m_cell1.data()) + m_cellOffset[sideRecord[e]] +
                    static_cast<int64_t>(sideOption[e]) * rec.numRight;
      for (int b = 0; b < rec.numRight; ++b) {
        const int y = second ? rec.rightOptions[b].second : rec.rightOptions[b].first;
        if (stamp[y] != x) {
          stamp[y] = x;
          cellOf[y] = cells++;
          if (!last) {
            m_cellLeft.push_back(x);
            m_cellRight.push_back(y);
          }
        }
        target[b] = cellOf[y];
      }
    }
  }
  return cells;
}

void LigationJoin::renumberByFirstUse(int cells, long long combinations, bool last) {
  // Renumbered in order of first use (record by record, combination by
  // combination, H1 before H2): the order of first insertion into the
  // table of expected copies, and neighbouring combinations then mostly
  // touch neighbouring frequencies.
  std::vector<int> renumber(cells, -1);
  int next = 0;
  for (int64_t k = 0; k < combinations; ++k) {
    int& a = renumber[m_cell1[k]];
    if (a < 0) a = next++;
    m_cell1[k] = a;
    int& b = renumber[m_cell2[k]];
    if (b < 0) b = next++;
    m_cell2[k] = b;
  }
  if (!last) {
    std::vector<int> halves(cells);
    for (int c = 0; c < cells; ++c) halves[renumber[c]] = m_cellLeft[c];
    m_cellLeft.swap(halves);
    for (int c = 0; c < cells; ++c) halves[renumber[c]] = m_cellRight[c];
    m_cellRight.swap(halves);
  }
}

bool LigationJoin::numberCells(const BlockHaplotypeSet& left, const BlockHaplotypeSet& right, int rangeFrom,
                               int rangeTo, bool last, JoinFigures& figures) {
  const int numLeftHaplotypes = left.numHaplotypes;
  const int numRightHaplotypes = right.numHaplotypes;
  long long combinations = 0, sides = 0;
  for (const LigationRecord& rec : m_records) {
    combinations += static_cast<long long>(rec.numLeft) * rec.numRight;
    sides += 2LL * rec.numLeft;
  }
  const long long space = static_cast<long long>(numLeftHaplotypes) * numRightHaplotypes;
  const long long cellsAtMost = std::min(2 * combinations, space);
  // Per combination its weight and two cell numbers; per cell its frequency,
  // its new number while cells are renumbered and, before the last join,
  // its two halves (twice while they are renumbered); the record sides
  // grouped by left haplotype; two arrays over the right haplotypes.
  const long long perCell = static_cast<long long>(sizeof(double) + sizeof(int)) + (last ? 0 : 3 * sizeof(int));
  const long long bytes = combinations * static_cast<long long>(sizeof(double) + 2 * sizeof(int)) +
                          cellsAtMost * perCell + sides * 3 * static_cast<long long>(sizeof(int)) +
                          (numLeftHaplotypes + 1LL + 2LL * numRightHaplotypes) * static_cast<long long>(sizeof(int));
  const long long limit = joinMemoryLimit(m_settings.memoryLimitBytes, bytes);
  const bool fits = cellsAtMost <= 0x7fffffffLL && (limit <= 0 || bytes <= limit);
  figures.combinations = combinations;
  if (fits) {
    if (m_settings.budget) {
      m_settings.budget->acquire(bytes);
      m_budgetHeld = bytes;
    }
    try {
      startWeights(combinations);
      const int cells = numberByLeftHaplotype(numLeftHaplotypes, numRightHaplotypes, sides, cellsAtMost, last);
      figures.cells = cells;
      renumberByFirstUse(cells, combinations, last);
      m_frequency.assign(cells, 0.0);
      return true;
    } catch (const std::bad_alloc&) {
    }
  }
  if (space <= kLargeCombinationSpace)
    consolePrintf("alle1.numAlle:%d, alle2.numAlle:%d, totAlle:%lld, from:%d, to:%d\n", numLeftHaplotypes,
           numRightHaplotypes, space, rangeFrom, right.numMarkers);
  reportJoinNoMemory(m_settings.label, bytes, rangeFrom, rangeTo);
  m_records.clear();
  clearCells();
  releaseBudget();
  return false;
}

int LigationJoin::runJoinEm() {
  const double n = static_cast<double>(m_settings.numIndividuals);
  const int records = static_cast<int>(m_records.size());
  double s1 = 0.0;
  for (const LigationRecord& rec : m_records) {
    const int c = rec.count;
    if (c > 0) s1 += log(c * (c + 1.0) / 2.0);
  }
  const double constant = log(m_settings.numPheno * (m_settings.numPheno + 1.0) / 2.0) - s1;
  double lPrev = 0.0;
  int iterations = 1;
  // The sums of the starting weights; later ones are made by the expectation
  // step as it writes the weights (the same additions in the same order).
  for (LigationRecord& rec : m_records) {
    double sum = 0.0;
    for (double w : rec.weight) sum += w;
    rec.weightSum = sum;
  }
  double* f = m_frequency.data();
  for (;;) {
    // Maximisation.
    std::fill(m_frequency.begin(), m_frequency.end(), 0.0);
    for (int p = 0; p < records; ++p) {
      LigationRecord& rec = m_records[p];
      const double factor = static_cast<double>(rec.count) / (n * rec.weightSum);
      const int* c1 = m_cell1.data() + m_cellOffset[p];
      const int* c2 = m_cell2.data() + m_cellOffset[p];
      double* w = rec.weight.data();
      const size_t s = rec.weight.size();
      for (size_t k = 0; k < s; ++k) {
        w[k] = w[k] * factor;
        const double m = (s == 1 && c1[k] == c2[k]) ? 2.0 : 1.0;
        const double a = m * w[k] * 0.5;
        f[c1[k]] += a;
        if (m < 1.5) f[c2[k]] += a;
      }
    }
    // Likelihood.
    double s2 = 0.0;
    for (const LigationRecord& rec : m_records)
      if (rec.count > 0) s2 += rec.count * log(rec.weightSum);
    const double l = constant + s2;
    if (fabs(lPrev - l) < m_settings.eps) break;
    lPrev = l;
    // Expectation.
    for (int p = 0; p < records; ++p) {
      LigationRecord& rec = m_records[p];
      const int* c1 = m_cell1.data() + m_cellOffset[p];
      const int* c2 = m_cell2.data() + m_cellOffset[p];
      double* w = rec.weight.data();
      const size_t s = rec.weight.size();
      double sum = 0.0;
      for (size_t k = 0; k < s; ++k) {
        w[k] = f[c2[k]] * f[c1[k]];
        if (c1[k] != c2[k]) w[k] = w[k] * 2.0;
        sum += w[k];
      }
      rec.weightSum = sum;
    }
    if (++iterations > kMaxIterations) {
      consolePrintf("Warning: PLEM join stopped after %d iterations without convergence (sample type %s); "
             "the estimate of the last iteration is used\n",
             kMaxIterations, m_settings.label);
      break;
    }
  }
  return iterations;
}

void LigationJoin::joinPosteriors() {
  const double* f = m_frequency.data();
  for (size_t p = 0; p < m_records.size(); ++p) {
    LigationRecord& rec = m_records[p];
    const int* c1 = m_cell1.data() + m_cellOffset[p];
    const int* c2 = m_cell2.data() + m_cellOffset[p];
    double* w = rec.weight.data();
    const size_t s = rec.weight.size();
    double sum = 0.0;
    for (size_t k = 0; k < s; ++k) {
      w[k] = f[c2[k]] * f[c1[k]];
      sum += w[k];
    }
    for (size_t k = 0; k < s; ++k) w[k] = w[k] / sum;
  }
}

void LigationJoin::expectedCopiesIntoFrequency() {
  std::fill(m_frequency.begin(), m_frequency.end(), 0.0);
  double* copies = m_frequency.data();
  for (size_t p = 0; p < m_records.size(); ++p) {
    const LigationRecord& rec = m_records[p];
    const int* c1 = m_cell1.data() + m_cellOffset[p];
    const int* c2 = m_cell2.data() + m_cellOffset[p];
    for (size_t k = 0; k < rec.weight.size(); ++k) {
      const double c = rec.count * rec.weight[k];
      copies[c1[k]] += c;
      copies[c2[k]] += c;
    }
  }
}

void LigationJoin::storeBestPairs(const BlockHaplotypeSet& left, const BlockHaplotypeSet& right) {
  for (size_t p = 0; p < m_records.size(); ++p) {
    LigationRecord& rec = m_records[p];
    const int* c1 = m_cell1.data() + m_cellOffset[p];
    const int* c2 = m_cell2.data() + m_cellOffset[p];
    const size_t s = rec.weight.size();
    const size_t index = bestCombination(rec.weight);
    const std::pair<int, int>& a = rec.leftOptions[index / rec.numRight];
    const std::pair<int, int>& b = rec.rightOptions[index % rec.numRight];
    rec.bestHaplotype1.assign(left.haplotype(a.first));
    rec.bestHaplotype1.append(right.haplotype(b.first));
    rec.bestHaplotype2.assign(left.haplotype(a.second));
    rec.bestHaplotype2.append(right.haplotype(b.second));
    // The probability of the unordered pair: over a homozygous left option
    // the two orders of a heterozygous right option are the same pair.
    const int h1 = c1[index], h2 = c2[index];
    double probability = 0.0;
    for (size_t k = 0; k < s; ++k)
      if ((c1[k] == h1 && c2[k] == h2) || (c1[k] == h2 && c2[k] == h1)) probability += rec.weight[k];
    rec.bestProbability = probability;
  }
}

// The writers ask expectedCount for the haplotypes of the best pairs; their
// copies are summed here in one pass, in the order expectedCount adds them.
void LigationJoin::keepBestPairCopies() {
  const int64_t r = m_numRight;
  std::unordered_map<int, double*> wanted;
  std::vector<bool> isWanted(m_frequency.size(), false);
  m_bestPairCopies.clear();
  for (size_t p = 0; p < m_records.size(); ++p) {
    const LigationRecord& rec = m_records[p];
    const int* c1 = m_cell1.data() + m_cellOffset[p];
    const int* c2 = m_cell2.data() + m_cellOffset[p];
    const size_t index = bestCombination(rec.weight);
    const auto& a = rec.leftOptions[index / rec.numRight];
    const auto& b = rec.rightOptions[index % rec.numRight];
    // Values of an unordered_map stay where they are while it grows.
    wanted.try_emplace(c1[index], &m_bestPairCopies[a.first * r + b.first]);
    wanted.try_emplace(c2[index], &m_bestPairCopies[a.second * r + b.second]);
    isWanted[c1[index]] = true;
    isWanted[c2[index]] = true;
  }
  for (size_t p = 0; p < m_records.size(); ++p) {
    const LigationRecord& rec = m_records[p];
    const int* c1 = m_cell1.data() + m_cellOffset[p];
    const int* c2 = m_cell2.data() + m_cellOffset[p];
    for (size_t k = 0; k < rec.weight.size(); ++k) {
      if (isWanted[c1[k]]) *wanted[c1[k]] += rec.count * rec.weight[k];
      if (isWanted[c2[k]]) *wanted[c2[k]] += rec.count * rec.weight[k];
    }
  }
}

void LigationJoin::finalTextIndexes(const BlockHaplotypeSet& left, const BlockHaplotypeSet& right) {
  m_finalLeftIndex.clear();
  m_finalRightIndex.clear();
  m_finalLeftIndex.reserve(static_cast<size_t>(left.numHaplotypes) * 2 + 1);
  m_finalRightIndex.reserve(static_cast<size_t>(right.numHaplotypes) * 2 + 1);
  for (int x = 0; x < left.numHaplotypes; ++x) m_finalLeftIndex.try_emplace(left.haplotype(x), x);
  for (int x = 0; x < right.numHaplotypes; ++x) m_finalRightIndex.try_emplace(right.haplotype(x), x);
  m_finalLeftMarkers = left.numMarkers;
  m_finalMarkers = left.numMarkers + right.numMarkers;
}

void LigationJoin::getBestPair(int i, HaplotypePair& result) const {
  result.haplotype1.clear();
  result.haplotype2.clear();
  result.probability = 0.0;
  if (!m_complete || i < 0 || i >= static_cast<int>(m_records.size())) return;
  const LigationRecord& rec = m_records[i];
  const bool swapped = rec.bestHaplotype2 < rec.bestHaplotype1;
  result.haplotype1 = swapped ? rec.bestHaplotype2 : rec.bestHaplotype1;
  result.haplotype2 = swapped ? rec.bestHaplotype1 : rec.bestHaplotype2;
  result.probability = rec.bestProbability;
}

void LigationJoin::expectedCount(const std::string& haplotype, double& total) const {
  if (!m_complete || haplotype.size() != static_cast<size_t>(m_finalMarkers)) return;
  const std::string_view h(haplotype);
  auto a = m_finalLeftIndex.find(h.substr(0, m_finalLeftMarkers));
  if (a == m_finalLeftIndex.end()) return;
  auto b = m_finalRightIndex.find(h.substr(m_finalLeftMarkers));
  if (b == m_finalRightIndex.end()) return;
  const int64_t r = m_numRight;
  const int64_t key = a->second * r + b->second;
  // From a zero total the kept sum is the same sequence of additions.
  if (total == 0.0 && !std::signbit(total)) {
    auto kept = m_bestPairCopies.find(key);
    if (kept != m_bestPairCopies.end()) {
      total = kept->second;
      return;
    }
  }
  for (const LigationRecord& rec : m_records) {
    for (int i = 0; i < rec.numLeft; ++i) {
      const int64_t base1 = rec.leftOptions[i].first * r;
      const int64_t base2 = rec.leftOptions[i].second * r;
      const double* w = rec.weight.data() + static_cast<size_t>(i) * rec.numRight;
      for (int j = 0; j < rec.numRight; ++j) {
        if (base1 + rec.rightOptions[j].first == key) total += rec.count * w[j];
        if (base2 + rec.rightOptions[j].second == key) total += rec.count * w[j];
      }
    }
  }
}
