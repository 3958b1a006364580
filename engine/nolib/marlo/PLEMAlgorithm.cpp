#include "marlo/PLEMAlgorithm.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>

#include "common_sgt/Settings.h"
#include "marlo/EMAlgorithm.h"

namespace {

constexpr uint64_t kHashMultiplier = 0x9E3779B97F4A7C15ull;
constexpr int kInitialCellSlotBits = 10;

long long physicalMemoryBytes() {
  long pages = sysconf(_SC_PHYS_PAGES);
  long pageSize = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return -1;
  return static_cast<long long>(pages) * pageSize;
}

// Complement of n haplotype letters against the genotype letter pairs g
// (two per marker); false at the first letter that is neither of its pair.
inline bool complementInto(const char* g, const char* h, int n, char* out) {
  for (int m = 0; m < n; ++m) {
    const char x = h[m];
    const char g1 = g[2 * m];
    const char g2 = g[2 * m + 1];
    if (x == g1)
      out[m] = g2;
    else if (x == g2)
      out[m] = g1;
    else
      return false;
  }
  return true;
}

}  // namespace

void BlockHaplotypeSet::set(int count, std::vector<std::string>&& list, int markers) {
  haplotypes = std::move(list);
  numHaplotypes = count;
  numMarkers = markers;
}

PLEMAlgorithm::PLEMAlgorithm() = default;
PLEMAlgorithm::~PLEMAlgorithm() = default;

const char* PLEMAlgorithm::labelText() const { return m_label.empty() ? "?" : m_label.c_str(); }

long long PLEMAlgorithm::memoryLimit() const {
  if (memoryLimitBytes > 0) return memoryLimitBytes;
  return physicalMemoryBytes();
}

bool PLEMAlgorithm::complementHaplotype(const std::string& genotype, int from, int to, const std::string& haplotype,
                                        std::string& complement) {
  complement.clear();
  const int n = to - from;
  if (from < 0 || n < 0 || haplotype.size() < static_cast<size_t>(n) ||
      genotype.size() < 2 * static_cast<size_t>(to))
    return false;
  complement.resize(n);
  if (!complementInto(genotype.data() + 2 * static_cast<size_t>(from), haplotype.data(), n, complement.data())) {
    complement.clear();
    return false;
  }
  return true;
}

int PLEMAlgorithm::blockSize(int b) const {
  if (b == numBlocks - 1 && blockLength > 0 && numMarkers % blockLength > 0) return numMarkers % blockLength;
  return blockLength;
}

void PLEMAlgorithm::releaseBlockPhenotypes() {
  m_ownedBlockPhenotypes.clear();
  m_ownedBlockPhenotypes.shrink_to_fit();
  blockPhenotypes = nullptr;
  numBlockPhenotypes = 0;
}

void PLEMAlgorithm::clearCells() {
  m_cellKey.clear();
  m_cellSlotBits = kInitialCellSlotBits;
  m_cellSlots.assign(size_t{1} << m_cellSlotBits, -1);
}

void PLEMAlgorithm::growCells() {
  ++m_cellSlotBits;
  m_cellSlots.assign(size_t{1} << m_cellSlotBits, -1);
  const size_t mask = m_cellSlots.size() - 1;
  for (size_t i = 0; i < m_cellKey.size(); ++i) {
    size_t s = (static_cast<uint64_t>(m_cellKey[i]) * kHashMultiplier) >> (64 - m_cellSlotBits);
    while (m_cellSlots[s] >= 0) s = (s + 1) & mask;
    m_cellSlots[s] = static_cast<int>(i);
  }
}

