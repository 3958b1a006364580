// The pair computation: allele tables and sub-phenotypes by hand, the pair
// store that LD blocking reads, and the packed computation against the
// general one (sub-phenotype records and the haplotype estimator), pair by
// pair, on random genotype files with linkage, missing alleles, monomorphic
// SNPs and third and fourth alleles: every field bit for bit, the p-values
// to their printed digits, and the random generator left in the same state.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "common_sgt/Random.h"
#include "common_sgt/Settings.h"
#include "ld/PackedPairComputer.h"
#include "ld/PairComputation.h"
#include "ld/PairStore.h"
#include "ld/SubPhenotypes.h"
#include "ld/TwoLocusMle.h"
#include "test_pair_files.h"

namespace {

using pairtest::genoText;
using pairtest::load;
using pairtest::SeedGuard;
using pairtest::writeFile;

std::string text(const SnpAlleleTable& t) {
  std::string s;
  for (int a = 0; a < t.size(); ++a) s += std::string(1, t.alleles[a]) + std::to_string(t.counts[a]) + " ";
  return s + t.first() + t.second();
}

TEST(PairAlleleTable, LargestCountFirstTiesToTheSmallerCode) {
  // SNP 0: T 2, G 2, A 1, C 1. SNP 1: G 4 then A 1, C 1 (the largest count
  // on the largest letter). SNP 2: only C (it serves as both alleles); the
  // half-missing C/N still gives its C. SNP 3: nothing.
  GenoData data;
  ASSERT_TRUE(load(data,
                   writeFile("ties.geno", genoText({"x", "x", "x"}, {{"T/G", "G/T", "A/C"},
                                                                     {"G/G", "G/A", "G/C"},
                                                                     {"C/C", "C/C", "C/N"},
                                                                     {"N/N", "N/N", "N/N"}})),
                   "x"));
  EXPECT_EQ(text(buildAlleleTable(data, 0)), "G2 T2 A1 C1 GT");
  EXPECT_EQ(text(buildAlleleTable(data, 1)), "G4 A1 C1 GA");
  EXPECT_EQ(text(buildAlleleTable(data, 2)), "C5 CC");
  EXPECT_EQ(text(buildAlleleTable(data, 3)), "NN");
}

TEST(PairSubPhenotypes, MergedInOrderOfFirstIndividualWithoutMissing) {
  // Six individuals; the loaded groups are {0}, {1, 4}, {2}, {3}, {5}:
  // individuals 0 and 2 differ only at SNP 2.
  GenoData data;
  ASSERT_TRUE(load(data,
                   writeFile("six.geno", genoText({"1", "1", "1", "1", "1", "1"},
                                                  {{"A/G", "A/A", "G/A", "N/N", "A/A", "A/N"},
                                                   {"C/C", "C/T", "C/C", "C/C", "T/C", "C/C"},
                                                   {"A/A", "A/A", "C/C", "A/A", "A/A", "A/A"}})),
                   "1"));
  ASSERT_EQ(data.m_numpheno, 5);
  std::vector<Phenotype> subs;
  std::vector<int> of;
  buildSubPhenotypes(data, {0, 1}, subs, of);
  ASSERT_EQ(subs.size(), 2u);
  EXPECT_EQ(subs[0].genotype, "AGCC");  // individuals 0 and 2 (groups 0 and 2)
  EXPECT_EQ(subs[0].count, 2);
  EXPECT_EQ(subs[0].memberIndex, (std::vector<int>{0, 2}));
  EXPECT_EQ(subs[0].memberId, (std::vector<std::string>{"s1", "s3"}));
  EXPECT_EQ(subs[0].numHeterozygous, 1);
  EXPECT_EQ(subs[1].genotype, "AACT");
  EXPECT_EQ(subs[1].memberIndex, (std::vector<int>{1, 4}));
  EXPECT_EQ(of, (std::vector<int>{0, 1, 0, -1, 1, -1}));
  // Missing only counts at the listed SNPs.
  buildSubPhenotypes(data, {1}, subs, of);
  ASSERT_EQ(subs.size(), 2u);
  EXPECT_EQ(subs[0].genotype, "CC");
  EXPECT_EQ(subs[0].count, 4);
  EXPECT_EQ(of, (std::vector<int>{0, 1, 0, 0, 1, 0}));
}

TEST(PairStoreRows, FindsWhatWasAddedAndNothingElse) {
  PairStore store(5);
  store.add(0, 1, {0.5, 0.01, 0.2});
  store.add(0, 2, {0.6, 0.02, 0.3});
  store.add(2, 3, {0.7, 0.03, 0.4});
  ASSERT_NE(store.find(0, 2), nullptr);
  EXPECT_EQ(store.find(0, 2)->absDprime, 0.6);
  EXPECT_EQ(store.find(0, 2)->varDprime, 0.02);
  EXPECT_EQ(store.find(0, 2)->minorFreq, 0.3);
  EXPECT_EQ(store.find(2, 3)->absDprime, 0.7);
  for (auto [i, j] : {std::pair{0, 3} /* beyond the row */, {1, 2} /* empty row */, {2, 0}, {4, 5}, {-1, 2}})
    EXPECT_EQ(store.find(i, j), nullptr) << i << "," << j;
  // A pair that does not continue its row is refused.
  store.add(0, 4, {0.9, 0.0, 0.1});
  store.add(3, 3, {0.9, 0.0, 0.1});
  EXPECT_EQ(store.find(0, 4), nullptr);
  EXPECT_EQ(store.pairCount(), 3);
  store.reserve(1000);
  EXPECT_GE(store.reservedBytes(), 1000 * static_cast<int64_t>(sizeof(PairLDSummary)));
  store.reset(2);
  EXPECT_EQ(store.pairCount(), 0);
  EXPECT_EQ(store.find(0, 1), nullptr);
}

std::string text75(double x) {
  char buf[64];
  snprintf(buf, sizeof buf, "%7.5f", x);
  return buf;
}

// Every field of the two records, with the field named on a mismatch: the
// values bit for bit, the p-values to their printed digits.
void expectSame(const PairwiseValue& g, const PairwiseValue& p, const std::string& where) {
#define SAME_BITS(f) \
  EXPECT_EQ(std::bit_cast<uint64_t>(g.f), std::bit_cast<uint64_t>(p.f)) << where << " " #f ": " << g.f << " " << p.f
  SAME_BITS(D); SAME_BITS(Dprime); SAME_BITS(absDprime); SAME_BITS(r); SAME_BITS(r2); SAME_BITS(chiSquare);
  SAME_BITS(lodStatistic); SAME_BITS(varDprime); SAME_BITS(minorFreq); SAME_BITS(multiDprime);
  for (int k = 0; k < 4; ++k) SAME_BITS(hap[k]);
#undef SAME_BITS
  for (int k = 0; k < 9; ++k) EXPECT_EQ(g.genotypeCount[k], p.genotypeCount[k]) << where << " class " << k;
  EXPECT_EQ(g.fourGamete, p.fourGamete) << where;
  EXPECT_EQ(g.numIndividuals, p.numIndividuals) << where;
  EXPECT_EQ(g.multiAllelic, p.multiAllelic) << where;
  EXPECT_EQ(text75(g.chiSquareP), text75(p.chiSquareP)) << where << " chi-square p " << g.chiSquareP;
  EXPECT_EQ(text75(g.lodP), text75(p.lodP)) << where << " LOD p " << g.lodP;
}

// A random genotype file: individuals draw their two haplotypes from a few
// founder haplotypes (so that SNPs are linked), with changed alleles, missing
// and half-missing genotypes, and SNPs of every kind.
std::string randomFile(std::mt19937& rng, int& fiveAlleleSnps) {
  const int individuals = std::uniform_int_distribution<int>(15, 90)(rng);
  const int snps = std::uniform_int_distribution<int>(10, 26)(rng);
  const std::string letters = "ACGT";
  std::vector<std::string> alleleSets(snps);
  for (int k = 0; k < snps; ++k) {
    const int kind = std::uniform_int_distribution<int>(0, 19)(rng);
    std::string set = letters;
    std::shuffle(set.begin(), set.end(), rng);
    if (kind == 0)
      alleleSets[k] = set.substr(0, 1);  // monomorphic
    else if (kind <= 2)
      alleleSets[k] = set.substr(0, 3);  // a third allele
    else if (kind == 3)
      alleleSets[k] = set;  // four alleles
    else if (kind == 4) {
      alleleSets[k] = set + "X";  // five: left to the general computation
      ++fiveAlleleSnps;
    } else
      alleleSets[k] = set.substr(0, 2);
  }
  const int founders = std::uniform_int_distribution<int>(2, 5)(rng);
  std::vector<std::string> founder(founders, std::string(snps, ' '));
  for (auto& f : founder)
    for (int k = 0; k < snps; ++k)
      f[k] = alleleSets[k][std::uniform_int_distribution<int>(0, static_cast<int>(alleleSets[k].size()) - 1)(rng)];
  std::uniform_real_distribution<double> u(0.0, 1.0);
  const double mutation = u(rng) * 0.2;
  const double missing = u(rng) < 0.5 ? 0.0 : u(rng) * 0.15;
  const int allMissingSnp = u(rng) < 0.3 ? std::uniform_int_distribution<int>(0, snps - 1)(rng) : -1;
  std::vector<std::string> types(individuals);
  for (auto& t : types) t = u(rng) < 0.5 ? "0" : "1";
  std::vector<std::vector<std::string>> rows(snps, std::vector<std::string>(individuals));
  for (int i = 0; i < individuals; ++i) {
    std::string h[2];
    for (auto& x : h) {
      x = founder[std::uniform_int_distribution<int>(0, founders - 1)(rng)];
      for (int k = 0; k < snps; ++k)
        if (u(rng) < mutation)
          x[k] = alleleSets[k][std::uniform_int_distribution<int>(0, static_cast<int>(alleleSets[k].size()) - 1)(rng)];
    }
    for (int k = 0; k < snps; ++k) {
      char a = h[0][k], b = h[1][k];
      const double m = u(rng);
      if (k == allMissingSnp || m < missing * 0.6) {
        a = b = 'N';
      } else if (m < missing) {
        (u(rng) < 0.5 ? a : b) = 'N';
      }
      rows[k][i] = u(rng) < 0.5 ? std::string{a, '/', b} : std::string{b, '/', a};
    }
  }
  return genoText(types, rows);
}

// Every pair of the random files, packed against general, with the EM and
// with /MLE. With /MLE the bi-allelic pairs must also carry the closed-form
// estimate of their nine classes, and the multi-allelic ones the EM's record.
TEST(PairPackedIdentity, RandomFilesEveryPairEveryType) {
  SeedGuard guard;
  g_seedGiven = true;
  std::mt19937 rng(20240611);
  long pairs = 0, multi = 0, withMissing = 0, monomorphic = 0, empty = 0, closedForm = 0;
  int fiveAllele = 0;
  // The packed estimator tests its stop with approximate logarithms and
  // recomputes both log-likelihoods exactly when their change is within the
  // error bound of eps: thresholds of 1e-6 and 1e-12 make that frequent.
  const double epsValues[] = {1.0, 0.05, 1e-6, 1e-12};
  for (int f = 0; f < 24; ++f) {
    const std::string path = writeFile("identity_" + std::to_string(f) + ".geno", randomFile(rng, fiveAllele));
    for (const char* type : {"0", "1", "M"}) {
      GenoData data;
      ASSERT_TRUE(load(data, path, type));
      if (data.m_numindiv == 0) continue;
      const double eps = epsValues[f % 4];
      for (const bool mle : {false, true}) {
        // Packed on one to three threads: the tables must not depend on it.
        PackedPairComputer packed(data, eps, mle, 1 + f % 3);
        for (int i = 0; i + 1 < data.m_nummarker; ++i) {
          for (int j = i + 1; j < data.m_nummarker; ++j) {
            if (!packed.usable(i) || !packed.usable(j)) continue;
            // The same seed for both; the generator must end in the same state.
            g_seedValue = 1000u * f + static_cast<uint32_t>(i * 131 + j);
            PairwiseValue general, fast;
            lcgSeed(12345);
            computePairGeneral(data, i, j, eps, general, mle);
            const int afterGeneral = lcgNext();
            lcgSeed(12345);
            packed.compute(i, j, fast);
            const int afterPacked = lcgNext();
            const std::string where = "file " + std::to_string(f) + " type " + type + " pair (" +
                                      std::to_string(i) + "," + std::to_string(j) + ")" + (mle ? " /MLE" : "");
            expectSame(general, fast, where);
            if (general.numIndividuals > 0 || general.multiAllelic) {
              EXPECT_EQ(afterGeneral, afterPacked) << where << ": generator state differs";
            }
            if (mle && general.multiAllelic) {
              PairwiseValue em;
              computePairGeneral(data, i, j, eps, em, false);
              expectSame(em, general, where + " (multi-allelic keeps the EM)");
            } else if (mle && general.numIndividuals > 0) {
              // The frequencies are the table's estimate (a SNP with one allele
              // in the sample type repeats it, halving every frequency).
              const TwoLocusEstimate e = twoLocusMle(general.genotypeCount);
              const bool single = general.hap[0] == general.hap[2] || general.hap[0] == general.hap[1];
              double sum = 0.0;
              for (int k = 0; k < 4; ++k) sum += general.hap[k];
              EXPECT_NEAR(sum, 1.0, 1e-15) << where;
              if (!single) {
                for (int k = 0; k < 4; ++k) EXPECT_NEAR(general.hap[k], e.freq[k], 1e-15) << where << " hap " << k;
              }
              EXPECT_EQ(afterGeneral, (lcgSeed(12345), lcgNext())) << where << ": a random number was drawn";
              ++closedForm;
            }
            ASSERT_FALSE(HasFailure());
            if (mle) continue;
            ++pairs;
            multi += general.multiAllelic;
            empty += general.numIndividuals == 0;
            withMissing += general.numIndividuals < data.m_numindiv;
            monomorphic += general.D == 0.0 && general.numIndividuals > 0;
          }
        }
      }
    }
  }
  // The files must have exercised what the packed form has to get right.
  EXPECT_GT(pairs, 5000);
  EXPECT_GT(multi, 500);
  EXPECT_GT(withMissing, 1000);
  EXPECT_GT(monomorphic, 100);
  EXPECT_GT(empty, 10);
  EXPECT_GT(fiveAllele, 0);
  EXPECT_GT(closedForm, 3000);
}

TEST(PairPackedIdentity, WithoutSeedTheClockSeedsBothAlike) {
  // Within the same second both computations start from the same weights.
  SeedGuard guard;
  g_seedGiven = false;
  std::mt19937 rng(7);
  int five = 0;
  GenoData data;
  ASSERT_TRUE(load(data, writeFile("identity_clock.geno", randomFile(rng, five)), "M"));
  PackedPairComputer packed(data, 1.0);
  int compared = 0;
  for (int i = 0; i + 1 < data.m_nummarker && compared < 20; ++i) {
    if (!packed.usable(i) || !packed.usable(i + 1)) continue;
    const time_t before = time(nullptr);
    PairwiseValue general, fast;
    computePairGeneral(data, i, i + 1, 1.0, general);
    packed.compute(i, i + 1, fast);
    if (time(nullptr) != before) continue;  // the second changed in between
    expectSame(general, fast, "clock pair " + std::to_string(i));
    ++compared;
  }
  EXPECT_GT(compared, 0);
}

}  // namespace
