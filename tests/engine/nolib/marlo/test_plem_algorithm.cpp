#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "common_sgt/Settings.h"
#include "marlo/EMAlgorithm.h"
#include "marlo/LigationJoin.h"
#include "marlo/PLEMAlgorithm.h"
#include "marlo/PlemBlockTree.h"
#include "marlo_test_util.h"
#include "test_plem_reference.h"

namespace {

using marlotest::captureStdout;
using marlotest::makePhenotypes;
using Options = std::vector<std::pair<int, int>>;
using Texts = std::vector<std::string>;

// An estimator over its own phenotypes (all markers of the genotypes given).
struct PlemProbe {
  PlemProbe(const std::vector<std::pair<std::string, int>>& genotypes, int length) : loaded(makePhenotypes(genotypes)) {
    plem.setData(loaded.data(), static_cast<int>(genotypes[0].first.size() / 2), static_cast<int>(loaded.size()),
                 marlotest::totalCount(loaded));
    plem.blockLength = length;
  }
  std::vector<Phenotype> loaded;
  PLEMAlgorithm plem;
};

// The last join of two hand-made blocks (the first of blockLength markers,
// the second of the rest) over all genotypes given, driven directly.
struct JoinProbe {
  JoinProbe(const std::vector<std::pair<std::string, int>>& genotypes, int length)
      : loaded(makePhenotypes(genotypes)),
        numMarkers(static_cast<int>(genotypes[0].first.size() / 2)),
        blockLength(length) {}
  bool join(const Texts& left, const Texts& right) {
    blocks.assign(2, BlockHaplotypeSet());
    std::string l, r;
    for (const auto& h : left) l += h;
    for (const auto& h : right) r += h;
    blocks[0].set(static_cast<int>(left.size()), std::move(l), blockLength);
    blocks[1].set(static_cast<int>(right.size()), std::move(r), numMarkers - blockLength);
    tree.clear();
    const int a = tree.addLeaf(blocks[0], 0);
    const int b = tree.addLeaf(blocks[1], blockLength);
    LigationJoin::Settings settings;
    settings.eps = ligationEps;
    settings.numPheno = static_cast<int>(loaded.size());
    settings.numIndividuals = marlotest::totalCount(loaded);
    figures = JoinFigures();
    ligation.clear();
    return ligation.run(settings, tree, a, b, blocks[0], blocks[1], loaded.data(), static_cast<int>(loaded.size()), 0,
                        numMarkers, true, figures, tree.reserveStamps(static_cast<int>(loaded.size())));
  }
  std::vector<Phenotype> loaded;
  int numMarkers;
  int blockLength;
  double ligationEps = 1.0;
  std::vector<BlockHaplotypeSet> blocks;
  PlemBlockTree tree;
  LigationJoin ligation;
  JoinFigures figures;
};

Texts texts(const BlockHaplotypeSet& set) {
  Texts out;
  for (int i = 0; i < set.numHaplotypes; ++i) out.push_back(set.text(i));
  return out;
}

template <class Estimate>
HaplotypePair bestPair(Estimate& plem, int i) {
  HaplotypePair r;
  r.probability = 7.0;
  plem.getBestPair(i, r);
  return r;
}

template <class Estimate>
double expected(Estimate& plem, const std::string& h, double start = 0.0) {
  plem.expectedCount(h, start);
  return start;
}

// Individuals as two copies of founder haplotypes (the alleles of marker m
// are A/G, C/T, A/C, G/T by m % 4); pick chooses a founder, mutate changes a
// letter of the first copy now and then.
std::vector<std::pair<std::string, std::string>> founderPairs(std::mt19937& rng, int markers, int founders, int people,
                                                              const std::function<int()>& pick, bool mutate) {
  const char alleles[][2] = {{'A', 'G'}, {'C', 'T'}, {'A', 'C'}, {'G', 'T'}};
  Texts hap(founders, std::string(markers, ' '));
  for (int m = 0; m < markers; ++m)
    for (int f = 0; f < founders; ++f) hap[f][m] = alleles[m % 4][rng() % 2];
  std::vector<std::pair<std::string, std::string>> pairs;
  for (int i = 0; i < people; ++i) {
    std::string a = hap[pick()], b = hap[pick()];
    for (int m = 0; mutate && m < markers; ++m) {
      if (rng() % 40 == 0) a[m] = alleles[m % 4][rng() % 2];
      if (rng() % 30 == 0) a[m] = 'N';
    }
    pairs.emplace_back(a, b);
  }
  return pairs;
}

std::map<std::string, double> populationFrequencies(HaplotypeEstimator& estimator) {
  std::vector<std::string> haplotypes;
  std::vector<double> frequencies;
  estimator.collectBestHaplotypes(haplotypes, frequencies);
  std::map<std::string, double> out;
  for (size_t i = 0; i < haplotypes.size(); ++i) out[haplotypes[i]] = frequencies[i];
  return out;
}

}  // namespace