int PLEMAlgorithm::addCell(int64_t key) {
  const size_t mask = m_cellSlots.size() - 1;
  size_t s = (static_cast<uint64_t>(key) * kHashMultiplier) >> (64 - m_cellSlotBits);
  for (;; s = (s + 1) & mask) {
    const int i = m_cellSlots[s];
    if (i < 0) break;
    if (m_cellKey[i] == key) return i;
  }
  const int index = static_cast<int>(m_cellKey.size());
  m_cellKey.push_back(key);
  m_cellSlots[s] = index;
  // At most half full.
  if (m_cellKey.size() * 2 > m_cellSlots.size()) growCells();
  return index;
}

int PLEMAlgorithm::findCell(int64_t key) const {
  if (m_cellSlots.empty()) return -1;
  const size_t mask = m_cellSlots.size() - 1;
  for (size_t s = (static_cast<uint64_t>(key) * kHashMultiplier) >> (64 - m_cellSlotBits);; s = (s + 1) & mask) {
    const int i = m_cellSlots[s];
    if (i < 0) return -1;
    if (m_cellKey[i] == key) return i;
  }
}

void PLEMAlgorithm::clearResults() {
  releaseBlockPhenotypes();
  ligationRecords.clear();
  blocks.clear();
  numBlocks = 0;
  m_cellOffset.clear();
  m_cell1.clear();
  m_cell2.clear();
  m_cellKey.clear();
  m_cellSlots.clear();
  m_cellSlotBits = 0;
  m_frequency.clear();
  m_numRight = 0;
  m_complete = false;
  m_finalLeftMarkers = 0;
  m_finalLeftIndex.clear();
  m_finalRightIndex.clear();
  m_expected.clear();
  largestCombinationSpace = 0;
  largestCellCount = 0;
  joins = 0;
}

bool PLEMAlgorithm::perform() {
  clearResults();
  if (blockLength < 1) {
    printf("PLEM (sample type %s): block length %d is below 1\n", labelText(), blockLength);
    fflush(stdout);
    return false;
  }
  if (!(ligationEps > 0.0)) {
    printf("PLEM (sample type %s): the convergence threshold %g is not positive; a join would never end\n",
           labelText(), ligationEps);
    fflush(stdout);
    return false;
  }
  if (numMarkers <= blockLength) {
    printf("PLEM (sample type %s): %d markers fit in one block of %d; partition-ligation needs two blocks or more\n",
           labelText(), numMarkers, blockLength);
    fflush(stdout);
    return false;
  }
  if (numPheno < 1 || !phenotypes || numIndividuals < 1) {
    printf("PLEM (sample type %s): no genotypes to estimate\n", labelText());
    fflush(stdout);
    return false;
  }
  for (int p = 0; p < numPheno; ++p) {
    if (phenotypes[p].genotype.size() != 2 * static_cast<size_t>(numMarkers)) {
      printf("PLEM (sample type %s): genotype #%d holds %zu letters for %d markers\n", labelText(), p,
             phenotypes[p].genotype.size(), numMarkers);
      fflush(stdout);
      return false;
    }
  }
  bool ok = false;
  try {
    ok = buildInitialHaplotypeSet() && mergeBlocks();
  } catch (const std::bad_alloc&) {
    printf("PLEM (sample type %s): not enough memory for the estimation\n", labelText());
    ok = false;
  }
  if (!ok) {
    const long long largest = largestCombinationSpace, cells = largestCellCount;
    const int joined = joins;
    clearResults();
    largestCombinationSpace = largest;
    largestCellCount = cells;
    joins = joined;
  } else {
    // Only the records, cells and copies of the last join are read from here on.
    m_ownedBlockPhenotypes.clear();
    m_frequency.clear();
    m_frequency.shrink_to_fit();
  }
  fflush(stdout);
  return ok;
}

