#include "marlo/PLEMAlgorithm.h"

#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "common_sgt/AvailableMemory.h"
#include "common_sgt/Settings.h"
#include "marlo/EMAlgorithm.h"

namespace {

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

// Open addressing from a 64-bit key to a non-negative int, linear probing.
class KeyIndex {
 public:
  void reserve(size_t n) {
    size_t capacity = 16;
    while (capacity < 2 * n) capacity *= 2;
    m_bits = std::countr_zero(capacity);
    m_keys.assign(capacity, 0);
    m_values.assign(capacity, -1);
  }
  void insert(uint64_t key, int value) {
    const size_t mask = m_keys.size() - 1;
    size_t s = slot(key);
    while (m_values[s] >= 0 && m_keys[s] != key) s = (s + 1) & mask;
    m_keys[s] = key;
    m_values[s] = value;
  }
  int find(uint64_t key) const {
    if (m_keys.empty()) return -1;
    const size_t mask = m_keys.size() - 1;
    for (size_t s = slot(key);; s = (s + 1) & mask) {
      if (m_values[s] < 0) return -1;
      if (m_keys[s] == key) return m_values[s];
    }
  }

 private:
  size_t slot(uint64_t key) const { return (key * 0x9E3779B97F4A7C15ull) >> (64 - m_bits); }
  std::vector<uint64_t> m_keys;
  std::vector<int> m_values;
  int m_bits = 0;
};

}  // namespace

struct PLEMAlgorithm::BlockNode {
  int start = 0;  // first marker
  int size = 0;
  int count = 0;  // haplotypes
  // Joined block: child nodes and the halves of every haplotype; parts maps
  // left * childRight + right back to the haplotype.
  int left = -1;
  int right = -1;
  int64_t childRight = 0;
  std::vector<int> partLeft;
  std::vector<int> partRight;
  KeyIndex parts;
  // Initial block: the letters and a text index into them.
  std::string letters;
  std::unordered_map<std::string_view, int> textIndex;
  // For the genotype of the current stamp: the haplotypes with a listed
  // complement, ascending, and the complement of each (valid where
  // stamp[i] is the current stamp).
  std::vector<int> found;
  std::vector<int> complement;
  std::vector<int> stamp;
};

void BlockHaplotypeSet::set(int count, std::string&& list, int markers) {
  letters = std::move(list);
  numHaplotypes = count;
  numMarkers = markers;
}

PLEMAlgorithm::PLEMAlgorithm() = default;
PLEMAlgorithm::~PLEMAlgorithm() = default;

const char* PLEMAlgorithm::labelText() const { return m_label.empty() ? "?" : m_label.c_str(); }

long long PLEMAlgorithm::memoryLimit() const {
  if (memoryLimitBytes > 0) return memoryLimitBytes;
  const long long available = availableMemoryBytes();
  return available > 0 ? available / 10 * 9 : -1;
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

void PLEMAlgorithm::clearJoin() {
  std::vector<int64_t>().swap(m_cellOffset);
  std::vector<int>().swap(m_cell1);
  std::vector<int>().swap(m_cell2);
  std::vector<int>().swap(m_cellLeft);
  std::vector<int>().swap(m_cellRight);
  std::vector<double>().swap(m_frequency);
}

void PLEMAlgorithm::clearResults() {
  releaseBlockPhenotypes();
  ligationRecords.clear();
  blocks.clear();
  numBlocks = 0;
  clearJoin();
  m_complete = false;
  m_numRight = 0;
  m_finalLeftMarkers = 0;
  m_finalLeftIndex.clear();
  m_finalRightIndex.clear();
  m_bestPairCopies.clear();
  m_nodes.clear();
  m_blockNode.clear();
}

bool PLEMAlgorithm::perform() {
  clearResults();
  joinFigures.clear();
  largestCombinationSpace = 0;
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
  if (!ok) clearResults();
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
    std::string kept;
    int n = 0;
    for (int i = 0; i < static_cast<int>(copies.size()); ++i) {
      if (!(copies[i] >= plemEps)) continue;
      kept += em.haplotypeText(i);
      ++n;
    }
    blocks[b].set(n, std::move(kept), size);
    m_blockNode.push_back(addLeafNode(blocks[b], start));
  }
  releaseBlockPhenotypes();
  return true;
}

