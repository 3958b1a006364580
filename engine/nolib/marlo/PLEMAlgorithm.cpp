#include "marlo/PLEMAlgorithm.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <unordered_map>

#include "common_sgt/Console.h"
#include "common_sgt/Parallel.h"
#include "common_sgt/Settings.h"
#include "marlo/EMAlgorithm.h"

PLEMAlgorithm::PLEMAlgorithm() = default;
PLEMAlgorithm::~PLEMAlgorithm() = default;

const char* PLEMAlgorithm::labelText() const { return m_label.empty() ? "?" : m_label.c_str(); }

long long PLEMAlgorithm::memoryLimit() const { return joinMemoryLimit(memoryLimitBytes); }

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
  if (b == m_numBlocks - 1 && m_levelLength > 0 && numMarkers % m_levelLength > 0) return numMarkers % m_levelLength;
  return m_levelLength;
}

void PLEMAlgorithm::releaseBlockPhenotypes() {
  m_ownedBlockPhenotypes.clear();
  m_ownedBlockPhenotypes.shrink_to_fit();
  m_blockPhenotypes = nullptr;
  m_numBlockPhenotypes = 0;
}

void PLEMAlgorithm::clearResults() {
  releaseBlockPhenotypes();
  m_blocks.clear();
  m_numBlocks = 0;
  m_join.clear();
  m_tree.clear();
  m_blockNode.clear();
}

bool PLEMAlgorithm::perform() {
  clearResults();
  joinFigures.clear();
  largestCombinationSpace = 0;
  m_levelLength = blockLength;
  if (blockLength < 1) {
    printFlushed("PLEM (sample type %s): block length %d is below 1\n", labelText(), blockLength);
    return false;
  }
  if (!(ligationEps > 0.0)) {
    printFlushed("PLEM (sample type %s): the convergence threshold %g is not positive; a join would never end\n",
                 labelText(), ligationEps);
    return false;
  }
  if (numMarkers <= blockLength) {
    printFlushed(
        "PLEM (sample type %s): %d markers fit in one block of %d; partition-ligation needs two blocks or more\n",
        labelText(), numMarkers, blockLength);
    return false;
  }
  if (numPheno < 1 || !phenotypes || numIndividuals < 1) {
    printFlushed("PLEM (sample type %s): no genotypes to estimate\n", labelText());
    return false;
  }
  for (int p = 0; p < numPheno; ++p) {
    if (phenotypes[p].genotype.size() != 2 * static_cast<size_t>(numMarkers)) {
      printFlushed("PLEM (sample type %s): genotype #%d holds %zu letters for %d markers\n", labelText(), p,
                   phenotypes[p].genotype.size(), numMarkers);
      return false;
    }
  }
  bool ok = false;
  try {
    ok = buildInitialHaplotypeSet() && mergeBlocks();
  } catch (const std::bad_alloc&) {
    consolePrintf("PLEM (sample type %s): not enough memory for the estimation\n", labelText());
    ok = false;
  }
  if (!ok) clearResults();
  consoleFlush();
  return ok;
}

namespace {

// The distinct genotypes over markers start .. start + size - 1, in order of
// first appearance, with their summed counts.
std::vector<Phenotype> cutPhenotypes(const Phenotype* phenotypes, int numPheno, int start, int size) {
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
  std::vector<Phenotype> out(cuts.size());
  for (size_t i = 0; i < cuts.size(); ++i) out[i].setGenotype(std::move(cuts[i]), counts[i]);
  return out;
}

}  // namespace

void PLEMAlgorithm::buildBlockPhenotypes(int start, int size) {
  releaseBlockPhenotypes();
  m_ownedBlockPhenotypes = cutPhenotypes(phenotypes, numPheno, start, size);
  m_blockPhenotypes = m_ownedBlockPhenotypes.data();
  m_numBlockPhenotypes = static_cast<int>(m_ownedBlockPhenotypes.size());
}