void PLEMAlgorithm::buildBlockPhenotypes(int start, int size) {
  releaseBlockPhenotypes();
  std::vector<std::string> cuts;
  std::vector<int> counts;
  std::unordered_map<std::string, int> entry;
  entry.reserve(static_cast<size_t>(numPheno) * 2);
  for (int p = 0; p < numPheno; ++p) {
    std::string cut = phenotypes[p].genotype.substr(2 * static_cast<size_t>(start), 2 * static_cast<size_t>(size));
    auto [it, added] = entry.try_emplace(cut, static_cast<int>(cuts.size()));
    if (added) {
      cuts.push_back(std::move(cut));
      counts.push_back(phenotypes[p].count);
    } else {
      counts[it->second] += phenotypes[p].count;
    }
  }
  m_ownedBlockPhenotypes.resize(cuts.size());
  for (size_t i = 0; i < cuts.size(); ++i) m_ownedBlockPhenotypes[i].setGenotype(std::move(cuts[i]), counts[i]);
  blockPhenotypes = m_ownedBlockPhenotypes.data();
  numBlockPhenotypes = static_cast<int>(m_ownedBlockPhenotypes.size());
}

bool PLEMAlgorithm::buildInitialHaplotypeSet() {
  numBlocks = numMarkers / blockLength + (numMarkers % blockLength > 0 ? 1 : 0);
  if (g_debugLevel >= 1) printf("Build Initial Haplotype Set for %d Markers, %d Blocks\n", numMarkers, numBlocks);
  blocks.assign(numBlocks, BlockHaplotypeSet());
  for (int b = 0; b < numBlocks; ++b) {
    const int start = b * blockLength;
    const int size = blockSize(b);
    buildBlockPhenotypes(start, size);
    EMAlgorithm em;
    em.setLabel(m_label);
    em.setData(blockPhenotypes, size, numBlockPhenotypes, numIndividuals);
    if (g_debugLevel >= 1)
      printf(" Make Haplotype Block %d/%d [%d~%d)\n", b + 1, numBlocks, start, (b + 1) * blockLength);
    if (!em.performEM()) {
      printf("PLEM (sample type %s): the haplotypes of markers %d to %d cannot be estimated\n", labelText(),
             start + 1, start + size);
      return false;
    }
    // The table of expected copies is traversed in order of first insertion
    // (genotype by genotype, pair by pair, haplotype1 before haplotype2),
    // which is the order in which the block EM numbered its haplotypes.
    // Genotypes without members take part in nothing.
    std::vector<double> copies(em.numHaplotypes(), 0.0);
    for (int p = 0; p < numBlockPhenotypes; ++p) {
      const Phenotype& ph = blockPhenotypes[p];
      if (ph.count < 1) continue;
      const int* i1 = em.pairHaplotype1.data() + em.pairOffset[p];
      const int* i2 = em.pairHaplotype2.data() + em.pairOffset[p];
      for (int j = 0; j < ph.numPairs; ++j) {
        const double c = ph.count * ph.pairWeight[j];
        copies[i1[j]] += c;
        copies[i2[j]] += c;
      }
    }
    std::vector<std::string> kept;
    for (int i = 0; i < static_cast<int>(copies.size()); ++i)
      if (copies[i] >= plemEps) kept.push_back(em.haplotypeText(i));
    const int n = static_cast<int>(kept.size());
    blocks[b].set(n, std::move(kept), size);
  }
  releaseBlockPhenotypes();
  return true;
}

bool PLEMAlgorithm::mergeBlocks() {
  if (g_debugLevel >= 2) printf(" Merging Blocks\n");
  for (;;) {
    int out = 0;
    for (int i = 0; i < numBlocks; i += 2) {
      if (i + 1 < numBlocks) {
        if (numBlocks < 3) {
          if (g_debugLevel >= 2) printf(" - merge %d,%d to nothing", i, i + 1);
          BlockHaplotypeSet scratch;
          if (!ligate(i, scratch)) return false;
        } else {
          if (g_debugLevel >= 2) printf(" - merge %d,%d to %d", i, i + 1, out);
          if (!ligate(i, blocks[out])) return false;
        }
        if (g_debugLevel >= 2)
          printf(" ... size=%d, =%d haplotypes\n", blocks[out].numMarkers, blocks[out].numHaplotypes);
      }
      if (i == numBlocks - 1) {
        if (g_debugLevel >= 2) printf(" - copy %d to %d\n", i, out);
        if (i != out) blocks[out] = blocks[i];
      }
      ++out;
    }
    if (out == 1) break;
    numBlocks = out;
    blocks.resize(numBlocks);
    blockLength *= 2;
  }
  return true;
}