int PLEMAlgorithm::addLeafNode(const BlockHaplotypeSet& set, int start) {
  auto node = std::make_unique<BlockNode>();
  node->start = start;
  node->size = set.numMarkers;
  node->count = set.numHaplotypes;
  node->letters = set.letters;
  node->textIndex.reserve(static_cast<size_t>(node->count) * 2 + 1);
  const std::string_view letters(node->letters);
  for (int x = 0; x < node->count; ++x)
    node->textIndex.try_emplace(letters.substr(static_cast<size_t>(x) * node->size, node->size), x);
  node->complement.assign(node->count, -1);
  node->stamp.assign(node->count, -1);
  m_nodes.push_back(std::move(node));
  return static_cast<int>(m_nodes.size()) - 1;
}

int PLEMAlgorithm::nodeOf(int b, int start) {
  if (static_cast<int>(m_blockNode.size()) <= b) m_blockNode.resize(b + 1, -1);
  if (m_blockNode[b] < 0) m_blockNode[b] = addLeafNode(blocks[b], start);
  return m_blockNode[b];
}

void PLEMAlgorithm::findComplements(int n, const char* genotype, int rangeFrom, int stamp) {
  BlockNode& node = *m_nodes[n];
  node.found.clear();
  const char* g = genotype + 2 * static_cast<size_t>(node.start - rangeFrom);
  if (node.left < 0) {
    if (m_buffer.size() < static_cast<size_t>(node.size)) m_buffer.resize(node.size);
    for (int x = 0; x < node.count; ++x) {
      if (!complementInto(g, node.letters.data() + static_cast<size_t>(x) * node.size, node.size, m_buffer.data()))
        continue;
      auto it = node.textIndex.find(std::string_view(m_buffer.data(), node.size));
      if (it == node.textIndex.end()) continue;
      node.complement[x] = it->second;
      node.stamp[x] = stamp;
      node.found.push_back(x);
    }
    return;
  }
  findComplements(node.left, genotype, rangeFrom, stamp);
  findComplements(node.right, genotype, rangeFrom, stamp);
  const BlockNode& a = *m_nodes[node.left];
  const BlockNode& b = *m_nodes[node.right];
  const int64_t r = node.childRight;
  if (static_cast<long long>(a.found.size()) * static_cast<long long>(b.found.size()) <= node.count) {
    // Few halves with a complement: try their pairs.
    for (int x : a.found) {
      const int64_t cx = a.complement[x] * r;
      for (int y : b.found) {
        const int i = node.parts.find(static_cast<uint64_t>(x * r + y));
        if (i < 0) continue;
        const int j = node.parts.find(static_cast<uint64_t>(cx + b.complement[y]));
        if (j < 0) continue;
        node.complement[i] = j;
        node.stamp[i] = stamp;
        node.found.push_back(i);
      }
    }
    std::sort(node.found.begin(), node.found.end());
  } else {
    for (int i = 0; i < node.count; ++i) {
      const int x = node.partLeft[i], y = node.partRight[i];
      if (a.stamp[x] != stamp || b.stamp[y] != stamp) continue;
      const int j = node.parts.find(static_cast<uint64_t>(a.complement[x] * r + b.complement[y]));
      if (j < 0) continue;
      node.complement[i] = j;
      node.stamp[i] = stamp;
      node.found.push_back(i);
    }
  }
}