bool PLEMAlgorithm::buildInitialHaplotypeSet() {
  m_numBlocks = numMarkers / m_levelLength + (numMarkers % m_levelLength > 0 ? 1 : 0);
  if (g_debugLevel >= 1) consolePrintf("Build Initial Haplotype Set for %d Markers, %d Blocks\n", numMarkers, m_numBlocks);
  m_blocks.assign(m_numBlocks, BlockHaplotypeSet());
  // Each block's EM runs on a worker (its random start seeds the worker's
  // own generator); the kept haplotypes and printed lines are taken in
  // block order.
  struct BlockResult {
    std::string console;
    std::string kept;
    int count = 0;
    bool ok = true;
  };
  const size_t window = orderedWindow(workers, 0);
  std::vector<BlockResult> slots(window);
  auto compute = [&](int64_t task, unsigned) {
    const int b = static_cast<int>(task);
    BlockResult& r = slots[static_cast<size_t>(task % static_cast<int64_t>(window))];
    r = BlockResult();
    ConsoleCapture capture(r.console);
    const int start = b * m_levelLength;
    const int size = blockSize(b);
    std::vector<Phenotype> cut = cutPhenotypes(phenotypes, numPheno, start, size);
    const int numCut = static_cast<int>(cut.size());
    EMAlgorithm em;
    em.setLabel(m_label);
    em.setData(cut.data(), size, numCut, numIndividuals);
    if (g_debugLevel >= 1)
      consolePrintf(" Make Haplotype Block %d/%d [%d~%d)\n", b + 1, m_numBlocks, start, (b + 1) * m_levelLength);
    if (!em.performEM()) {
      consolePrintf("PLEM (sample type %s): the haplotypes of markers %d to %d cannot be estimated\n", labelText(),
                    start + 1, start + size);
      r.ok = false;
      return;
    }
    // The table of expected copies is traversed in order of first insertion
    // (genotype by genotype, pair by pair, haplotype1 before haplotype2),
    // which is the order in which the block EM numbered its haplotypes.
    // Genotypes without members take part in nothing.
    std::vector<double> copies(em.numHaplotypes(), 0.0);
    for (int p = 0; p < numCut; ++p) {
      const Phenotype& ph = cut[p];
      if (ph.count < 1) continue;
      const int* i1 = em.pairHaplotype1.data() + em.pairOffset[p];
      const int* i2 = em.pairHaplotype2.data() + em.pairOffset[p];
      for (int j = 0; j < ph.numPairs; ++j) {
        const double c = ph.count * ph.pairWeight[j];
        copies[i1[j]] += c;
        copies[i2[j]] += c;
      }
    }
    for (int i = 0; i < static_cast<int>(copies.size()); ++i) {
      if (!(copies[i] >= plemEps)) continue;
      r.kept += em.haplotypeText(i);
      ++r.count;
    }
  };
  auto emit = [&](int64_t task) {
    const int b = static_cast<int>(task);
    BlockResult& r = slots[static_cast<size_t>(task % static_cast<int64_t>(window))];
    consolePrintf("%s", r.console.c_str());
    if (!r.ok) return false;
    m_blocks[b].set(r.count, std::move(r.kept), blockSize(b));
    m_blockNode.push_back(m_tree.addLeaf(m_blocks[b], b * m_levelLength));
    return true;
  };
  const bool ok = runOrdered(workers, m_numBlocks, window, compute, emit);
  releaseBlockPhenotypes();
  return ok;
}

int PLEMAlgorithm::nodeOf(int b, int start) {
  if (static_cast<int>(m_blockNode.size()) <= b) m_blockNode.resize(b + 1, -1);
  if (m_blockNode[b] < 0) m_blockNode[b] = m_tree.addLeaf(m_blocks[b], start);
  return m_blockNode[b];
}

// What a join before the last produces, for the level to apply in order.
struct PLEMAlgorithm::JoinOutcome {
  std::string console;
  JoinFigures figures;
  long long space = 0;
  bool ok = false;
  int kept = 0;
  std::string letters;
  std::vector<int> partLeft, partRight;
};

bool PLEMAlgorithm::mergeBlocks() {
  if (g_debugLevel >= 2) consolePrintf(" Merging Blocks\n");
  while (m_numBlocks >= 3) {
    if (!mergeLevel()) return false;
  }
  if (m_numBlocks == 2) {
    if (g_debugLevel >= 2) consolePrintf(" - merge %d,%d to nothing", 0, 1);
    if (!ligate(0)) return false;
    if (g_debugLevel >= 2)
      consolePrintf(" ... size=%d, =%d haplotypes\n", m_blocks[0].numMarkers, m_blocks[0].numHaplotypes);
  } else if (m_numBlocks == 1 && g_debugLevel >= 2) {
    consolePrintf(" - copy %d to %d\n", 0, 0);
  }
  return true;
}