void PLEMAlgorithm::reportNoFit(int phenotype, int rangeFrom, int rangeTo) const {
  if (g_debugLevel >= 1) printf("  %dth phenotype: numAllele1*numAllele2=S=0, Cannot merge\n", phenotype);
  printf("PLEM (sample type %s): a genotype fits no pair of the retained block haplotypes over markers %d to %d; "
         "there is no estimate for this sample type\n",
         labelText(), rangeFrom + 1, rangeTo);
}

void PLEMAlgorithm::reportNoMemory(long long bytes, int rangeFrom, int rangeTo) const {
  printf("PLEM (sample type %s): the join of markers %d to %d needs about %lld MB, more than this machine has; "
         "there is no estimate for this sample type\n",
         labelText(), rangeFrom + 1, rangeTo, bytes >> 20);
}

bool PLEMAlgorithm::buildRecords(const BlockHaplotypeSet& left, const BlockHaplotypeSet& right, int rightFrom,
                                 int rightTo, int rangeFrom, int rangeTo) {
  const int leftTo = rightFrom;
  const int numLeftHaplotypes = left.numHaplotypes;
  const int numRightHaplotypes = right.numHaplotypes;
  // Complements are looked up by text; the first entry of a text wins.
  std::unordered_map<std::string, int> leftIndex, rightIndex;
  leftIndex.reserve(numLeftHaplotypes * 2 + 1);
  rightIndex.reserve(numRightHaplotypes * 2 + 1);
  for (int x = 0; x < numLeftHaplotypes; ++x) leftIndex.try_emplace(left.haplotypes[x], x);
  for (int x = 0; x < numRightHaplotypes; ++x) rightIndex.try_emplace(right.haplotypes[x], x);

  ligationRecords.assign(numBlockPhenotypes, LigationRecord());
  // Stamps of the current genotype: a left haplotype already in an option,
  // a right haplotype already first in one.
  std::vector<int> leftMember(numLeftHaplotypes, -1), rightFirst(numRightHaplotypes, -1);
  std::string buffer;
  for (int p = 0; p < numBlockPhenotypes; ++p) {
    const Phenotype& ph = blockPhenotypes[p];
    LigationRecord& rec = ligationRecords[p];
    rec.count = ph.count;
    const char* g = ph.genotype.data();
    buffer.resize(leftTo);
    for (int x = 0; x < numLeftHaplotypes; ++x) {
      if (leftMember[x] == p) continue;
      if (!complementInto(g, left.haplotypes[x].data(), leftTo, buffer.data())) continue;
      auto it = leftIndex.find(buffer);
      if (it == leftIndex.end()) continue;
      const int y = it->second;
      rec.leftOptions.emplace_back(x, y);
      leftMember[x] = p;
      leftMember[y] = p;
    }
    const int rightSize = rightTo - rightFrom;
    buffer.resize(rightSize);
    for (int x = 0; x < numRightHaplotypes; ++x) {
      if (rightFirst[x] == p) continue;
      if (!complementInto(g + 2 * static_cast<size_t>(rightFrom), right.haplotypes[x].data(), rightSize,
                          buffer.data()))
        continue;
      auto it = rightIndex.find(buffer);
      if (it == rightIndex.end()) continue;
      rec.rightOptions.emplace_back(x, it->second);
      rightFirst[x] = p;
    }
    rec.numLeft = static_cast<int>(rec.leftOptions.size());
    rec.numRight = static_cast<int>(rec.rightOptions.size());
    if (rec.numLeft == 0 || rec.numRight == 0) {
      reportNoFit(p, rangeFrom, rangeTo);
      ligationRecords.clear();
      return false;
    }
  }
  if (numBlocks <= 2) {
    m_finalLeftIndex = std::move(leftIndex);
    m_finalRightIndex = std::move(rightIndex);
    m_finalLeftMarkers = leftTo;
  }
  return true;
}

