#pragma once
#include <string>
#include <vector>

#include "marlo/HaplotypeEstimator.h"
#include "marlo/LigationJoin.h"
#include "marlo/Phenotype.h"
#include "marlo/PlemBlockTree.h"

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
// The blocks of every level live in a PlemBlockTree; each join is a
// LigationJoin (its arithmetic is written there), and the last one answers
// getBestPair and expectedCount.
class PLEMAlgorithm : public HaplotypeEstimator {
 public:
  using JoinFigures = ::JoinFigures;
  // Combination spaces above this are reported (the join still runs).
  static constexpr long long kLargeCombinationSpace = LigationJoin::kLargeCombinationSpace;
  // No join runs longer than this many maximisation steps.
  static constexpr int kMaxIterations = LigationJoin::kMaxIterations;

  PLEMAlgorithm();
  ~PLEMAlgorithm() override;

  // Names the sample type in the messages.
  void setLabel(const std::string& label) { m_label = label; }

  // Builds the initial block haplotype sets, then merges the blocks level by
  // level. False, with a message on standard output, when there is no
  // estimate: settings that give no bounded run, too few markers, a block EM
  // that cannot run, a join in which some genotype fits no pair of block
  // haplotypes, or a join whose arrays do not fit in memory. getBestPair
  // then gives empty pairs.
  bool perform() override;
  // The best pair of record i of the last join (see LigationJoin).
  void getBestPair(int phenotypeIndex, HaplotypePair& result) override;
  // See LigationJoin::expectedCount.
  void expectedCount(const std::string& haplotype, double& total) override;

  // The complement of a haplotype against the genotype over markers
  // [from, to): per marker the other letter of the genotype. False (no
  // complement) when some letter of the haplotype is neither genotype letter.
  static bool complementHaplotype(const std::string& genotype, int from, int to, const std::string& haplotype,
                                  std::string& complement);

  // Settings, read by perform.
  int blockLength = 10;
  double plemEps = 0.00001;
  double ligationEps = 1.0;
  // Threads for the EMs of the initial blocks and the joins of a level
  // (taken in block order, so the result does not depend on them).
  unsigned workers = 1;
  // Bytes a join may use for its records and cells; 0 = the machine's
  // physical memory.
  long long memoryLimitBytes = 0;

  // Figures of the last perform, join by join.
  std::vector<JoinFigures> joinFigures;
  long long largestCombinationSpace = 0;  // largest L x R of a join

  // After perform: the two blocks of the last join, the join itself, and the
  // genotypes its records stand for (the loaded phenotypes).
  const std::vector<BlockHaplotypeSet>& blocks() const { return m_blocks; }
  const LigationJoin& lastJoin() const { return m_join; }
  const Phenotype* blockPhenotypes() const { return m_blockPhenotypes; }

 private:
  // The number of markers of block b at the current level.
  int blockSize(int b) const;
  bool buildInitialHaplotypeSet();
  // Replaces the owned block phenotypes by the distinct genotype cuts of
  // markers [start, start + size), in order of first appearance, with summed
  // counts.
  void buildBlockPhenotypes(int start, int size);
  // The last join, of blocks l and l + 1: it keeps the best pairs.
  bool ligate(int l);
  bool mergeBlocks();
  bool mergeLevel();
  struct JoinOutcome;
  // A join before the last, of blocks l and l + 1, into r (its printed lines
  // captured by the caller); reads only the two blocks and their subtrees.
  bool joinBefore(int l, int leftNode, int rightNode, int firstStamp, JoinMemoryBudget& budget, JoinOutcome& r);
  // The joined block's haplotypes: the cells with enough expected copies.
  // Figures of the join of blocks l and l + 1 (width markers), and the
  // settings every join gets.
  JoinFigures figuresOf(int l, int width) const;
  LigationJoin::Settings joinSettings() const;
  bool keepJoined(const LigationJoin& join, const BlockHaplotypeSet& left, const BlockHaplotypeSet& right,
                  int rangeFrom, int width, JoinOutcome& r) const;
  void clearResults();
  void releaseBlockPhenotypes();
  // The node of block b, made as an initial block from m_blocks[b] when the
  // block has none.
  int nodeOf(int b, int start);
  long long memoryLimit() const;
  const char* labelText() const;

  std::string m_label;
  // The block length of the current level (doubling level by level).
  int m_levelLength = 10;
  int m_numBlocks = 0;
  std::vector<BlockHaplotypeSet> m_blocks;
  // Block phenotypes of the current step: owned, or the loaded phenotypes
  // at the last join.
  const Phenotype* m_blockPhenotypes = nullptr;
  int m_numBlockPhenotypes = 0;
  std::vector<Phenotype> m_ownedBlockPhenotypes;
  PlemBlockTree m_tree;
  std::vector<int> m_blockNode;  // node of m_blocks[b]
  LigationJoin m_join;
};
