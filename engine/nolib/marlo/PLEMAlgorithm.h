#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "marlo/HaplotypeEstimator.h"
#include "marlo/Phenotype.h"

// The retained haplotypes of one block of consecutive markers, back to back
// in one text: haplotype i is letters[i * numMarkers, (i + 1) * numMarkers).
class BlockHaplotypeSet {
 public:
  // Replaces the content and takes the letters over (count haplotypes of
  // markers letters each).
  void set(int count, std::string&& list, int markers);
  std::string_view haplotype(int i) const {
    return std::string_view(letters).substr(static_cast<size_t>(i) * numMarkers, numMarkers);
  }
  std::string text(int i) const { return std::string(haplotype(i)); }

  int numHaplotypes = 0;
  int numMarkers = 0;
  std::string letters;
};

// One genotype of a join. Its candidate full pairs are the combinations of a
// left option (an unordered pair of left-block haplotypes, each pair once)
// with a right option (an ordered pair of right-block haplotypes: both orders
// of a heterozygous pair). Combination k = numRight * a + b stands for
// H1 = left[a.first] + right[b.first], H2 = left[a.second] + right[b.second].
class LigationRecord {
 public:
  std::vector<std::pair<int, int>> leftOptions;
  std::vector<std::pair<int, int>> rightOptions;
  int numLeft = 0;
  int numRight = 0;
  int count = 0;
  std::vector<double> weight;
  double weightSum = 0.0;
  // Filled by the last join only.
  std::string bestHaplotype1;
  std::string bestHaplotype2;
  double bestProbability = 0.0;
};

// Haplotype estimation by partition-ligation, for marker runs too long for
// plain EM: the markers are cut into blocks of blockLength, each block is
// estimated by an EMAlgorithm with its constructed settings (eps 0.0001,
// random start through the process-wide generator), the block haplotypes
// with at least plemEps expected copies are kept, and neighbouring blocks are
// joined pairwise, level by level (the block length doubling each level, an
// odd last block copied up), each join running an EM over the combinations
// of the two blocks' haplotypes, until one join spans every marker.
//
// Use (the PLEM command, and the LD block report with the constructed
// settings):
//   PLEMAlgorithm plem;                       // blockLength 10, plemEps 0.00001, ligationEps 1.0
//   plem.setData(phenotypes, numMarkers, numPheno, numIndividuals);
//   plem.ligationEps = ...; plem.plemEps = ...; plem.blockLength = ...;  // optional
//   if (!plem.perform()) { /* message printed; there is no estimate */ }
//   plem.getBestPair(i, pair);                // i = index into the phenotypes given
//   plem.expectedCount(haplotype, total);     // total starts at 0.0
// numMarkers must exceed blockLength (a single block is plain EM's work) and
// every phenotype's genotype must hold 2 x numMarkers letters. Only the
// genotype and count of the phenotypes are read; nothing in them is written.
//
// Inside a join every haplotype is an integer: a left or right block
// haplotype by its list index, a full haplotype H = left[a] + right[b] by its
// cell (a, b) of the L x R combination space. The cells that some record
// uses are numbered densely in order of first use (record by record,
// combination by combination, H1 before H2), and the join's frequency array
// holds just those; the cells nobody uses would stay 0.0 and are never read,
// so every sum sees the same additions in the same order as over the full
// L x R array, which is never allocated. The same numbering is the order of
// first insertion into the table of expected copies that selects the joined
// block's haplotypes. The options of a genotype are found through the blocks
// the joined blocks were made of (see BlockNode), so haplotype texts are
// compared only within the initial blocks and concatenated only for the
// haplotypes a join keeps and for the best pairs.
//
// Arithmetic of a join, in the order performed:
//   start     w[k] = 1.0 / S, S = numLeft * numRight
//   loop      Lprev = 0.0
//    maximise f[*] = 0.0; per record weightSum = ((0.0 + w0) + w1) + ...
//             per record: factor = double(count) / (double(N) * weightSum)
//               per k: w[k] = w[k] * factor; m = 2.0 when S = 1 and H1 = H2,
//               else 1.0; a = (m * w[k]) * 0.5; f[H1] += a; if m < 1.5, f[H2] += a
//    L        C = log(P * (P + 1.0) / 2.0) - S1, S1 = ((0.0 + log(n1 * (n1 + 1.0) / 2.0)) + ...),
//             S2 = ((0.0 + n1 * log(weightSum1)) + ...), both over records with count > 0;
//             L = C + S2; stop when fabs(Lprev - L) < ligationEps, else Lprev = L
//    expect   w[k] = f[H2] * f[H1], then w[k] = w[k] * 2.0 when H1 != H2
//   final     w[k] = f[H2] * f[H1]; s = ((0.0 + w0) + w1) + ...; w[k] = w[k] / s
//   best      last k with w[k] >= running best (from -1.0)
//   copies    per record, per k: c = double(count) * w[k]; E[H1] += c; E[H2] += c
// P = the loaded numPheno, N = numIndividuals, n = count.
class PLEMAlgorithm : public HaplotypeEstimator {
 public:
  // Combination spaces above this are reported (the join still runs).
  static constexpr long long kLargeCombinationSpace = 500000000LL;
  // No join runs longer than this many maximisation steps.
  static constexpr int kMaxIterations = 100000;