TEST(PLEMAlgorithm, OptionListsByHand) {
  // Left markers A/G, C/T; right markers A/A, C/T. Left options: each listed
  // haplotype with its listed complement, a member of an earlier option
  // skipped; right options: both orders.
  struct Case {
    Texts left, right;
    Options leftOptions, rightOptions;
  };
  const std::vector<Case> cases = {
      // AT with GC, AC with GT; GT and GC are members then; AA and GG fit not.
      {{"AT", "AC", "GT", "GC", "AA"}, {"AT", "GG", "AC"}, {{0, 3}, {1, 2}}, {{0, 2}, {2, 0}}},
      // AT's complement GC is not listed.
      {{"AT", "GT", "AC"}, {"AC", "AT"}, {{1, 2}}, {{0, 1}, {1, 0}}},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    JoinProbe plem({{"AGCTAACT", 1}}, 2);
    ASSERT_TRUE(plem.join(cases[i].left, cases[i].right));
    ASSERT_EQ(plem.ligation.records().size(), 1u);
    const LigationRecord& rec = plem.ligation.records()[0];
    EXPECT_EQ(rec.leftOptions, cases[i].leftOptions);
    EXPECT_EQ(rec.rightOptions, cases[i].rightOptions);
    if (i > 0) continue;
    // All eight haplotypes are equally frequent, every combination ends at
    // 1/4 and the last one wins: left (1,2) = AC|GT with right (2,0) = AC|AT.
    EXPECT_EQ(rec.weight, (std::vector<double>{0.25, 0.25, 0.25, 0.25}));
    EXPECT_EQ(rec.bestHaplotype1 + "|" + rec.bestHaplotype2, "ACAC|GTAT");
    EXPECT_EQ(rec.bestProbability, 0.25);
  }
}

TEST(PLEMAlgorithm, ComplementHaplotype) {
  std::string c;
  // Markers A/G, C/C, N/T, A/N.
  const std::string g = "AGCCNTAN";
  EXPECT_TRUE(PLEMAlgorithm::complementHaplotype(g, 0, 4, "ACTA", c));
  EXPECT_EQ(c, "GCNN");
  EXPECT_TRUE(PLEMAlgorithm::complementHaplotype(g, 0, 4, "GCNN", c));
  EXPECT_EQ(c, "ACTA");
  // A letter that is neither of the marker's: no complement.
  EXPECT_FALSE(PLEMAlgorithm::complementHaplotype(g, 0, 4, "ATTA", c));
  EXPECT_EQ(c, "");
  // A range inside the genotype; the haplotype starts at the range.
  EXPECT_TRUE(PLEMAlgorithm::complementHaplotype(g, 2, 4, "NA", c));
  EXPECT_EQ(c, "TN");
  EXPECT_FALSE(PLEMAlgorithm::complementHaplotype(g, 1, 2, "A", c));
  // An empty range is its own complement; a range beyond the genotype is not.
  EXPECT_TRUE(PLEMAlgorithm::complementHaplotype(g, 2, 2, "", c));
  EXPECT_EQ(c, "");
  EXPECT_FALSE(PLEMAlgorithm::complementHaplotype(g, 3, 5, "AA", c));
}