void PLEMAlgorithm::finalTextIndexes() {
  const BlockHaplotypeSet& left = blocks[0];
  const BlockHaplotypeSet& right = blocks[1];
  m_finalLeftIndex.clear();
  m_finalRightIndex.clear();
  m_finalLeftIndex.reserve(static_cast<size_t>(left.numHaplotypes) * 2 + 1);
  m_finalRightIndex.reserve(static_cast<size_t>(right.numHaplotypes) * 2 + 1);
  for (int x = 0; x < left.numHaplotypes; ++x) m_finalLeftIndex.try_emplace(left.haplotype(x), x);
  for (int x = 0; x < right.numHaplotypes; ++x) m_finalRightIndex.try_emplace(right.haplotype(x), x);
  m_finalLeftMarkers = left.numMarkers;
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
          if (static_cast<int>(m_blockNode.size()) <= out) m_blockNode.resize(out + 1, -1);
          m_blockNode[out] = m_joinedNode;
        }
        if (g_debugLevel >= 2)
          printf(" ... size=%d, =%d haplotypes\n", blocks[out].numMarkers, blocks[out].numHaplotypes);
      }
      if (i == numBlocks - 1) {
        if (g_debugLevel >= 2) printf(" - copy %d to %d\n", i, out);
        if (i != out) {
          blocks[out] = blocks[i];
          if (static_cast<int>(m_blockNode.size()) > i) {
            if (static_cast<int>(m_blockNode.size()) <= out) m_blockNode.resize(out + 1, -1);
            m_blockNode[out] = m_blockNode[i];
          }
        }
      }
      ++out;
    }
    if (out == 1) break;
    numBlocks = out;
    blocks.resize(numBlocks);
    if (static_cast<int>(m_blockNode.size()) > numBlocks) m_blockNode.resize(numBlocks);
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
  printf("PLEM (sample type %s): the join of markers %d to %d needs about %lld MB, more than this machine has "
         "available; there is no estimate for this sample type\n",
         labelText(), rangeFrom + 1, rangeTo, bytes >> 20);
}

