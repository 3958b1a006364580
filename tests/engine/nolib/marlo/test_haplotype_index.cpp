#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "marlo/HaplotypeIndex.h"

namespace {

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

// Packed keys (enumerated by updating two keys from pair to pair) and text
// keys give the same numbers, and the numbers name the haplotypes of every
// pair of the phenotypes with members, in order of registration.
TEST(HaplotypeIndex, PackedKeysNumberLikeTheTextsOfEveryPair) {
  std::mt19937 rng(5);
  const std::string alphabet = "AC\xe9TN";  // a byte above 127 among them
  for (int round = 0; round < 80; ++round) {
    // Five letters take three bits per marker: at most 21 markers then.
    const int letters = 2 + rng() % 4, markers = 1 + rng() % (letters == 5 ? 21 : 24);
    std::vector<Phenotype> ph(1 + rng() % 12);
    for (auto& p : ph) {
      std::string g;
      for (int m = 0; m < markers; ++m) {
        char a = alphabet[rng() % letters], b = m >= 14 ? a : alphabet[rng() % letters];
        if (static_cast<signed char>(b) < static_cast<signed char>(a)) std::swap(a, b);
        g += a;
        g += b;
      }
      p.setGenotype(g, static_cast<int>(rng() % 3));  // some without members
    }
    Numbering packed = number(ph, markers, true);
    Numbering text = number(ph, markers, false);
    ASSERT_TRUE(packed.packed);
    EXPECT_FALSE(text.packed);
    EXPECT_EQ(packed.first, text.first);
    EXPECT_EQ(packed.second, text.second);
    EXPECT_EQ(packed.texts, text.texts);
    size_t k = 0;
    std::set<std::string> distinct;
    for (const auto& p : ph) {
      if (p.count < 1) continue;
      for (int j = 0; j < p.numPairs; ++j, ++k) {
        ASSERT_LT(k, packed.first.size());
        EXPECT_EQ(packed.texts[packed.first[k]], p.haplotype1(j));
        EXPECT_EQ(packed.texts[packed.second[k]], p.haplotype2(j));
        distinct.insert(p.haplotype1(j));
        distinct.insert(p.haplotype2(j));
      }
    }
    EXPECT_EQ(k, packed.first.size());
    EXPECT_EQ(distinct.size(), packed.texts.size());
  }
}

TEST(HaplotypeIndex, TooManyLettersFallBackToTextKeys) {
  // Eight letters need three bits per marker: 24 markers are 72 bits.
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