  PLEMAlgorithm();
  ~PLEMAlgorithm() override;

  // Names the sample type in the messages.
  void setLabel(const std::string& label) { m_label = label; }

  // buildInitialHaplotypeSet, then mergeBlocks. False, with a message on
  // standard output, when there is no estimate: settings that give no
  // bounded run, too few markers, a block EM that cannot run, a join in
  // which some genotype fits no pair of block haplotypes, or a join whose
  // arrays do not fit in memory. getBestPair then gives empty pairs.
  bool perform() override;
  // The best combination of record i of the last join, the byte-wise lower
  // full haplotype first. Its probability is the summed weight of every
  // combination of the record that gives the same unordered pair: with a
  // homozygous left option both orders of the right option are the same
  // pair. Empty haplotypes with probability 0.0 without an estimate or for
  // an index outside the records.
  void getBestPair(int phenotypeIndex, HaplotypePair& result) override;
  // count x weight of every combination of every record of the last join,
  // once per side that equals the haplotype. From a total of +0.0 the answer
  // is the sum kept from the join (the same additions in the same order).
  void expectedCount(const std::string& haplotype, double& total) override;

  // The complement of a haplotype against the genotype over markers
  // [from, to): per marker the other letter of the genotype. False (no
  // complement) when some letter of the haplotype is neither genotype letter.
  static bool complementHaplotype(const std::string& genotype, int from, int to, const std::string& haplotype,
                                  std::string& complement);

  // The number of markers of block b at the current level.
  int blockSize(int b) const;

  // Block phenotypes of the current step: owned, or the loaded phenotypes
  // at the last join.
  Phenotype* blockPhenotypes = nullptr;
  int numBlockPhenotypes = 0;
  std::vector<LigationRecord> ligationRecords;
  int blockLength = 10;
  int numBlocks = 0;
  double plemEps = 0.00001;
  double ligationEps = 1.0;
  // Threads for the EMs of the initial blocks (taken in block order, so the
  // result does not depend on them).
  unsigned workers = 1;
  std::vector<BlockHaplotypeSet> blocks;

  // What one join met (for benchmarks and tests).
  struct JoinFigures {
    int blockLength = 0;   // of the level
    int left = 0;          // left block index
    int from = 0;          // first marker (0-based)
    int width = 0;         // markers joined
    int numLeft = 0;       // L
    int numRight = 0;      // R
    int records = 0;
    long long combinations = 0;  // sum of S over the records
    long long cells = 0;         // distinct full haplotypes of the combinations
    int iterations = 0;          // maximisation steps
    int kept = 0;                // haplotypes selected (joins before the last)
  };
  // Figures of the last perform, join by join.
  std::vector<JoinFigures> joinFigures;
  long long largestCombinationSpace = 0;  // largest L x R of a join
  // Bytes a join may use for its records and cells; 0 = the machine's
  // physical memory.
  long long memoryLimitBytes = 0;