TEST(PLEMAlgorithm, BestPairIsTheWholeUnorderedPairLowerHaplotypeFirst) {
  // Homozygous over the left block, heterozygous at one right marker: the
  // two orders of the right option are one pair, reported with their summed
  // weight. Equal weights: the last combination wins; the byte-wise lower
  // haplotype is reported first.
  for (const Texts& right : {Texts{"T", "C"}, Texts{"C", "T"}}) {
    JoinProbe plem({{"AACCCT", 1}}, 2);
    ASSERT_TRUE(plem.join({"AC"}, right));
    const LigationRecord& rec = plem.ligation.records()[0];
    EXPECT_EQ(rec.leftOptions, (Options{{0, 0}}));
    EXPECT_EQ(rec.weight, (std::vector<double>{0.5, 0.5}));
    EXPECT_EQ(rec.bestHaplotype1, "AC" + right[1]);
    EXPECT_EQ(rec.bestHaplotype2, "AC" + right[0]);
    const HaplotypePair r = bestPair(plem.ligation, 0);
    EXPECT_EQ(r.haplotype1 + "|" + r.haplotype2, "ACC|ACT");
    EXPECT_EQ(r.probability, 1.0);
    EXPECT_EQ(expected(plem.ligation, "ACT"), 1.0);
    EXPECT_EQ(expected(plem.ligation, "AC"), 0.0);  // no haplotype of this length
    // Outside the records: empty.
    for (int i : {1, -1}) {
      const HaplotypePair none = bestPair(plem.ligation, i);
      EXPECT_EQ(none.haplotype1 + none.haplotype2, "");
      EXPECT_EQ(none.probability, 0.0);
    }
  }
  PLEMAlgorithm unrun;  // no estimate before perform
  EXPECT_EQ(bestPair(unrun, 0).probability, 0.0);
}

TEST(PLEMAlgorithm, JoinArithmeticByHand) {
  // First: AG|CT and AA|CC, one member each, lists A, G and C, T: the model
  // of EMAlgorithm.ThreeStepsByHand, with its three steps (L = ln 3 exactly
  // after the first, |dL| = 2.614 and then 0.716) and posteriors
  // (257*85) : 1. Record 0 combines (A,G) with (C,T) and (T,C): AC|GT and
  // AT|GC; record 1 is ACAC alone. |dL| = eps goes on.
  // Then: AA|CC and AA|CT, lists A and C, T. Step 1: f(AC) = 0.75,
  // f(AT) = 0.25, L = ln 3. Step 2 (a fixed point): weights 9/16 and, doubled
  // as H1 != H2, 2 * 0.75 * 0.25 = 3/8 twice: L = ln 3 + ln(9/16) + ln(3/4)
  // = 0.2355, |dL| = 0.863 < 1 stops (without the doubling 1.556 would not).
  // Posteriors 1/2 each: the last, AT|AC, wins with the whole pair.
  struct Case {
    std::vector<std::pair<std::string, int>> genotypes;
    Texts left, right;
    double ligationEps;
    int iterations, record;
    double weight0;
    std::string best;
    double probability, copiesOfAC;  // count x weight, twice for ACAC
  };
  const std::vector<std::pair<std::string, int>> first = {{"AGCT", 1}, {"AACC", 1}};
  const double p = 21845.0 / 21846.0;
  const std::vector<Case> cases = {
      {first, {"A", "G"}, {"C", "T"}, 1.0, 3, 0, p, "AC|GT", p, p + 2.0},
      {first, {"A", "G"}, {"C", "T"}, log(3.0), 3, 0, p, "AC|GT", p, p + 2.0},
      {{{"AACC", 1}, {"AACT", 1}}, {"A"}, {"C", "T"}, 1.0, 2, 1, 0.5, "AT|AC", 1.0, 3.0},
  };
  for (const Case& c : cases) {
    JoinProbe plem(c.genotypes, 1);
    plem.ligationEps = c.ligationEps;
    ASSERT_TRUE(plem.join(c.left, c.right));
    EXPECT_EQ(plem.figures.iterations, c.iterations) << c.ligationEps;
    const LigationRecord& r = plem.ligation.records()[c.record];
    ASSERT_EQ(r.weight.size(), 2u);
    EXPECT_NEAR(r.weight[0], c.weight0, 1e-15) << c.ligationEps;
    EXPECT_NEAR(r.weight[1], 1.0 - c.weight0, 1e-15) << c.ligationEps;
    EXPECT_EQ(r.bestHaplotype1 + "|" + r.bestHaplotype2, c.best);
    EXPECT_NEAR(r.bestProbability, c.probability, 1e-15);
    EXPECT_NEAR(expected(plem.ligation, "AC"), c.copiesOfAC, 1e-15);
    EXPECT_NEAR(expected(plem.ligation, "AC", 0.5), c.copiesOfAC + 0.5, 1e-15);  // from a start: pair by pair
  }
}