bool PLEMAlgorithm::numberCells(int numRightHaplotypes, const BlockHaplotypeSet& left,
                                const BlockHaplotypeSet& right, int rangeFrom, int rangeTo) {
  long long combinations = 0;
  for (const LigationRecord& rec : ligationRecords)
    combinations += static_cast<long long>(rec.numLeft) * rec.numRight;
  const long long space = static_cast<long long>(left.numHaplotypes) * right.numHaplotypes;
  const long long cellsAtMost = std::min(2 * combinations, space);
  // Weights and the two cell numbers per combination; per cell its
  // frequency, key, expected copies and up to four hash slots.
  const long long bytes = combinations * static_cast<long long>(sizeof(double) + 2 * sizeof(int)) +
                          cellsAtMost * static_cast<long long>(3 * sizeof(double) + 4 * sizeof(int));
  const long long limit = memoryLimit();
  const bool fits = cellsAtMost < 0x7fffffffLL && (limit <= 0 || bytes <= limit);
  if (fits) {
    try {
      m_cellOffset.assign(ligationRecords.size(), 0);
      m_cell1.clear();
      m_cell2.clear();
      m_cell1.reserve(combinations);
      m_cell2.reserve(combinations);
      clearCells();
      for (size_t p = 0; p < ligationRecords.size(); ++p) {
        LigationRecord& rec = ligationRecords[p];
        const size_t s = static_cast<size_t>(rec.numLeft) * rec.numRight;
        rec.weight.assign(s, 1.0 / static_cast<double>(s));
        m_cellOffset[p] = static_cast<int64_t>(m_cell1.size());
        for (const auto& a : rec.leftOptions) {
          const int64_t base1 = static_cast<int64_t>(a.first) * numRightHaplotypes;
          const int64_t base2 = static_cast<int64_t>(a.second) * numRightHaplotypes;
          for (const auto& b : rec.rightOptions) {
            m_cell1.push_back(addCell(base1 + b.first));
            m_cell2.push_back(addCell(base2 + b.second));
          }
        }
      }
      m_frequency.assign(m_cellKey.size(), 0.0);
      largestCellCount = std::max(largestCellCount, static_cast<long long>(m_cellKey.size()));
      return true;
    } catch (const std::bad_alloc&) {
    }
  }
  if (space <= kLargeCombinationSpace)
    printf("alle1.numAlle:%d, alle2.numAlle:%d, totAlle:%lld, from:%d, to:%d\n", left.numHaplotypes,
           right.numHaplotypes, space, rangeFrom, rangeTo - rangeFrom - blockLength);
  reportNoMemory(bytes, rangeFrom, rangeTo);
  ligationRecords.clear();
  m_cellOffset.clear();
  m_cell1.clear();
  m_cell2.clear();
  m_cellKey.clear();
  m_cellSlots.clear();
  m_frequency.clear();
  return false;
}

