// The replacement genotype of a SNP line where the e2e case preimpu/modes
// does not decide it: allele fallback weights, the heterozygote built from
// two homozygotes, and a tie between A/G and G/A.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "impu/ImputeChoice.h"

namespace {

// Counts genotypes straight into the genotype table, one lookup each.
void countDirectly(const std::vector<std::string>& genotypes, GenotypeTable& table) {
  table.reset(kImputeTableSize);
  for (const std::string& g : genotypes) ++table.findOrInsert(g, 0);
}

TEST(ImputeChoice, FallbacksAndTies) {
  struct Case {
    std::vector<std::pair<std::string, int>> counts;
    const char* majorHomo;
    const char* minorHomo;
    const char* majorHetero;
  } cases[] = {
      // Only heterozygotes: each distinct genotype adds one to its alleles,
      // whatever its count: A 2, C 1, G 1; C (bucket 67) comes before G (71).
      {{{"A/G", 1}, {"C/A", 9}}, "A/A", "C/C", "C/A"},
      // Only homozygotes: the heterozygote joins the major and minor alleles.
      {{{"T/T", 1}, {"C/C", 5}}, "C/C", "T/T", "C/T"},
      // Ties go to the genotype met first in the table, not in the line:
      // C/C (47) before T/T (103), A/G (1) before G/A (145).
      {{{"T/T", 2}, {"C/C", 2}, {"G/A", 1}, {"A/G", 1}}, "C/C", "C/C", "A/G"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> genotypes;
    for (const auto& [g, n] : c.counts) genotypes.insert(genotypes.end(), n, g);
    GenotypeTable table(kImputeTableSize);
    countDirectly(genotypes, table);
    AlleleTable alleles(kImputeTableSize);
    ImputeCandidates got;
    chooseCandidates(table, alleles, got);
    EXPECT_EQ(got.majorHomo, c.majorHomo) << c.counts[0].first;
    EXPECT_EQ(got.minorHomo, c.minorHomo) << c.counts[0].first;
    EXPECT_EQ(got.majorHetero, c.majorHetero) << c.counts[0].first;
  }
}

// The counter fills the table with the distinct genotypes in order of first
// appearance; the table must end up walked exactly as if every genotype had
// been counted into it, growth past 193 buckets included.
TEST(ImputeChoice, CounterFillMatchesDirectCountingIncludingGrowth) {
  uint32_t state = 99;
  auto next = [&]() {
    state = state * 214013u + 2531011u;
    return static_cast<int>((state >> 16) & 0x7FFF);
  };
  GenotypeCounter counter;
  for (int round = 0; round < 40; ++round) {
    int alphabet = 2 + next() % 40;  // up to 41 x 41 distinct genotypes
    std::vector<std::string> genotypes(static_cast<size_t>(1 + next() % 3000));
    for (std::string& g : genotypes) {
      char a = static_cast<char>('!' + next() % alphabet);
      char b = static_cast<char>('!' + next() % alphabet);
      char sep = next() % 10 == 0 ? '|' : '/';
      if (next() % 50 == 0) a = static_cast<char>(0x80 + next() % 100);  // bytes above 127
      g = std::string{a, sep, b};
    }
    GenotypeTable direct(kImputeTableSize), filled(kImputeTableSize);
    countDirectly(genotypes, direct);
    counter.clear();
    for (const std::string& g : genotypes) counter.add(g.data());
    counter.fill(filled);
    std::vector<std::pair<std::string, int>> a, b;
    direct.forEach([&](const std::string& g, int n) { a.emplace_back(g, n); });
    filled.forEach([&](const std::string& g, int n) { b.emplace_back(g, n); });
    ASSERT_EQ(a, b) << "round " << round;
    EXPECT_EQ(direct.bucketCount(), filled.bucketCount());
  }
}

}  // namespace
