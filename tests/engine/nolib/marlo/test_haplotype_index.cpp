#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "marlo/HaplotypeIndex.h"

namespace {

std::vector<Phenotype> randomPhenotypes(std::mt19937& rng, int markers, int letters, int count) {
  const std::string alphabet = "ACGTN-*x\xe9";
  std::vector<Phenotype> ph(count);
  for (auto& p : ph) {
    std::string g;
    for (int m = 0; m < markers; ++m) {
      char a = alphabet[rng() % letters], b = alphabet[rng() % letters];
      // At most 14 heterozygous markers keep the pair counts small.
      if (m >= 14) b = a;
      if (static_cast<signed char>(b) < static_cast<signed char>(a)) std::swap(a, b);
      g += a;
      g += b;
    }
    p.setGenotype(g, static_cast<int>(rng() % 3));  // some without members
  }
  return ph;
}

struct Numbering {
  std::vector<int> first, second;
  std::vector<std::string> texts;
  bool packed;
};

Numbering number(const std::vector<Phenotype>& ph, int markers, bool allowPacked) {
  HaplotypeIndex index;
  index.prepare(ph.data(), static_cast<int>(ph.size()), markers, allowPacked);
  Numbering n;
  for (const auto& p : ph)
    if (p.count >= 1) index.registerPairs(p, n.first, n.second);
  for (int i = 0; i < index.size(); ++i) n.texts.push_back(index.text(i));
  for (int i = 0; i < index.size(); ++i) EXPECT_EQ(index.indexOf(n.texts[i]), i);
  n.packed = index.packed();
  return n;
}

}  // namespace

TEST(HaplotypeIndex, PackedAndTextKeysNumberAlike) {
  std::mt19937 rng(5);
  for (int round = 0; round < 60; ++round) {
    const int markers = 1 + rng() % 24, letters = 2 + rng() % 3;
    auto ph = randomPhenotypes(rng, markers, letters, 1 + rng() % 12);
    Numbering packed = number(ph, markers, true);
    Numbering text = number(ph, markers, false);
    EXPECT_TRUE(packed.packed);
    EXPECT_FALSE(text.packed);
    EXPECT_EQ(packed.first, text.first);
    EXPECT_EQ(packed.second, text.second);
    EXPECT_EQ(packed.texts, text.texts);
  }
}

TEST(HaplotypeIndex, NumbersFollowTheHaplotypesOfEveryPair) {
  std::mt19937 rng(6);
  for (int round = 0; round < 40; ++round) {
    const int markers = 1 + rng() % 20;
    auto ph = randomPhenotypes(rng, markers, 2 + rng() % 4, 1 + rng() % 8);
    Numbering n = number(ph, markers, true);
    size_t k = 0;
    std::set<std::string> distinct;
    for (const auto& p : ph) {
      if (p.count < 1) continue;
      for (int j = 0; j < p.numPairs; ++j, ++k) {
        ASSERT_LT(k, n.first.size());
        EXPECT_EQ(n.texts[n.first[k]], p.haplotype1(j));
        EXPECT_EQ(n.texts[n.second[k]], p.haplotype2(j));
        distinct.insert(p.haplotype1(j));
        distinct.insert(p.haplotype2(j));
      }
    }
    EXPECT_EQ(k, n.first.size());
    EXPECT_EQ(distinct.size(), n.texts.size());
  }
}

TEST(HaplotypeIndex, TooManyLettersFallBackToTextKeys) {
  // Six letters at every marker need three bits: 24 markers are 72 bits.
  const std::string alphabet = "ACGTN-*x";
  std::vector<Phenotype> ph(7);
  for (int k = 0; k < 6; ++k) {
    std::string g;
    for (int m = 0; m < 24; ++m) g += std::string(2, alphabet[(k + m) % 8]);
    ph[k].setGenotype(g, 1);
  }
  std::string het = ph[0].genotype;
  het[1] = 'T';
  het[5] = 'T';
  het[11] = 'x';
  ph[6].setGenotype(het, 2);
  ASSERT_EQ(ph[6].numPairs, 4);
  Numbering n = number(ph, 24, true);
  Numbering t = number(ph, 24, false);
  EXPECT_FALSE(n.packed);
  EXPECT_EQ(n.texts, t.texts);
  EXPECT_EQ(n.first, t.first);
  EXPECT_EQ(n.texts.size(), 6u + 8u - 1u);
}

TEST(HaplotypeIndex, UnknownTextsHaveNoNumber) {
  std::vector<Phenotype> ph(1);
  ph[0].setGenotype("ACGG", 1);
  HaplotypeIndex index;
  index.prepare(ph.data(), 1, 2);
  std::vector<int> a, b;
  index.registerPairs(ph[0], a, b);
  EXPECT_EQ(index.size(), 2);
  EXPECT_EQ(index.indexOf("AG"), 0);
  EXPECT_EQ(index.indexOf("CG"), 1);
  EXPECT_EQ(index.indexOf("GG"), -1);  // G never seen at marker 0
  EXPECT_EQ(index.indexOf("AC"), -1);
  EXPECT_EQ(index.indexOf("ACG"), -1);
  EXPECT_EQ(index.text(2), "");
}
