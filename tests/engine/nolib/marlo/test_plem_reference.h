#pragma once
// Partition-ligation as the rules read, with every haplotype a text: block
// haplotypes in string arrays, tables of expected copies keyed by text in
// order of first insertion, combinations concatenated, options found by
// linear search, and the full L x R frequency array. The reference that the
// integer-numbered estimator must match digit for digit.
#include <algorithm>
#include <cmath>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "marlo/EMAlgorithm.h"
#include "marlo/Phenotype.h"
#include "marlo_test_util.h"

namespace plemtest {

struct InsertionTable {
  std::vector<std::string> order;
  std::unordered_map<std::string, double> value;
  void add(const std::string& key, double amount) {
    auto [it, added] = value.try_emplace(key, 0.0);
    if (added) order.push_back(key);
    it->second += amount;
  }
  std::vector<std::string> select(double threshold) const {
    std::vector<std::string> kept;
    for (const std::string& k : order)
      if (value.at(k) >= threshold) kept.push_back(k);
    return kept;
  }
};

struct ReferencePlem {
  struct Record {
    std::vector<std::pair<int, int>> left, right;
    int count = 0;
    std::vector<double> weight;
    std::string best1, best2;
    double bestProbability = 0.0;
    const std::pair<int, int>& a(size_t k) const { return left[k / right.size()]; }
    const std::pair<int, int>& b(size_t k) const { return right[k % right.size()]; }
  };

  std::vector<Phenotype>* base = nullptr;
  int numMarkers = 0;
  int numIndividuals = 0;
  int blockLength = 10;
  double plemEps = 0.00001;
  double ligationEps = 1.0;

  int numBlocks = 0;
  std::vector<std::vector<std::string>> blocks;
  std::vector<Record> records;
  std::vector<std::string> lastLeft, lastRight;

  int sizeOf(int b) const {
    return b == numBlocks - 1 && numMarkers % blockLength > 0 ? numMarkers % blockLength : blockLength;
  }

  // The complement of h against the genotype over markers [from, from + size).
  static bool complement(const std::string& genotype, int from, const std::string& h, std::string& out) {
    out.clear();
    for (size_t m = 0; m < h.size(); ++m) {
      const char g1 = genotype[2 * (from + m)], g2 = genotype[2 * (from + m) + 1];
      if (h[m] != g1 && h[m] != g2) return false;
      out += h[m] == g1 ? g2 : g1;
    }
    return true;
  }

  std::vector<Phenotype> cut(int start, int size) const {
    std::vector<std::pair<std::string, int>> entries;
    for (const Phenotype& p : *base) {
      const std::string c = p.genotype.substr(2 * start, 2 * size);
      auto it = std::find_if(entries.begin(), entries.end(), [&](const auto& e) { return e.first == c; });
      if (it == entries.end())
        entries.emplace_back(c, p.count);
      else
        it->second += p.count;
    }
    return marlotest::makePhenotypes(entries);
  }

  bool run() {
    numBlocks = numMarkers / blockLength + (numMarkers % blockLength ? 1 : 0);
    blocks.assign(numBlocks, {});
    for (int b = 0; b < numBlocks; ++b) {
      std::vector<Phenotype> bp = cut(b * blockLength, sizeOf(b));
      EMAlgorithm em;
      em.setData(bp.data(), sizeOf(b), static_cast<int>(bp.size()), numIndividuals);
      if (!em.performEM()) return false;
      InsertionTable table;
      for (const Phenotype& p : bp)
        for (int j = 0; p.count >= 1 && j < p.numPairs; ++j) {
          table.add(p.haplotype1(j), p.count * p.pairWeight[j]);
          table.add(p.haplotype2(j), p.count * p.pairWeight[j]);
        }
      blocks[b] = table.select(plemEps);
    }
    for (;;) {
      int out = 0;
      for (int i = 0; i < numBlocks; i += 2, ++out) {
        if (i + 1 < numBlocks) {
          std::vector<std::string> scratch;
          if (!ligate(i, numBlocks < 3 ? scratch : blocks[out])) return false;
        }
        if (i == numBlocks - 1) blocks[out] = std::vector<std::string>(blocks[i]);
      }
      if (out == 1) return true;
      numBlocks = out;
      blockLength *= 2;
    }
  }

