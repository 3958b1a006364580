#include "ld/SubPhenotypes.h"

#include <cstdio>
#include <string>
#include <unordered_map>

#include "common_sgt/Parallel.h"
#include "common_sgt/Settings.h"

namespace {

bool signedLess(char a, char b) { return static_cast<signed char>(a) < static_cast<signed char>(b); }

// Individual -> loaded phenotype group, from the groups' member lists.
std::vector<int> groupOfIndividual(const GenoData& data) {
  std::vector<int> group(static_cast<size_t>(data.m_numindiv > 0 ? data.m_numindiv : 0), -1);
  for (int p = 0; p < static_cast<int>(data.phenotypes.size()); ++p)
    for (int i : data.phenotypes[p].memberIndex)
      if (i >= 0 && i < static_cast<int>(group.size())) group[i] = p;
  return group;
}

}  // namespace

SnpAlleleTable buildAlleleTable(const GenoData& data, int snp) {
  SnpAlleleTable table;
  if (snp < 0) return table;
  // Counts per character code, taken in ascending signed order below.
  long long counts[256] = {};
  const size_t at = 2 * static_cast<size_t>(snp);
  for (const Phenotype& ph : data.phenotypes) {
    if (ph.genotype.size() < at + 2) continue;
    for (int k = 0; k < 2; ++k) {
      const char c = ph.genotype[at + k];
      if (c != 'N') counts[static_cast<unsigned char>(c)] += ph.count;
    }
  }
  return alleleTableFromCounts(counts);
}

SnpAlleleTable alleleTableFromCounts(const long long counts[256]) {
  SnpAlleleTable table;
  for (int code = -128; code < 128; ++code) {
    const long long n = counts[static_cast<unsigned char>(code)];
    if (n <= 0) continue;
    table.alleles.push_back(static_cast<char>(code));
    table.counts.push_back(static_cast<int>(n));
  }
  // Largest count first; the characters arrive in ascending code order and
  // an insertion sort keeps that order between equal counts.
  for (size_t i = 1; i < table.alleles.size(); ++i) {
    const char c = table.alleles[i];
    const int n = table.counts[i];
    size_t k = i;
    while (k > 0 && (table.counts[k - 1] < n || (table.counts[k - 1] == n && signedLess(c, table.alleles[k - 1])))) {
      table.alleles[k] = table.alleles[k - 1];
      table.counts[k] = table.counts[k - 1];
      --k;
    }
    table.alleles[k] = c;
    table.counts[k] = n;
  }
  return table;
}

void buildSubPhenotypes(const GenoData& data, const std::vector<int>& snps, std::vector<Phenotype>& out,
                        std::vector<int>& phenotypeOfIndividual) {
  out.clear();
  const int numIndividuals = data.m_numindiv > 0 ? data.m_numindiv : 0;
  phenotypeOfIndividual.assign(static_cast<size_t>(numIndividuals), -1);

  if (g_debugLevel >= 1) {
    consolePrintf("buildSubPhenotypes SNP list:");
    for (int s : snps) consolePrintf(" %d", s);
    consolePrintf("\n");
  }
  if (g_debugLevel >= 2) {
    consolePrintf("Allele Frequency Table:\n");
    for (int s : snps) {
      const SnpAlleleTable table = buildAlleleTable(data, s);
      const char* id = s >= 0 && s < static_cast<int>(data.markerIds.size()) ? data.markerIds[s].c_str() : "";
      consolePrintf("  SNP[%d] %s:", s, id);
      for (int a = 0; a < table.size(); ++a) consolePrintf(" %c=%d", table.alleles[a], table.counts[a]);
      consolePrintf("\n");
    }
  }

  // The text of every loaded group over the list; groups come in order of
  // their first individual, so the merged records do too.
  const int numGroups = static_cast<int>(data.phenotypes.size());
  std::vector<int> recordOfGroup(static_cast<size_t>(numGroups), -1);
  std::vector<int> counts;
  std::vector<std::string> texts;
  std::unordered_map<std::string, int> index;
  std::string text;
  for (int p = 0; p < numGroups; ++p) {
    const Phenotype& ph = data.phenotypes[p];
    text.clear();
    bool missing = false;
    for (int s : snps) {
      const size_t at = 2 * static_cast<size_t>(s);
      if (s < 0 || ph.genotype.size() < at + 2) {
        missing = true;
        break;
      }
      const char a = ph.genotype[at];
      const char b = ph.genotype[at + 1];
      if (a == 'N' || b == 'N') {
        missing = true;
        break;
      }
      text += a;
      text += b;
    }
    if (missing) continue;
    auto [it, added] = index.try_emplace(text, static_cast<int>(texts.size()));
    if (added) {
      texts.push_back(text);
      counts.push_back(0);
    }
    recordOfGroup[p] = it->second;
    counts[it->second] += ph.count;
  }

  out.resize(texts.size());
  for (size_t r = 0; r < texts.size(); ++r) out[r].setGenotype(texts[r], counts[r]);
  // Members in the order of the sample type.
  const std::vector<int> group = groupOfIndividual(data);
  std::vector<int> filled(texts.size(), 0);
  for (int i = 0; i < numIndividuals; ++i) {
    const int g = group[i];
    if (g < 0) continue;
    const int r = recordOfGroup[g];
    if (r < 0) continue;
    Phenotype& rec = out[r];
    int& at = filled[r];
    if (at >= rec.count) continue;
    rec.memberIndex[at] = i;
    const int column = i < static_cast<int>(data.selectedColumns.size()) ? data.selectedColumns[i] : -1;
    if (column >= 0 && column < static_cast<int>(data.sampleIds.size())) rec.memberId[at] = data.sampleIds[column];
    ++at;
    phenotypeOfIndividual[i] = r;
  }

  if (g_debugLevel >= 2) {
    consolePrintf("Individual Phenotype:\n");
    for (size_t r = 0; r < out.size(); ++r) consolePrintf("  pheno[%d]=%s*%d\n", static_cast<int>(r), out[r].genotype.c_str(), out[r].count);
  }
}