// (25 markers in blocks of 10 are traced join by join in DebugTraces.)
TEST(PLEMAlgorithm, BlockRangesPerLevel) {
  struct Case {
    int markers, length;
    std::vector<std::vector<int>> joins;  // block length, left block, from, width
    int lastLeft, lastRight;
  };
  const std::vector<Case> cases = {
      {20, 10, {{10, 0, 0, 20}}, 10, 10},
      {21, 10, {{10, 0, 0, 20}, {20, 0, 0, 21}}, 20, 1},
      {40, 10, {{10, 0, 0, 20}, {10, 2, 20, 20}, {20, 0, 0, 40}}, 20, 20},
      {45, 10, {{10, 0, 0, 20}, {10, 2, 20, 20}, {20, 0, 0, 40}, {40, 0, 0, 45}}, 40, 5},
      {60, 10, {{10, 0, 0, 20}, {10, 2, 20, 20}, {10, 4, 40, 20}, {20, 0, 0, 40}, {40, 0, 0, 60}}, 40, 20},
      {7, 1, {{1, 0, 0, 2}, {1, 2, 2, 2}, {1, 4, 4, 2}, {2, 0, 0, 4}, {2, 2, 4, 3}, {4, 0, 0, 7}}, 4, 3},
      {2, 1, {{1, 0, 0, 2}}, 1, 1},
  };
  marlotest::Scoped<bool> given(g_seedGiven, true);
  marlotest::Scoped<uint32_t> seed(g_seedValue, 3);
  for (const Case& c : cases) {
    // Everyone homozygous for the same haplotype: one haplotype per block.
    PlemProbe plemProbe({{std::string(2 * c.markers, 'A'), 3}}, c.length);
    PLEMAlgorithm& plem = plemProbe.plem;
    ASSERT_TRUE(plem.perform()) << c.markers;
    std::vector<std::vector<int>> joins;
    for (const auto& f : plem.joinFigures) {
      joins.push_back({f.blockLength, f.left, f.from, f.width});
      EXPECT_EQ(f.numLeft * f.numRight, 1);
    }
    EXPECT_EQ(joins, c.joins) << c.markers;
    ASSERT_EQ(plem.blocks().size(), 2u);
    EXPECT_EQ(plem.blocks()[0].numMarkers, c.lastLeft) << c.markers;
    EXPECT_EQ(plem.blocks()[1].numMarkers, c.lastRight) << c.markers;
    EXPECT_EQ(texts(plem.blocks()[0]), Texts{std::string(c.lastLeft, 'A')}) << c.markers;
    EXPECT_EQ(texts(plem.blocks()[1]), Texts{std::string(c.lastRight, 'A')}) << c.markers;
    const HaplotypePair r = bestPair(plem, 0);
    EXPECT_EQ(r.haplotype1 + "|" + r.haplotype2, std::string(c.markers, 'A') + "|" + std::string(c.markers, 'A'));
    EXPECT_EQ(r.probability, 1.0);
  }
}