  bool ligate(int l, std::vector<std::string>& result) {
    const std::vector<std::string> left = blocks[l], right = blocks[l + 1];
    const int L = static_cast<int>(left.size()), R = static_cast<int>(right.size());
    const int size = sizeOf(l + 1);
    const int from = l * blockLength;
    std::vector<Phenotype> own;
    const std::vector<Phenotype>* ph = base;
    if (blockLength + size < numMarkers) {
      own = cut(from, blockLength + size);
      ph = &own;
    }
    records.assign(ph->size(), Record());
    std::string c;
    for (size_t p = 0; p < ph->size(); ++p) {
      const std::string& g = (*ph)[p].genotype;
      Record& rec = records[p];
      rec.count = (*ph)[p].count;
      // Every haplotype in list order with its complement's first index; a
      // left haplotype already in an option, a right one already first in
      // one, is skipped.
      for (int x = 0; x < L; ++x) {
        bool member = false;
        for (auto& o : rec.left) member = member || o.first == x || o.second == x;
        if (member || !complement(g, 0, left[x], c)) continue;
        auto y = std::find(left.begin(), left.end(), c);
        if (y != left.end()) rec.left.emplace_back(x, static_cast<int>(y - left.begin()));
      }
      for (int x = 0; x < R; ++x) {
        bool first = false;
        for (auto& o : rec.right) first = first || o.first == x;
        if (first || !complement(g, blockLength, right[x], c)) continue;
        auto y = std::find(right.begin(), right.end(), c);
        if (y != right.end()) rec.right.emplace_back(x, static_cast<int>(y - right.begin()));
      }
      if (rec.left.empty() || rec.right.empty()) return false;
      const size_t s = rec.left.size() * rec.right.size();
      rec.weight.assign(s, 1.0 / s);
    }
    auto i1 = [&](const Record& r, size_t k) { return r.a(k).first * R + r.b(k).first; };
    auto i2 = [&](const Record& r, size_t k) { return r.a(k).second * R + r.b(k).second; };
    std::vector<double> f(static_cast<size_t>(L) * R);
    const double n = numIndividuals;
    const int P = static_cast<int>(base->size());
    double s1 = 0.0;
    for (auto& r : records)
      if (r.count > 0) s1 += log(r.count * (r.count + 1.0) / 2.0);
    const double constant = log(P * (P + 1.0) / 2.0) - s1;
    std::vector<double> sums(records.size());
    for (double lPrev = 0.0;;) {
      for (double& v : f) v = 0.0;
      for (size_t p = 0; p < records.size(); ++p) {
        sums[p] = 0.0;
        for (double w : records[p].weight) sums[p] += w;
      }
      for (size_t p = 0; p < records.size(); ++p) {
        Record& r = records[p];
        const double factor = static_cast<double>(r.count) / (n * sums[p]);
        for (size_t k = 0; k < r.weight.size(); ++k) {
          r.weight[k] = r.weight[k] * factor;
          const double m = (r.weight.size() == 1 && i1(r, k) == i2(r, k)) ? 2.0 : 1.0;
          f[i1(r, k)] += m * r.weight[k] * 0.5;
          if (m < 1.5) f[i2(r, k)] += m * r.weight[k] * 0.5;
        }
      }
      double s2 = 0.0;
      for (size_t p = 0; p < records.size(); ++p)
        if (records[p].count > 0) s2 += records[p].count * log(sums[p]);
      const double like = constant + s2;
      if (fabs(lPrev - like) < ligationEps) break;
      lPrev = like;
      for (Record& r : records)
        for (size_t k = 0; k < r.weight.size(); ++k) {
          r.weight[k] = f[i2(r, k)] * f[i1(r, k)];
          if (i1(r, k) != i2(r, k)) r.weight[k] = r.weight[k] * 2.0;
        }
    }
    for (Record& r : records) {
      double sum = 0.0;
      for (size_t k = 0; k < r.weight.size(); ++k) {
        r.weight[k] = f[i2(r, k)] * f[i1(r, k)];
        sum += r.weight[k];
      }
      for (double& w : r.weight) w = w / sum;
    }
    auto h1 = [&](const Record& r, size_t k) { return left[r.a(k).first] + right[r.b(k).first]; };
    auto h2 = [&](const Record& r, size_t k) { return left[r.a(k).second] + right[r.b(k).second]; };
    if (numBlocks > 2) {
      InsertionTable table;
      for (const Record& r : records)
        for (size_t k = 0; k < r.weight.size(); ++k) {
          table.add(h1(r, k), r.count * r.weight[k]);
          table.add(h2(r, k), r.count * r.weight[k]);
        }
      result = table.select(plemEps);
      return true;
    }
    for (Record& r : records) {
      // The last of the greatest weights; the probability of its unordered
      // pair over every combination that gives it.
      double best = -1.0;
      size_t index = 0;
      for (size_t k = 0; k < r.weight.size(); ++k)
        if (r.weight[k] >= best) best = r.weight[index = k];
      r.best1 = h1(r, index);
      r.best2 = h2(r, index);
      for (size_t k = 0; k < r.weight.size(); ++k) {
        const std::string a = h1(r, k), b = h2(r, k);
        if ((a == r.best1 && b == r.best2) || (a == r.best2 && b == r.best1)) r.bestProbability += r.weight[k];
      }
    }
    lastLeft = left;
    lastRight = right;
    return true;
  }

  double expectedCount(const std::string& h, double total) const {
    for (const Record& r : records)
      for (size_t k = 0; k < r.weight.size(); ++k) {
        if (lastLeft[r.a(k).first] + lastRight[r.b(k).first] == h) total += r.count * r.weight[k];
        if (lastLeft[r.a(k).second] + lastRight[r.b(k).second] == h) total += r.count * r.weight[k];
      }
    return total;
  }
};

}  // namespace plemtest