void PLEMAlgorithm::runJoinEm() {
  const double n = static_cast<double>(numIndividuals);
  const int records = static_cast<int>(ligationRecords.size());
  double s1 = 0.0;
  for (const LigationRecord& rec : ligationRecords) {
    const int c = rec.count;
    if (c > 0) s1 += log(c * (c + 1.0) / 2.0);
  }
  const double constant = log(numPheno * (numPheno + 1.0) / 2.0) - s1;
  double lPrev = 0.0;
  int iterations = 1;
  for (;;) {
    // Maximisation.
    std::fill(m_frequency.begin(), m_frequency.end(), 0.0);
    for (LigationRecord& rec : ligationRecords) {
      double sum = 0.0;
      for (double w : rec.weight) sum += w;
      rec.weightSum = sum;
    }
    double* f = m_frequency.data();
    for (int p = 0; p < records; ++p) {
      LigationRecord& rec = ligationRecords[p];
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
    for (const LigationRecord& rec : ligationRecords)
      if (rec.count > 0) s2 += rec.count * log(rec.weightSum);
    const double l = constant + s2;
    if (fabs(lPrev - l) < ligationEps) break;
    lPrev = l;
    // Expectation.
    for (int p = 0; p < records; ++p) {
      LigationRecord& rec = ligationRecords[p];
      const int* c1 = m_cell1.data() + m_cellOffset[p];
      const int* c2 = m_cell2.data() + m_cellOffset[p];
      double* w = rec.weight.data();
      const size_t s = rec.weight.size();
      for (size_t k = 0; k < s; ++k) {
        w[k] = f[c2[k]] * f[c1[k]];
        if (c1[k] != c2[k]) w[k] = w[k] * 2.0;
      }
    }
    if (++iterations > kMaxIterations) {
      printf("Warning: PLEM join stopped after %d iterations without convergence (sample type %s); "
             "the estimate of the last iteration is used\n",
             kMaxIterations, labelText());
      break;
    }
  }
}

void PLEMAlgorithm::joinPosteriors() {
  const double* f = m_frequency.data();
  for (size_t p = 0; p < ligationRecords.size(); ++p) {
    LigationRecord& rec = ligationRecords[p];
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

void PLEMAlgorithm::addExpectedCopies(std::vector<double>& copies) const {
  copies.assign(m_cellKey.size(), 0.0);
  for (size_t p = 0; p < ligationRecords.size(); ++p) {
    const LigationRecord& rec = ligationRecords[p];
    const int* c1 = m_cell1.data() + m_cellOffset[p];
    const int* c2 = m_cell2.data() + m_cellOffset[p];
    for (size_t k = 0; k < rec.weight.size(); ++k) {
      const double c = rec.count * rec.weight[k];
      copies[c1[k]] += c;
      copies[c2[k]] += c;
    }
  }
}

void PLEMAlgorithm::storeBestPairs(const BlockHaplotypeSet& left, const BlockHaplotypeSet& right) {
  for (size_t p = 0; p < ligationRecords.size(); ++p) {
    LigationRecord& rec = ligationRecords[p];
    const int* c1 = m_cell1.data() + m_cellOffset[p];
    const int* c2 = m_cell2.data() + m_cellOffset[p];
    const size_t s = rec.weight.size();
    // Among equal weights the last combination wins.
    double best = -1.0;
    size_t index = 0;
    for (size_t k = 0; k < s; ++k) {
      if (rec.weight[k] >= best) {
        best = rec.weight[k];
        index = k;
      }
    }
    const std::pair<int, int>& a = rec.leftOptions[index / rec.numRight];
    const std::pair<int, int>& b = rec.rightOptions[index % rec.numRight];
    rec.bestHaplotype1 = left.haplotypes[a.first] + right.haplotypes[b.first];
    rec.bestHaplotype2 = left.haplotypes[a.second] + right.haplotypes[b.second];
    // The probability of the unordered pair: over a homozygous left option
    // the two orders of a heterozygous right option are the same pair.
    const int h1 = c1[index], h2 = c2[index];
    double probability = 0.0;
    for (size_t k = 0; k < s; ++k)
      if ((c1[k] == h1 && c2[k] == h2) || (c1[k] == h2 && c2[k] == h1)) probability += rec.weight[k];
    rec.bestProbability = probability;
  }
}

bool PLEMAlgorithm::ligate(int l, BlockHaplotypeSet& out) {
  const int r = l + 1;
  const BlockHaplotypeSet& left = blocks[l];
  const BlockHaplotypeSet& right = blocks[r];
  const long long space = static_cast<long long>(left.numHaplotypes) * right.numHaplotypes;
  const int rightSize = blockSize(r);
  const int rangeFrom = l * blockLength;
  const int width = blockLength + rightSize;
  ++joins;
  largestCombinationSpace = std::max(largestCombinationSpace, space);
  if (space > kLargeCombinationSpace)
    printf("alle1.numAlle:%d, alle2.numAlle:%d, totAlle:%lld, from:%d, to:%d\n", left.numHaplotypes,
           right.numHaplotypes, space, rangeFrom, rightSize);
  if (width < numMarkers) {
    buildBlockPhenotypes(rangeFrom, width);
  } else {
    releaseBlockPhenotypes();
    blockPhenotypes = phenotypes;
    numBlockPhenotypes = numPheno;
  }
  if (!buildRecords(left, right, blockLength, width, rangeFrom, rangeFrom + width)) return false;
  m_numRight = right.numHaplotypes;
  if (!numberCells(right.numHaplotypes, left, right, rangeFrom, rangeFrom + width)) return false;
  runJoinEm();
  joinPosteriors();
  if (numBlocks > 2) {
    std::vector<double> copies;
    addExpectedCopies(copies);
    // The table of expected copies in order of first insertion: the cell
    // numbering.
    std::vector<std::string> kept;
    for (size_t i = 0; i < copies.size(); ++i) {
      if (!(copies[i] >= plemEps)) continue;
      const int64_t key = m_cellKey[i];
      kept.push_back(left.haplotypes[key / m_numRight] + right.haplotypes[key % m_numRight]);
    }
    const int n = static_cast<int>(kept.size());
    const int markers = left.numMarkers + right.numMarkers;
    out.set(n, std::move(kept), markers);
  } else {
    storeBestPairs(left, right);
    addExpectedCopies(m_expected);
    m_complete = true;
  }
  return true;
}

void PLEMAlgorithm::getBestPair(int i, HaplotypePair& result) {
  result.haplotype1.clear();
  result.haplotype2.clear();
  result.probability = 0.0;
  if (!m_complete || i < 0 || i >= numBlockPhenotypes || i >= static_cast<int>(ligationRecords.size())) return;
  const LigationRecord& rec = ligationRecords[i];
  const bool swapped = rec.bestHaplotype2 < rec.bestHaplotype1;
  result.haplotype1 = swapped ? rec.bestHaplotype2 : rec.bestHaplotype1;
  result.haplotype2 = swapped ? rec.bestHaplotype1 : rec.bestHaplotype2;
  result.probability = rec.bestProbability;
}

void PLEMAlgorithm::expectedCount(const std::string& haplotype, double& total) {
  if (!m_complete || haplotype.size() != static_cast<size_t>(numMarkers)) return;
  auto a = m_finalLeftIndex.find(haplotype.substr(0, m_finalLeftMarkers));
  if (a == m_finalLeftIndex.end()) return;
  auto b = m_finalRightIndex.find(haplotype.substr(m_finalLeftMarkers));
  if (b == m_finalRightIndex.end()) return;
  const int cell = findCell(static_cast<int64_t>(a->second) * m_numRight + b->second);
  if (cell < 0) return;
  // From a zero total the kept sum is the same sequence of additions.
  if (total == 0.0 && !std::signbit(total)) {
    total = m_expected[cell];
    return;
  }
  for (size_t p = 0; p < ligationRecords.size(); ++p) {
    const LigationRecord& rec = ligationRecords[p];
    const int* c1 = m_cell1.data() + m_cellOffset[p];
    const int* c2 = m_cell2.data() + m_cellOffset[p];
    for (size_t k = 0; k < rec.weight.size(); ++k) {
      if (c1[k] == cell) total += rec.count * rec.weight[k];
      if (c2[k] == cell) total += rec.count * rec.weight[k];
    }
  }
}