TEST(PLEMAlgorithm, SelectionKeepsCopiesEqualToTheThresholdInOrderOfFirstInsertion) {
  struct Case {
    std::vector<std::pair<std::string, int>> genotypes;
    int length;
    double plemEps;
    Texts left, right;  // the lists of the last join; empty: no estimate
    int joins, kept;    // joins made, haplotypes kept by the first one (-1: not checked)
    const char* message;
  };
  // AG (count 1) and AA (count 2) at marker 1: A has 5 copies, G exactly 1.
  const std::vector<std::pair<std::string, int>> one = {{"AGCC", 1}, {"AACC", 2}};
  // Markers A/A, C/C, G/T: A and C have 6 copies, the joined AC too; G 5, T 1.
  const std::vector<std::pair<std::string, int>> three = {{"AACCGG", 2}, {"AACCGT", 1}};
  const std::vector<Case> cases = {
      {one, 1, 1.0, {"A", "G"}, {"C"}, 1, -1, ""},
      {one, 1, std::nextafter(1.0, 2.0), {}, {}, 1, -1, "markers 1 to 2"},
      {three, 1, 1.0, {"AC"}, {"G", "T"}, 2, 1, ""},
      {three, 1, 6.0, {}, {}, 2, 1, "markers 1 to 3"},  // G and T are gone at the last join
      {three, 1, std::nextafter(6.0, 7.0), {}, {}, 1, -1, "markers 1 to 2"},
      // Block 0 pairs in order GG|TT; AG|CT: AC|GT, GC|AT; AA|CC: first
      // insertions GT, AC, GC, AT.
      {{{"GGTTAA", 2}, {"AGCTAA", 1}, {"AACCAA", 2}}, 2, 0.0, {"GT", "AC", "GC", "AT"}, {"A"}, 1, -1, ""},
  };
  marlotest::Scoped<bool> given(g_seedGiven, true);
  marlotest::Scoped<uint32_t> seed(g_seedValue, 5);
  for (const Case& c : cases) {
    PlemProbe plemProbe(c.genotypes, c.length);
    PLEMAlgorithm& plem = plemProbe.plem;
    plem.plemEps = c.plemEps;
    auto [ok, out] = captureStdout([&] { return plem.perform(); });
    ASSERT_EQ(ok, !c.left.empty()) << c.plemEps << out;
    EXPECT_EQ(static_cast<int>(plem.joinFigures.size()), c.joins) << c.plemEps;
    EXPECT_NE(out.find(c.message), std::string::npos) << out;
    if (c.kept >= 0) {
      EXPECT_EQ(plem.joinFigures[0].kept, c.kept) << c.plemEps;
    }
    if (!ok) continue;
    EXPECT_EQ(texts(plem.blocks()[0]), c.left) << c.plemEps;
    EXPECT_EQ(texts(plem.blocks()[1]), c.right) << c.plemEps;
  }
}

TEST(PLEMAlgorithm, DebugTraces) {
  marlotest::Scoped<bool> given(g_seedGiven, true);
  marlotest::Scoped<uint32_t> seed(g_seedValue, 3);
  marlotest::Scoped<int> debug(g_debugLevel, 2);
  PlemProbe plemProbe({{std::string(50, 'A'), 2}}, 10);
  PLEMAlgorithm& plem = plemProbe.plem;
  auto [ok, out] = captureStdout([&] { return plem.perform(); });
  ASSERT_TRUE(ok);
  // The block EMs' own lines start with two spaces.
  std::istringstream lines(out);
  std::string line, kept;
  while (std::getline(lines, line))
    if (line.compare(0, 2, "  ") != 0) kept += line + "\n";
  EXPECT_EQ(kept,
            "Build Initial Haplotype Set for 25 Markers, 3 Blocks\n"
            " Make Haplotype Block 1/3 [0~10)\n"
            " Make Haplotype Block 2/3 [10~20)\n"
            " Make Haplotype Block 3/3 [20~30)\n"
            " Merging Blocks\n"
            " - merge 0,1 to 0 ... size=20, =1 haplotypes\n"
            " - copy 2 to 1\n"
            " - merge 0,1 to nothing ... size=20, =1 haplotypes\n");
  EXPECT_NE(out.find("  Calc Freq numpheno=1\n"), std::string::npos);
  // A genotype that fits no pair of a join.
  PlemProbe failsProbe({{"AACCGG", 2}, {"AACCGT", 1}}, 1);
  PLEMAlgorithm& fails = failsProbe.plem;
  fails.plemEps = 1.5;
  g_debugLevel = 1;
  out = captureStdout([&] { return fails.perform(); }).second;
  EXPECT_NE(out.find("  1th phenotype: numAllele1*numAllele2=S=0, Cannot merge\n"), std::string::npos) << out;
}

