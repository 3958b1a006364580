#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "impu/ImputeChoice.h"

namespace {

// Counts genotypes straight into the genotype table, one lookup per
// genotype, as the rules describe it.
void countDirectly(const std::vector<std::string>& genotypes, GenotypeTable& table) {
  table.reset(kImputeTableSize);
  for (const std::string& g : genotypes) ++table.findOrInsert(g, 0);
}

ImputeCandidates choose(const std::vector<std::pair<std::string, int>>& counts) {
  std::vector<std::string> genotypes;
  for (const auto& [g, n] : counts)
    for (int i = 0; i < n; ++i) genotypes.push_back(g);
  GenotypeTable table(kImputeTableSize);
  countDirectly(genotypes, table);
  AlleleTable alleles(kImputeTableSize);
  ImputeCandidates c;
  chooseCandidates(table, alleles, c);
  return c;
}

TEST(ImputeChoice, MajorMinorAndHeterozygote) {
  ImputeCandidates c = choose({{"A/A", 10}, {"A/G", 5}, {"G/G", 2}});
  EXPECT_EQ(c.majorHomo, "A/A");
  EXPECT_EQ(c.minorHomo, "G/G");
  EXPECT_EQ(c.majorHetero, "A/G");
}

TEST(ImputeChoice, OnlyHeterozygotesTakeTheFirstAlleleMet) {
  // A and G both count 1; A (bucket 65) is met before G (bucket 71), so it is
  // both the major and the minor allele.
  ImputeCandidates c = choose({{"A/G", 7}});
  EXPECT_EQ(c.majorHomo, "A/A");
  EXPECT_EQ(c.minorHomo, "A/A");
  EXPECT_EQ(c.majorHetero, "A/G");
  // Distinct genotypes count once each, whatever their counts: A 2, C 1, G 1.
  c = choose({{"A/G", 1}, {"C/A", 9}});
  EXPECT_EQ(c.majorHomo, "A/A");
  EXPECT_EQ(c.minorHomo, "C/C");
  EXPECT_EQ(c.majorHetero, "C/A");
}

TEST(ImputeChoice, OnlyOneHomozygoteBuildsTheHeterozygoteFromIt) {
  ImputeCandidates c = choose({{"A/A", 4}});
  EXPECT_EQ(c.majorHomo, "A/A");
  EXPECT_EQ(c.minorHomo, "A/A");
  EXPECT_EQ(c.majorHetero, "A/A");
  c = choose({{"T/T", 1}, {"C/C", 5}});
  EXPECT_EQ(c.majorHomo, "C/C");
  EXPECT_EQ(c.minorHomo, "T/T");
  EXPECT_EQ(c.majorHetero, "C/T");
}

TEST(ImputeChoice, GenotypesAreComparedAsText) {
  ImputeCandidates c = choose({{"G/A", 3}, {"A/G", 2}, {"A/A", 1}});
  EXPECT_EQ(c.majorHetero, "G/A");
}

TEST(ImputeChoice, TiesGoToTheFirstGenotypeInTableOrder) {
  // G/G hashes to bucket 151, A/A to 188: G/G is met first whatever the
  // order of the genotypes in the line.
  for (auto counts : {std::vector<std::pair<std::string, int>>{{"A/A", 3}, {"G/G", 3}},
                      std::vector<std::pair<std::string, int>>{{"G/G", 3}, {"A/A", 3}}}) {
    ImputeCandidates c = choose(counts);
    EXPECT_EQ(c.majorHomo, "G/G");
    EXPECT_EQ(c.minorHomo, "G/G");
    EXPECT_EQ(c.majorHetero, "G/G");
  }
  // C/C (47) before T/T (103); A/G (1) before G/A (145).
  ImputeCandidates c = choose({{"T/T", 2}, {"C/C", 2}, {"G/A", 1}, {"A/G", 1}});
  EXPECT_EQ(c.majorHomo, "C/C");
  EXPECT_EQ(c.minorHomo, "C/C");
  EXPECT_EQ(c.majorHetero, "A/G");
}

TEST(ImputeChoice, NothingObservedLeavesEveryCandidateEmpty) {
  ImputeCandidates c = choose({});
  EXPECT_EQ(c.majorHomo, "");
  EXPECT_EQ(c.minorHomo, "");
  EXPECT_EQ(c.majorHetero, "");
}

// The counter fills the table with the distinct genotypes in order of first
// appearance; the table must end up walked exactly as if every genotype had
// been counted into it, growth included.
TEST(ImputeChoice, CounterFillMatchesDirectCountingIncludingGrowth) {
  uint32_t state = 99;
  auto next = [&]() {
    state = state * 214013u + 2531011u;
    return static_cast<int>((state >> 16) & 0x7FFF);
  };
  for (int round = 0; round < 40; ++round) {
    int alphabet = 2 + next() % 40;  // up to 41 x 41 distinct genotypes
    int n = 1 + next() % 3000;
    std::vector<std::string> genotypes;
    for (int i = 0; i < n; ++i) {
      char a = static_cast<char>('!' + next() % alphabet);
      char b = static_cast<char>('!' + next() % alphabet);
      char sep = next() % 10 == 0 ? '|' : '/';
      if (next() % 50 == 0) a = static_cast<char>(0x80 + next() % 100);  // bytes above 127
      genotypes.push_back(std::string{a, sep, b});
    }
    GenotypeTable direct(kImputeTableSize);
    countDirectly(genotypes, direct);
    GenotypeCounter counter;
    for (const std::string& g : genotypes) counter.add(g.data());
    GenotypeTable filled(kImputeTableSize);
    counter.fill(filled);
    std::vector<std::pair<std::string, int>> a, b;
    direct.forEach([&](const std::string& g, int c) { a.emplace_back(g, c); });
    filled.forEach([&](const std::string& g, int c) { b.emplace_back(g, c); });
    ASSERT_EQ(a, b) << "round " << round;
    EXPECT_EQ(direct.bucketCount(), filled.bucketCount());

    AlleleTable alleles(kImputeTableSize);
    ImputeCandidates c1, c2;
    chooseCandidates(direct, alleles, c1);
    chooseCandidates(filled, alleles, c2);
    EXPECT_EQ(c1.majorHomo, c2.majorHomo);
    EXPECT_EQ(c1.minorHomo, c2.minorHomo);
    EXPECT_EQ(c1.majorHetero, c2.majorHetero);

    counter.clear();
    EXPECT_EQ(counter.distinct(), 0u);
  }
}

TEST(ImputeChoice, TableGrowsPast193DistinctGenotypes) {
  std::vector<std::pair<std::string, int>> counts;
  for (char a = 'A'; a < 'A' + 15; ++a)
    for (char b = 'A'; b < 'A' + 15; ++b) counts.push_back({std::string{a, '/', b}, 1});
  std::vector<std::string> genotypes;
  for (const auto& [g, n] : counts) genotypes.push_back(g);
  GenotypeTable table(kImputeTableSize);
  countDirectly(genotypes, table);
  EXPECT_EQ(table.size(), 225u);
  EXPECT_EQ(table.bucketCount(), 389u);
}

}  // namespace