// One level before the last: block 2j joins block 2j + 1 into block j, the
// joins on the workers (each reads only its two blocks and their subtrees
// of the block tree), their figures, printed lines and new blocks taken in
// join order; an odd last block is copied.
bool PLEMAlgorithm::mergeLevel() {
  const int joins = m_numBlocks / 2;
  std::vector<int> leftNode(joins), rightNode(joins), firstStamp(joins);
  for (int j = 0; j < joins; ++j) {
    leftNode[j] = nodeOf(2 * j, 2 * j * m_levelLength);
    rightNode[j] = nodeOf(2 * j + 1, (2 * j + 1) * m_levelLength);
    firstStamp[j] = m_tree.reserveStamps(numPheno);
  }
  // Only joins side by side share a limit.
  JoinMemoryBudget budget(workers > 1 && joins > 1 ? memoryLimit() : -1);
  std::vector<BlockHaplotypeSet> joined(static_cast<size_t>(joins) + (m_numBlocks % 2));
  std::vector<std::vector<int>> partLeft(joins), partRight(joins);
  const size_t window = unevenWindow(workers, 0);
  std::vector<JoinOutcome> slots(window);
  auto compute = [&](int64_t task, unsigned) {
    const int j = static_cast<int>(task);
    JoinOutcome& r = slots[static_cast<size_t>(task % static_cast<int64_t>(window))];
    r = JoinOutcome();
    ConsoleCapture capture(r.console);
    r.ok = joinBefore(2 * j, leftNode[j], rightNode[j], firstStamp[j], budget, r);
  };
  auto emit = [&](int64_t task) {
    const int j = static_cast<int>(task);
    JoinOutcome& r = slots[static_cast<size_t>(task % static_cast<int64_t>(window))];
    if (g_debugLevel >= 2) consolePrintf(" - merge %d,%d to %d", 2 * j, 2 * j + 1, j);
    largestCombinationSpace = std::max(largestCombinationSpace, r.space);
    joinFigures.push_back(r.figures);
    consolePrintf("%s", r.console.c_str());
    if (!r.ok) return false;
    const int markers = r.figures.width;
    joined[j].set(r.kept, std::move(r.letters), markers);
    partLeft[j] = std::move(r.partLeft);
    partRight[j] = std::move(r.partRight);
    if (g_debugLevel >= 2)
      consolePrintf(" ... size=%d, =%d haplotypes\n", joined[j].numMarkers, joined[j].numHaplotypes);
    return true;
  };
  if (!runOrdered(workers, joins, window, compute, emit)) return false;
  // The tree grows only now: the joins read it while they ran.
  std::vector<int> nodes(joined.size(), -1);
  for (int j = 0; j < joins; ++j)
    nodes[j] = m_tree.addJoined(2 * j * m_levelLength, joined[j].numMarkers, leftNode[j], rightNode[j],
                                m_blocks[2 * j + 1].numHaplotypes, std::move(partLeft[j]), std::move(partRight[j]));
  if (m_numBlocks % 2) {
    const int last = m_numBlocks - 1;
    if (g_debugLevel >= 2) consolePrintf(" - copy %d to %d\n", last, joins);
    joined[joins] = m_blocks[last];
    if (static_cast<int>(m_blockNode.size()) > last) nodes[joins] = m_blockNode[last];
  }
  m_blocks = std::move(joined);
  m_blockNode = std::move(nodes);
  m_numBlocks = static_cast<int>(m_blocks.size());
  m_levelLength *= 2;
  return true;
}

JoinFigures PLEMAlgorithm::figuresOf(int l, int width) const {
  JoinFigures figures;
  figures.blockLength = m_levelLength;
  figures.left = l;
  figures.from = l * m_levelLength;
  figures.width = width;
  figures.numLeft = m_blocks[l].numHaplotypes;
  figures.numRight = m_blocks[l + 1].numHaplotypes;
  return figures;
}

LigationJoin::Settings PLEMAlgorithm::joinSettings() const {
  LigationJoin::Settings settings;
  settings.eps = ligationEps;
  settings.numPheno = numPheno;
  settings.numIndividuals = numIndividuals;
  settings.memoryLimitBytes = memoryLimitBytes;
  settings.label = labelText();
  return settings;
}