TEST(PLEMAlgorithm, RefusedRunsLeaveNoEstimate) {
  struct Case {
    std::vector<std::pair<std::string, int>> genotypes;
    int markers, length;
    double ligationEps;
    long long memory;
    Texts messages;
  };
  marlotest::Scoped<bool> given(g_seedGiven, true);
  marlotest::Scoped<uint32_t> seed(g_seedValue, 4);
  const std::vector<std::pair<std::string, int>> one = {{"AACCGG", 1}};
  const std::vector<Case> cases = {
      {one, 3, 0, 1.0, 0, {"PLEM (sample type x): block length 0 is below 1"}},
      {one, 3, 1, 0.0, 0, {"the convergence threshold 0 is not positive"}},
      {one, 3, 1, -1.0, 0, {"the convergence threshold -1 is not positive"}},
      {one, 3, 3, 1.0, 0, {"3 markers fit in one block of 3"}},
      {{{"AACCGG", 1}, {"AACC", 1}}, 3, 1, 1.0, 0, {"genotype #1 holds 4 letters for 3 markers"}},
      {{}, 3, 1, 1.0, 0, {"no genotypes"}},
      {{{"AGCTAC", 2}, {"AACCAA", 1}},
       3,
       2,
       1.0,
       16,
       {"alle1.numAlle:", ", from:0, to:1\n", "join of markers 1 to 3 needs"}},
  };
  for (const Case& c : cases) {
    auto ph = makePhenotypes(c.genotypes);
    PLEMAlgorithm plem;
    plem.setLabel("x");
    plem.setData(ph.empty() ? nullptr : ph.data(), c.markers, static_cast<int>(ph.size()), marlotest::totalCount(ph));
    plem.blockLength = c.length;
    plem.ligationEps = c.ligationEps;
    plem.memoryLimitBytes = c.memory;
    auto [ok, out] = captureStdout([&] { return plem.perform(); });
    EXPECT_FALSE(ok);
    for (const std::string& m : c.messages) EXPECT_NE(out.find(m), std::string::npos) << out;
    EXPECT_EQ(bestPair(plem, 0).probability, 0.0);
  }
}

// The integer-numbered joins against the text-keyed reference on random
// data: block lists in order, options, weights, best pairs, their
// probabilities and expected counts to the last bit. The loaded phenotypes
// are only read.
TEST(PLEMAlgorithm, MatchesTheTextKeyedReference) {
  std::mt19937 rng(20240611);
  marlotest::Scoped<bool> given(g_seedGiven, true);
  marlotest::Scoped<uint32_t> seedValue(g_seedValue, 0);
  int estimated = 0, refused = 0;
  for (int round = 0; round < 60; ++round) {
    const int length = 2 + static_cast<int>(rng() % 4);
    const int markers = length + 1 + static_cast<int>(rng() % (4 * length));
    const int founders = 2 + static_cast<int>(rng() % 4);
    const int people = 5 + static_cast<int>(rng() % 30);
    auto pairs = founderPairs(
        rng, markers, founders, people, [&] { return rng() % founders; }, true);
    auto ph = marlotest::fromPairs(pairs);
    const auto loaded = ph;
    g_seedValue = static_cast<uint32_t>(rng());
    const double plemEps = std::vector<double>{0.00001, 0.2, 0.0, 1.0}[rng() % 4];
    const double ligationEps = std::vector<double>{1.0, 0.01, 0.000001}[rng() % 3];

    plemtest::ReferencePlem ref;
    ref.base = &ph;
    ref.numMarkers = markers;
    ref.numIndividuals = people;
    ref.blockLength = length;
    ref.plemEps = plemEps;
    ref.ligationEps = ligationEps;
    const bool refOk = ref.run();

    PLEMAlgorithm plem;
    plem.setData(ph.data(), markers, static_cast<int>(ph.size()), people);
    plem.blockLength = length;
    plem.plemEps = plemEps;
    plem.ligationEps = ligationEps;
    const bool ok = captureStdout([&] { return plem.perform(); }).first;
    ASSERT_EQ(ok, refOk) << "round " << round;
    if (!ok) {
      ++refused;
      continue;
    }
    ++estimated;
    EXPECT_EQ(plem.blockPhenotypes(), ph.data());
    for (size_t p = 0; p < ph.size(); ++p) {
      EXPECT_EQ(ph[p].genotype + ph[p].memberId[0], loaded[p].genotype + loaded[p].memberId[0]);
      EXPECT_TRUE(ph[p].pairWeight.empty());
    }
    EXPECT_EQ(texts(plem.blocks()[0]), ref.lastLeft) << "round " << round;
    EXPECT_EQ(texts(plem.blocks()[1]), ref.lastRight) << "round " << round;
    ASSERT_EQ(plem.lastJoin().records().size(), ref.records.size());
    for (size_t p = 0; p < ref.records.size(); ++p) {
      const LigationRecord& a = plem.lastJoin().records()[p];
      const auto& b = ref.records[p];
      EXPECT_EQ(a.leftOptions, b.left) << "round " << round << " record " << p;
      EXPECT_EQ(a.rightOptions, b.right) << "round " << round << " record " << p;
      EXPECT_EQ(a.weight, b.weight) << "round " << round << " record " << p;
      EXPECT_EQ(a.bestHaplotype1, b.best1);
      EXPECT_EQ(a.bestHaplotype2, b.best2);
      EXPECT_EQ(a.bestProbability, b.bestProbability);
      const HaplotypePair r = bestPair(plem, static_cast<int>(p));
      for (const std::string& h : {r.haplotype1, r.haplotype2}) {
        EXPECT_EQ(expected(plem, h), ref.expectedCount(h, 0.0)) << "round " << round;
        EXPECT_EQ(expected(plem, h, 0.25), ref.expectedCount(h, 0.25)) << "round " << round;
      }
    }
    // A haplotype of no best pair.
    const std::string other = ref.lastLeft[0] + ref.lastRight.back();
    EXPECT_EQ(expected(plem, other), ref.expectedCount(other, 0.0));
  }
  EXPECT_GT(estimated, 20);
  EXPECT_GT(refused, 0);
}