bool PLEMAlgorithm::buildRecords(int leftNode, int rightNode, int rangeFrom, int rangeTo) {
  const BlockNode& left = *m_nodes[leftNode];
  const BlockNode& right = *m_nodes[rightNode];
  ligationRecords.assign(numBlockPhenotypes, LigationRecord());
  // Stamps of the current genotype: a left haplotype already in an option,
  // a right haplotype already first in one.
  std::vector<int> leftMember(left.count, -1), rightFirst(right.count, -1);
  for (int p = 0; p < numBlockPhenotypes; ++p) {
    const Phenotype& ph = blockPhenotypes[p];
    LigationRecord& rec = ligationRecords[p];
    rec.count = ph.count;
    const int stamp = ++m_stamp;
    findComplements(leftNode, ph.genotype.data(), rangeFrom, stamp);
    findComplements(rightNode, ph.genotype.data(), rangeFrom, stamp);
    // In list order, as every haplotype would be tried in turn.
    for (int x : left.found) {
      if (leftMember[x] == p) continue;
      const int y = left.complement[x];
      rec.leftOptions.emplace_back(x, y);
      leftMember[x] = p;
      leftMember[y] = p;
    }
    for (int x : right.found) {
      if (rightFirst[x] == p) continue;
      rec.rightOptions.emplace_back(x, right.complement[x]);
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
  return true;
}

// Cells are numbered left haplotype by left haplotype: for left haplotype x
// every record side that holds x pairs it with the right haplotypes of that
// side, and a stamp array over the right haplotypes finds the cells already
// numbered for x. No table over the L x R space is needed.
bool PLEMAlgorithm::numberCells(const BlockHaplotypeSet& left, const BlockHaplotypeSet& right, int rangeFrom,
                                int rangeTo) {
  const int numLeftHaplotypes = left.numHaplotypes;
  const int numRightHaplotypes = right.numHaplotypes;
  const bool last = numBlocks <= 2;
  long long combinations = 0, sides = 0;
  for (const LigationRecord& rec : ligationRecords) {
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
  const long long limit = memoryLimit();
  const bool fits = cellsAtMost <= 0x7fffffffLL && (limit <= 0 || bytes <= limit);
  joinFigures.back().combinations = combinations;
  if (fits) {
    try {
      const size_t records = ligationRecords.size();
      m_cellOffset.assign(records, 0);
      int64_t offset = 0;
      for (size_t p = 0; p < records; ++p) {
        LigationRecord& rec = ligationRecords[p];
        const size_t s = static_cast<size_t>(rec.numLeft) * rec.numRight;
        rec.weight.assign(s, 1.0 / static_cast<double>(s));
        m_cellOffset[p] = offset;
        offset += static_cast<int64_t>(s);
      }
      m_cell1.assign(combinations, -1);
      m_cell2.assign(combinations, -1);

      // Record sides grouped by left haplotype (counting sort): record p,
      // left option a, side 0 (first) or 1 (second).
      std::vector<int> start(numLeftHaplotypes + 1, 0);
      for (const LigationRecord& rec : ligationRecords)
        for (const auto& a : rec.leftOptions) {
          ++start[a.first + 1];
          ++start[a.second + 1];
        }
      for (int x = 0; x < numLeftHaplotypes; ++x) start[x + 1] += start[x];
      std::vector<int> sideRecord(sides), sideOption(sides), fill(start.begin(), start.end() - 1);
      std::vector<unsigned char> sideWhich(sides);
      for (size_t p = 0; p < records; ++p) {
        const LigationRecord& rec = ligationRecords[p];
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
          const LigationRecord& rec = ligationRecords[sideRecord[e]];
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
      joinFigures.back().cells = cells;
      // Renumbered in order of first use (record by record, combination by
      // combination, H1 before H2): the order of first insertion into the
      // table of expected copies, and neighbouring combinations then mostly
      // touch neighbouring frequencies.
      {
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
      m_frequency.assign(cells, 0.0);
      return true;
    } catch (const std::bad_alloc&) {
    }
  }
  if (space <= kLargeCombinationSpace)
    printf("alle1.numAlle:%d, alle2.numAlle:%d, totAlle:%lld, from:%d, to:%d\n", numLeftHaplotypes,
           numRightHaplotypes, space, rangeFrom, right.numMarkers);
  reportNoMemory(bytes, rangeFrom, rangeTo);
  ligationRecords.clear();
  clearJoin();
  return false;
}

int PLEMAlgorithm::runJoinEm() {
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
  // The sums of the starting weights; later ones are made by the expectation
  // step as it writes the weights (the same additions in the same order).
  for (LigationRecord& rec : ligationRecords) {
    double sum = 0.0;
    for (double w : rec.weight) sum += w;
    rec.weightSum = sum;
  }
  double* f = m_frequency.data();
  for (;;) {
    // Maximisation.
    std::fill(m_frequency.begin(), m_frequency.end(), 0.0);
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
      double sum = 0.0;
      for (size_t k = 0; k < s; ++k) {
        w[k] = f[c2[k]] * f[c1[k]];
        if (c1[k] != c2[k]) w[k] = w[k] * 2.0;
        sum += w[k];
      }
      rec.weightSum = sum;
    }
    if (++iterations > kMaxIterations) {
      printf("Warning: PLEM join stopped after %d iterations without convergence (sample type %s); "
             "the estimate of the last iteration is used\n",
             kMaxIterations, labelText());
      break;
    }
  }
  return iterations;
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

void PLEMAlgorithm::expectedCopiesIntoFrequency() {
  std::fill(m_frequency.begin(), m_frequency.end(), 0.0);
  double* copies = m_frequency.data();
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
void PLEMAlgorithm::keepBestPairCopies() {
  const int64_t r = m_numRight;
  std::unordered_map<int, double*> wanted;
  std::vector<bool> isWanted(m_frequency.size(), false);
  m_bestPairCopies.clear();
  for (size_t p = 0; p < ligationRecords.size(); ++p) {
    const LigationRecord& rec = ligationRecords[p];
    const int* c1 = m_cell1.data() + m_cellOffset[p];
    const int* c2 = m_cell2.data() + m_cellOffset[p];
    double best = -1.0;
    size_t index = 0;
    for (size_t k = 0; k < rec.weight.size(); ++k) {
      if (rec.weight[k] >= best) {
        best = rec.weight[k];
        index = k;
      }
    }
    const auto& a = rec.leftOptions[index / rec.numRight];
    const auto& b = rec.rightOptions[index % rec.numRight];
    // Values of an unordered_map stay where they are while it grows.
    wanted.try_emplace(c1[index], &m_bestPairCopies[a.first * r + b.first]);
    wanted.try_emplace(c2[index], &m_bestPairCopies[a.second * r + b.second]);
    isWanted[c1[index]] = true;
    isWanted[c2[index]] = true;
  }
  for (size_t p = 0; p < ligationRecords.size(); ++p) {
    const LigationRecord& rec = ligationRecords[p];
    const int* c1 = m_cell1.data() + m_cellOffset[p];
    const int* c2 = m_cell2.data() + m_cellOffset[p];
    for (size_t k = 0; k < rec.weight.size(); ++k) {
      if (isWanted[c1[k]]) *wanted[c1[k]] += rec.count * rec.weight[k];
      if (isWanted[c2[k]]) *wanted[c2[k]] += rec.count * rec.weight[k];
    }
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
  largestCombinationSpace = std::max(largestCombinationSpace, space);
  JoinFigures figures;
  figures.blockLength = blockLength;
  figures.left = l;
  figures.from = rangeFrom;
  figures.width = width;
  figures.numLeft = left.numHaplotypes;
  figures.numRight = right.numHaplotypes;
  joinFigures.push_back(figures);
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
  joinFigures.back().records = numBlockPhenotypes;
  if (left.numMarkers != blockLength || right.numMarkers != rightSize) {
    printf("PLEM (sample type %s): blocks of %d and %d markers where %d and %d belong\n", labelText(),
           left.numMarkers, right.numMarkers, blockLength, rightSize);
    return false;
  }
  const int leftNode = nodeOf(l, rangeFrom);
  const int rightNode = nodeOf(r, rangeFrom + blockLength);
  if (!buildRecords(leftNode, rightNode, rangeFrom, rangeFrom + width)) return false;
  m_numRight = right.numHaplotypes;
  if (!numberCells(left, right, rangeFrom, rangeFrom + width)) return false;
  joinFigures.back().iterations = runJoinEm();
  joinPosteriors();
  if (numBlocks > 2) {
    expectedCopiesIntoFrequency();
    const std::vector<double>& copies = m_frequency;
    // Only the copies, the halves and the order of the cells are read from
    // here on.
    std::vector<int64_t>().swap(m_cellOffset);
    std::vector<int>().swap(m_cell1);
    std::vector<int>().swap(m_cell2);
    ligationRecords.clear();
    const int markers = left.numMarkers + right.numMarkers;
    long long n = 0;
    const int cells = static_cast<int>(copies.size());
    for (int cell = 0; cell < cells; ++cell)
      if (copies[cell] >= plemEps) ++n;
    const long long bytes = n * markers;
    const long long limit = memoryLimit();
    if (n > 0x7fffffffLL || (limit > 0 && bytes > limit)) {
      reportNoMemory(bytes, rangeFrom, rangeFrom + width);
      return false;
    }
    // The table of expected copies in order of first insertion.
    std::string kept;
    kept.reserve(bytes);
    auto node = std::make_unique<BlockNode>();
    node->start = rangeFrom;
    node->size = markers;
    node->count = static_cast<int>(n);
    node->left = leftNode;
    node->right = rightNode;
    node->childRight = right.numHaplotypes;
    node->partLeft.reserve(n);
    node->partRight.reserve(n);
    node->parts.reserve(n);
    for (int cell = 0; cell < cells; ++cell) {
      if (!(copies[cell] >= plemEps)) continue;
      const int x = m_cellLeft[cell], y = m_cellRight[cell];
      kept.append(left.haplotype(x));
      kept.append(right.haplotype(y));
      node->parts.insert(static_cast<uint64_t>(x * node->childRight + y), static_cast<int>(node->partLeft.size()));
      node->partLeft.push_back(x);
      node->partRight.push_back(y);
    }
    node->complement.assign(n, -1);
    node->stamp.assign(n, -1);
    m_nodes.push_back(std::move(node));
    m_joinedNode = static_cast<int>(m_nodes.size()) - 1;
    joinFigures.back().kept = static_cast<int>(n);
    clearJoin();
    out.set(static_cast<int>(n), std::move(kept), markers);
  } else {
    storeBestPairs(left, right);
    keepBestPairCopies();
    clearJoin();
    finalTextIndexes();
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
  for (const LigationRecord& rec : ligationRecords) {
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
