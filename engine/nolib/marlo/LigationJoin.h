#pragma once
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "marlo/HaplotypePair.h"
#include "marlo/Phenotype.h"
#include "marlo/PlemBlockTree.h"

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

// Bytes a join may use: configured when above 0, else nine tenths of the
// memory the machine has available; -1 when that is unknown. Asking the
// system reads several files, which costs more than a small join (blocking
// runs thousands): a join that needs less than 16 MB passes `needed` and
// gets -1 (no limit) without the question unless a limit is configured.
long long joinMemoryLimit(long long configuredBytes, long long needed = -1);

// Bytes the joins running at one time may take together (joins of one level
// run side by side): a join waits until the others leave room for its
// arrays under the limit, unless none is running, when its own check alone
// decides as for a join on its own. So whether a join fits never depends on
// the number of threads.
class JoinMemoryBudget {
 public:
  explicit JoinMemoryBudget(long long limit) : m_limit(limit) {}
  void acquire(long long bytes);
  void release(long long bytes);

 private:
  std::mutex m_mutex;
  std::condition_variable m_room;
  long long m_limit;
  long long m_inUse = 0;
};

// Index of the best combination of a record: the last k with w[k] >= the
// running best (from -1.0), so that among equal weights the last one wins.
size_t bestCombination(const std::vector<double>& weight);

// The EM over the combinations of two neighbouring blocks' haplotypes, from
// building its records to keeping the best pairs of the last join.
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
// block's haplotypes. The options of a genotype are found through the block
// tree, so haplotype texts are compared only within the initial blocks and
// concatenated only for the haplotypes a join keeps and for the best pairs.
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
//             L = C + S2; stop when fabs(Lprev - L) < eps, else Lprev = L
//    expect   w[k] = f[H2] * f[H1], then w[k] = w[k] * 2.0 when H1 != H2
//   final     w[k] = f[H2] * f[H1]; s = ((0.0 + w0) + w1) + ...; w[k] = w[k] / s
//   best      bestCombination
//   copies    per record, per k: c = double(count) * w[k]; E[H1] += c; E[H2] += c
// P = the estimator's loaded numPheno, N = numIndividuals, n = count.
class LigationJoin {
 public:
  // Combination spaces above this are reported (the join still runs).
  static constexpr long long kLargeCombinationSpace = 500000000LL;
  // No join runs longer than this many maximisation steps.
  static constexpr int kMaxIterations = 100000;

  struct Settings {
    double eps = 1.0;  // convergence bound of the join EM
    int numPheno = 0;  // P of the likelihood constant
    int numIndividuals = 0;  // N
    long long memoryLimitBytes = 0;  // see joinMemoryLimit
    const char* label = "?";  // the sample type in messages
    JoinMemoryBudget* budget = nullptr;  // shared by joins run side by side
  };

  // Joins node leftNode (L = left.numHaplotypes haplotypes) with node
  // rightNode (R) over the genotypes of markers [rangeFrom, rangeTo), one
  // record per genotype: builds the records, numbers the cells, runs the EM
  // and makes the posteriors. The last join then keeps the best pairs and
  // their copies; a join before it keeps the expected copies of its cells.
  // False, with a message, when some genotype fits no pair of block
  // haplotypes or the arrays do not fit in memory. figures gets records,
  // combinations, cells and iterations. Genotype p marks the tree with
  // stamp firstStamp + p (see PlemBlockTree::reserveStamps).
  bool run(const Settings& settings, PlemBlockTree& tree, int leftNode, int rightNode, const BlockHaplotypeSet& left,
           const BlockHaplotypeSet& right, const Phenotype* genotypes, int numGenotypes, int rangeFrom, int rangeTo,
           bool last, JoinFigures& figures, int firstStamp);

  LigationJoin() = default;
  ~LigationJoin();
  LigationJoin(const LigationJoin&) = delete;
  LigationJoin& operator=(const LigationJoin&) = delete;

  // Frees the arrays (and their share of the budget).
  void clear();

  // A join before the last: the expected copies of every cell in cell order
  // and the halves of each cell.
  const std::vector<double>& cellCopies() const { return m_frequency; }
  int cellLeft(int cell) const { return m_cellLeft[cell]; }
  int cellRight(int cell) const { return m_cellRight[cell]; }

  // The last join.
  const std::vector<LigationRecord>& records() const { return m_records; }
  // The best combination of record i, the byte-wise lower full haplotype
  // first, with the summed weight of every combination of the record that
  // gives the same unordered pair. Empty haplotypes with probability 0.0
  // before a complete last join or for an index outside the records.
  void getBestPair(int i, HaplotypePair& result) const;
  // count x weight of every combination of every record, once per side that
  // equals the haplotype. From a total of +0.0 the answer is the sum kept
  // from the join (the same additions in the same order).
  void expectedCount(const std::string& haplotype, double& total) const;

 private:
  void clearCells();
  bool buildRecords(PlemBlockTree& tree, int leftNode, int rightNode, const Phenotype* genotypes, int numGenotypes,
                    int rangeFrom, int rangeTo, int firstStamp);
  void releaseBudget();
  bool numberCells(const BlockHaplotypeSet& left, const BlockHaplotypeSet& right, int rangeFrom, int rangeTo,
                   bool last, JoinFigures& figures);
  // Per record its even starting weights and the offset of its cell numbers.
  void startWeights(long long combinations);
  // Fills the cell numbers of every combination; returns the cell count.
  int numberByLeftHaplotype(int numLeftHaplotypes, int numRightHaplotypes, long long sides, long long cellsAtMost,
                            bool last);
  void renumberByFirstUse(int cells, long long combinations, bool last);
  // Returns the number of maximisation steps.
  int runJoinEm();
  void joinPosteriors();
  // Expected copies of every cell, into the frequency array (no longer
  // needed once the posteriors are made).
  void expectedCopiesIntoFrequency();
  void storeBestPairs(const BlockHaplotypeSet& left, const BlockHaplotypeSet& right);
  void keepBestPairCopies();
  void finalTextIndexes(const BlockHaplotypeSet& left, const BlockHaplotypeSet& right);
  void reportNoFit(int phenotype, int rangeFrom, int rangeTo) const;

  Settings m_settings;
  std::vector<LigationRecord> m_records;
  // Cells of the join. The cell numbers of H1 and H2 of combination k of
  // record p are m_cell1/m_cell2[m_cellOffset[p] + k], numbered in order of
  // first use. Before the last join, cell c is left haplotype m_cellLeft[c]
  // joined to right haplotype m_cellRight[c].
  std::vector<int64_t> m_cellOffset;
  std::vector<int> m_cell1;
  std::vector<int> m_cell2;
  std::vector<int> m_cellLeft;
  std::vector<int> m_cellRight;
  std::vector<double> m_frequency;
  // The last join, for expectedCount: texts of the two blocks' haplotypes
  // (views into the blocks given to run, which must outlive the queries),
  // and the expected copies of the haplotypes of the best pairs keyed by
  // left * R + right.
  bool m_complete = false;
  long long m_budgetHeld = 0;  // bytes taken from m_settings.budget
  int m_numRight = 0;
  int m_finalLeftMarkers = 0;
  int m_finalMarkers = 0;
  std::unordered_map<std::string_view, int> m_finalLeftIndex;
  std::unordered_map<std::string_view, int> m_finalRightIndex;
  std::unordered_map<int64_t, double> m_bestPairCopies;
};

// Prints the message of a join whose arrays need about bytes, more than the
// machine has available, over markers [rangeFrom, rangeTo).
void reportJoinNoMemory(const char* label, long long bytes, int rangeFrom, int rangeTo);