 protected:
  bool buildInitialHaplotypeSet();
  // Replaces the owned block phenotypes by the distinct genotype cuts of
  // markers [start, start + size), in order of first appearance, with summed
  // counts.
  void buildBlockPhenotypes(int start, int size);
  // Joins block l and l + 1. A join before the last stores the selected
  // haplotypes in out; the last join fills the records' best pairs.
  bool ligate(int l, BlockHaplotypeSet& out);
  bool mergeBlocks();

 private:
  void clearResults();
  void clearJoin();
  void releaseBlockPhenotypes();
  bool buildRecords(int leftNode, int rightNode, int rangeFrom, int rangeTo);
  // The node of block b, made as an initial block from blocks[b] when the
  // block has none (blocks set by hand).
  int nodeOf(int b, int start);
  int addLeafNode(const BlockHaplotypeSet& set, int start);
  // Marks in node n (and below) every haplotype whose complement against the
  // genotype is listed, with the complement's index.
  void findComplements(int n, const char* genotype, int rangeFrom, int stamp);
  void finalTextIndexes();
  bool numberCells(const BlockHaplotypeSet& left, const BlockHaplotypeSet& right, int rangeFrom, int rangeTo);
  // Returns the number of maximisation steps.
  int runJoinEm();
  void joinPosteriors();
  // Expected copies of every cell, into the frequency array (no longer
  // needed once the posteriors are made).
  void expectedCopiesIntoFrequency();
  void storeBestPairs(const BlockHaplotypeSet& left, const BlockHaplotypeSet& right);
  void keepBestPairCopies();
  void reportNoFit(int phenotype, int rangeFrom, int rangeTo) const;
  void reportNoMemory(long long bytes, int rangeFrom, int rangeTo) const;
  long long memoryLimit() const;
  const char* labelText() const;

  std::string m_label;
  std::vector<Phenotype> m_ownedBlockPhenotypes;
  // Every block of every level is a node: an initial block holds its letters;
  // a joined block holds, per haplotype, its left and right halves (indices
  // into its two child nodes). A copied block keeps its node. The options of
  // a genotype are found through the nodes: a joined haplotype has a listed
  // complement exactly when both halves have one and the pair of those
  // complements is listed, so no haplotype text is compared above the
  // initial blocks.
  struct BlockNode;
  std::vector<std::unique_ptr<BlockNode>> m_nodes;
  std::vector<int> m_blockNode;  // node of blocks[b]
  int m_joinedNode = -1;         // node made by the latest join
  int m_stamp = 0;
  std::string m_buffer;
  // Cells of the current join. The cell numbers of H1 and H2 of combination
  // k of record p are m_cell1/m_cell2[m_cellOffset[p] + k], numbered in order
  // of first use. Before the last join, cell c is left haplotype
  // m_cellLeft[c] joined to right haplotype m_cellRight[c].
  std::vector<int64_t> m_cellOffset;
  std::vector<int> m_cell1;
  std::vector<int> m_cell2;
  std::vector<int> m_cellLeft;
  std::vector<int> m_cellRight;
  std::vector<double> m_frequency;
  // The last join, for expectedCount: texts of the two blocks' haplotypes
  // (views into blocks[0] and blocks[1]), and the expected copies of the
  // haplotypes of the best pairs keyed by left * R + right.
  bool m_complete = false;
  int m_numRight = 0;
  int m_finalLeftMarkers = 0;
  std::unordered_map<std::string_view, int> m_finalLeftIndex;
  std::unordered_map<std::string_view, int> m_finalRightIndex;
  std::unordered_map<int64_t, double> m_bestPairCopies;
};