bool PLEMAlgorithm::joinBefore(int l, int leftNode, int rightNode, int firstStamp, JoinMemoryBudget& budget,
                               JoinOutcome& r) {
  const BlockHaplotypeSet& left = m_blocks[l];
  const BlockHaplotypeSet& right = m_blocks[l + 1];
  r.space = static_cast<long long>(left.numHaplotypes) * right.numHaplotypes;
  const int rightSize = blockSize(l + 1);
  const int rangeFrom = l * m_levelLength;
  const int width = m_levelLength + rightSize;
  JoinFigures& figures = r.figures;
  figures = figuresOf(l, width);
  if (r.space > LigationJoin::kLargeCombinationSpace)
    consolePrintf("alle1.numAlle:%d, alle2.numAlle:%d, totAlle:%lld, from:%d, to:%d\n", left.numHaplotypes,
                  right.numHaplotypes, r.space, rangeFrom, rightSize);
  const std::vector<Phenotype> cut = cutPhenotypes(phenotypes, numPheno, rangeFrom, width);
  figures.records = static_cast<int>(cut.size());
  if (left.numMarkers != m_levelLength || right.numMarkers != rightSize) {
    consolePrintf("PLEM (sample type %s): blocks of %d and %d markers where %d and %d belong\n", labelText(),
                  left.numMarkers, right.numMarkers, m_levelLength, rightSize);
    return false;
  }
  LigationJoin join;
  LigationJoin::Settings settings = joinSettings();
  settings.budget = &budget;
  if (!join.run(settings, m_tree, leftNode, rightNode, left, right, cut.data(), static_cast<int>(cut.size()),
                rangeFrom, rangeFrom + width, false, figures, firstStamp))
    return false;
  return keepJoined(join, left, right, rangeFrom, width, r);
}

bool PLEMAlgorithm::keepJoined(const LigationJoin& join, const BlockHaplotypeSet& left,
                               const BlockHaplotypeSet& right, int rangeFrom, int width, JoinOutcome& r) const {
  const std::vector<double>& copies = join.cellCopies();
  const int markers = left.numMarkers + right.numMarkers;
  long long n = 0;
  const int cells = static_cast<int>(copies.size());
  for (int cell = 0; cell < cells; ++cell)
    if (copies[cell] >= plemEps) ++n;
  const long long bytes = n * markers;
  const long long limit = joinMemoryLimit(memoryLimitBytes, bytes);
  if (n > 0x7fffffffLL || (limit > 0 && bytes > limit)) {
    reportJoinNoMemory(labelText(), bytes, rangeFrom, rangeFrom + width);
    return false;
  }
  // The table of expected copies in order of first insertion.
  r.letters.reserve(bytes);
  r.partLeft.reserve(n);
  r.partRight.reserve(n);
  for (int cell = 0; cell < cells; ++cell) {
    if (!(copies[cell] >= plemEps)) continue;
    const int x = join.cellLeft(cell), y = join.cellRight(cell);
    r.letters.append(left.haplotype(x));
    r.letters.append(right.haplotype(y));
    r.partLeft.push_back(x);
    r.partRight.push_back(y);
  }
  r.kept = static_cast<int>(n);
  r.figures.kept = r.kept;
  return true;
}

// The last join: its records and best pairs stay for the results.
bool PLEMAlgorithm::ligate(int l) {
  const int r = l + 1;
  const BlockHaplotypeSet& left = m_blocks[l];
  const BlockHaplotypeSet& right = m_blocks[r];
  const long long space = static_cast<long long>(left.numHaplotypes) * right.numHaplotypes;
  const int rightSize = blockSize(r);
  const int rangeFrom = l * m_levelLength;
  const int width = m_levelLength + rightSize;
  largestCombinationSpace = std::max(largestCombinationSpace, space);
  joinFigures.push_back(figuresOf(l, width));
  if (space > LigationJoin::kLargeCombinationSpace)
    consolePrintf("alle1.numAlle:%d, alle2.numAlle:%d, totAlle:%lld, from:%d, to:%d\n", left.numHaplotypes,
           right.numHaplotypes, space, rangeFrom, rightSize);
  if (width < numMarkers) {
    buildBlockPhenotypes(rangeFrom, width);
  } else {
    releaseBlockPhenotypes();
    m_blockPhenotypes = phenotypes;
    m_numBlockPhenotypes = numPheno;
  }
  joinFigures.back().records = m_numBlockPhenotypes;
  if (left.numMarkers != m_levelLength || right.numMarkers != rightSize) {
    consolePrintf("PLEM (sample type %s): blocks of %d and %d markers where %d and %d belong\n", labelText(),
           left.numMarkers, right.numMarkers, m_levelLength, rightSize);
    return false;
  }
  const int leftNode = nodeOf(l, rangeFrom);
  const int rightNode = nodeOf(r, rangeFrom + m_levelLength);
  return m_join.run(joinSettings(), m_tree, leftNode, rightNode, left, right, m_blockPhenotypes, m_numBlockPhenotypes,
                    rangeFrom, rangeFrom + width, true, joinFigures.back(),
                    m_tree.reserveStamps(m_numBlockPhenotypes));
}

void PLEMAlgorithm::getBestPair(int i, HaplotypePair& result) { m_join.getBestPair(i, result); }

void PLEMAlgorithm::expectedCount(const std::string& haplotype, double& total) {
  if (haplotype.size() != static_cast<size_t>(numMarkers)) return;
  m_join.expectedCount(haplotype, total);
}