// PLEM /EPS0.000001 /SEED1 against plain EM /EPS0.000001 (even start) on the
// same 25 markers: the population frequencies agree to 1e-3, and both find
// the founders with the shares drawn.
TEST(PLEMAgreement, FrequenciesAgreeWithPlainEm) {
  const int markers = 25, individuals = 200;
  for (uint32_t seed : {1u, 2u, 3u}) {
    // Three founder haplotypes drawn with shares 50 %, 30 %, 20 %.
    std::mt19937 rng(seed);
    auto pairs = founderPairs(
        rng, markers, 3, individuals, [&] { return std::vector{0, 0, 0, 0, 0, 1, 1, 1, 2, 2}[rng() % 10]; }, false);
    std::map<std::string, int> copies;
    for (const auto& [a, b] : pairs)
      for (const std::string& h : {a, b}) ++copies[h];
    auto ph = marlotest::fromPairs(pairs);
    const int np = static_cast<int>(ph.size());

    EMAlgorithm em;
    em.eps = 0.000001;
    em.setInitMode(0);
    em.setData(ph.data(), markers, np, individuals);
    ASSERT_TRUE(em.performEM());
    const auto fromEm = populationFrequencies(em);

    marlotest::Scoped<bool> given(g_seedGiven, true);
    marlotest::Scoped<uint32_t> value(g_seedValue, 1);
    PLEMAlgorithm plem;
    plem.setData(ph.data(), markers, np, individuals);
    plem.ligationEps = 0.000001;
    ASSERT_TRUE(plem.perform());
    const auto fromPlem = populationFrequencies(plem);

    ASSERT_FALSE(fromEm.empty());
    std::map<std::string, double> all = fromEm;
    all.insert(fromPlem.begin(), fromPlem.end());
    for (const auto& [h, unused] : all) {
      const double a = fromEm.count(h) ? fromEm.at(h) : 0.0;
      const double b = fromPlem.count(h) ? fromPlem.at(h) : 0.0;
      EXPECT_NEAR(a, b, 1e-3) << "seed " << seed << " haplotype " << h;
    }
    for (const auto& [h, n] : copies) {
      ASSERT_TRUE(fromPlem.count(h)) << h;
      EXPECT_NEAR(fromPlem.at(h), n / (2.0 * individuals), 1e-3) << h;
    }
  }
}
