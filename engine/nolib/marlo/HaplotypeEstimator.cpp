#include "marlo/HaplotypeEstimator.h"

#include <cstring>
#include <string_view>

#include "common_sgt/ErrorReport.h"
#include "common_sgt/LineReader.h"
#include "common_sgt/Parallel.h"
#include "Kestrel.h"

namespace {

// The marker position of a marker line: the text after the second tab up to
// the next tab, empty when there is none.
std::string_view positionField(std::string_view line) {
  size_t t1 = line.find('\t');
  if (t1 == std::string_view::npos) return {};
  size_t t2 = line.find('\t', t1 + 1);
  if (t2 == std::string_view::npos) return {};
  size_t t3 = line.find('\t', t2 + 1);
  if (t3 == std::string_view::npos) return {};
  return line.substr(t2 + 1, t3 - t2 - 1);
}

// Neither below nor above zero: zero, or not a number.
bool countsAsZero(double v) { return !(v < 0.0) && !(v > 0.0); }

}  // namespace

HaplotypeEstimator::HaplotypeEstimator() = default;
HaplotypeEstimator::~HaplotypeEstimator() = default;

void HaplotypeEstimator::setData(Phenotype* data, int markers, int pheno, int individuals) {
  phenotypes = data;
  numMarkers = markers;
  numPheno = data ? pheno : 0;
  numIndividuals = individuals;
}

void HaplotypeEstimator::bestPairs(std::vector<HaplotypePair>& best) {
  best.assign(numPheno > 0 ? numPheno : 0, HaplotypePair());
  for (int i = 0; i < numPheno; ++i) getBestPair(i, best[i]);
}

void HaplotypeEstimator::collectBestHaplotypes(std::vector<std::string>& haplotypes,
                                               std::vector<double>& frequencies) {
  std::vector<HaplotypePair> best;
  bestPairs(best);
  collectBestHaplotypes(best, haplotypes, frequencies);
}

void HaplotypeEstimator::collectBestHaplotypes(const std::vector<HaplotypePair>& best,
                                               std::vector<std::string>& haplotypes,
                                               std::vector<double>& frequencies) {
  haplotypes.clear();
  frequencies.clear();
  std::unordered_map<std::string, int> listed;
  double total = 0.0;
  auto add = [&](const std::string& h) {
    if (!listed.try_emplace(h, static_cast<int>(haplotypes.size())).second) return;
    double value = 0.0;
    expectedCount(h, value);
    haplotypes.push_back(h);
    frequencies.push_back(value);
    total += value;
  };
  for (const HaplotypePair& r : best) {
    add(r.haplotype1);
    if (r.haplotype2 != r.haplotype1) add(r.haplotype2);
  }
  const size_t k = haplotypes.size();
  if (k > 0) {
    for (double& f : frequencies) f = f / total;
  }
  // Not a stable sort: an entry moves only when a later one is strictly
  // more frequent, and the moves decide the haplotype numbering.
  for (size_t i = 0; i + 1 < k; ++i) {
    for (size_t j = i + 1; j < k; ++j) {
      if (frequencies[i] < frequencies[j]) {
        std::swap(frequencies[i], frequencies[j]);
        std::swap(haplotypes[i], haplotypes[j]);
      }
    }
  }
}

void HaplotypeEstimator::individualOwners(std::vector<int>& phenotypeOf, std::vector<int>& memberPosition) const {
  const int n = numIndividuals > 0 ? numIndividuals : 0;
  phenotypeOf.assign(n, -1);
  memberPosition.assign(n, -1);
  for (int p = 0; p < numPheno; ++p) {
    const Phenotype& ph = phenotypes[p];
    for (size_t pos = 0; pos < ph.memberIndex.size(); ++pos) {
      const int i = ph.memberIndex[pos];
      if (i < 0 || i >= n) continue;
      phenotypeOf[i] = p;
      memberPosition[i] = static_cast<int>(pos);
    }
  }
}

void writePopulationHeader(FILE* fp, const GenoData& data, int t) {
  if (!fp) {
    NULL_REPORT();
    return;
  }
  fprintf(fp, "%s%s\n", "!Chromosome_No:", data.m_ChromosomeNo.c_str());
  fprintf(fp, "%s%d\n", "!Block_No:", 1);
  fputs("!Marker:", fp);
  for (int m = 1; m <= data.m_nummarker; ++m) fprintf(fp, m < data.m_nummarker ? "%d," : "%d", m);
  fputs("\n", fp);
  fprintf(fp, "%s\n", "!htSNP:");
  const char* name = t >= 0 && t < static_cast<int>(data.sampleTypeTable.size())
                         ? data.sampleTypeTable[t].name.c_str()
                         : "";
  fprintf(fp, "%s%s\n", "!Sample_Type:", name);
}

void writePopulationFile(FILE* fp, HaplotypeEstimator& estimator, const char* chromosome, double,
                         const char* sampleTypeName, HaplotypeIds& ids) {
  if (!fp || !chromosome || !sampleTypeName) {
    NULL_REPORT();
    return;
  }
  std::vector<std::string> haplotypes;
  std::vector<double> frequencies;
  estimator.collectBestHaplotypes(haplotypes, frequencies);
  bool allZero = true;
  for (double f : frequencies) allZero = allZero && countsAsZero(f);
  if (haplotypes.empty() || allZero) {
    fflush(stdout);
    consoleErrorPrintf("#error= SampleType (%s): There is no haplotype.\n", sampleTypeName);
    fflush(stderr);
    return;
  }
  consolePrintf(" haplotype cnt = %d\n", static_cast<int>(haplotypes.size()));
  fprintf(fp, "No\tHaplotype_ID\tSequence\tFrequency\n");
  for (size_t k = 1; k <= haplotypes.size(); ++k) {
    const std::string& h = haplotypes[k - 1];
    fprintf(fp, "%d\t%s_1_h%d\t%s\t%7.05f\n", static_cast<int>(k), chromosome, static_cast<int>(k), h.c_str(),
            frequencies[k - 1]);
    ids[h] = "h" + std::to_string(k);
  }
}

bool writeBlockFile(FILE* fp, HaplotypeEstimator& estimator, const GenoData& data, int t) {
  if (!fp || t < 0 || t >= static_cast<int>(data.sampleTypeTable.size())) {
    NULL_REPORT();
    return true;
  }
  const char* chromosome = data.m_ChromosomeNo.c_str();
  const std::string& name = data.sampleTypeTable[t].name;
  const int markers = data.m_nummarker;
  fprintf(fp,
          "!Chromosome_No:%s\n!Sample_Type:%s\n!Sample_Count:%d\n!Block_No:1\n!Total_SNP_Count:%d\n"
          "!Tag_SNP_Count:%c\n!Haplotype_Count:",
          chromosome, name.c_str(), data.m_numindiv, markers, '?');
  const long placeholder = ftell(fp);
  fprintf(fp, "%34s\n", "");

  fputs("SNP_List", fp);
  for (int m = 1; m <= markers; ++m) fprintf(fp, "\t%d", m);
  fputs("\n", fp);
  fputs("SNP_ID", fp);
  for (int m = 0; m < markers; ++m)
    fprintf(fp, "\t%s", m < static_cast<int>(data.markerIds.size()) ? data.markerIds[m].c_str() : "");
  fputs("\n", fp);

  const bool merged = name == "M";
  const int columns = data.m_MergeSampleCount;
  auto belongs = [&](int j) { return merged || data.sampleTypes[j] == name; };
  fputs("Tag_SNP", fp);
  for (int m = 0; m < markers; ++m) fputs("\t?", fp);
  fputs("\tSample_Type", fp);
  for (int j = 0; j < columns; ++j)
    if (belongs(j)) fprintf(fp, "\t%s", data.sampleTypes[j].c_str());
  fputs("\n", fp);
  fputs("Allele", fp);
  for (int m = 0; m < markers; ++m) fprintf(fp, "\t%s", data.alleleText(m).c_str());
  fputs("\tFrequency", fp);
  for (int j = 0; j < columns; ++j)
    if (belongs(j)) fprintf(fp, "\t%s", data.sampleIds[j].c_str());
  fputs("\n", fp);

  std::vector<HaplotypePair> best;
  estimator.bestPairs(best);
  std::vector<std::string> haplotypes;
  std::vector<double> frequencies;
  estimator.collectBestHaplotypes(best, haplotypes, frequencies);
  const int k = static_cast<int>(haplotypes.size());
  std::unordered_map<std::string, int> row;
  for (int r = 0; r < k; ++r) row.emplace(haplotypes[r], r);
  // The list rows of each phenotype's best pair (-1 when not listed).
  const int numPheno = estimator.numPheno;
  std::vector<int> row1(numPheno > 0 ? numPheno : 0, -1), row2(row1);
  for (int p = 0; p < numPheno; ++p) {
    if (auto it = row.find(best[p].haplotype1); it != row.end()) row1[p] = it->second;
    if (auto it = row.find(best[p].haplotype2); it != row.end()) row2[p] = it->second;
  }
  std::vector<int> phenotypeOf, memberPosition;
  estimator.individualOwners(phenotypeOf, memberPosition);
  for (int r = 0; r < k; ++r) {
    fprintf(fp, "%s_%s_1_%d", chromosome, name.c_str(), r + 1);
    for (char c : haplotypes[r]) fprintf(fp, "\t%c", c);
    fprintf(fp, "\t%7.05f", frequencies[r]);
    for (int p : phenotypeOf) {
      const int copies = p < 0 ? 0 : (row1[p] == r ? 1 : 0) + (row2[p] == r ? 1 : 0);
      fprintf(fp, "\t%d", copies);
    }
    fputs("\n", fp);
  }

  const long end = ftell(fp);
  if (placeholder >= 0 && end >= 0 && fseek(fp, placeholder, SEEK_SET) == 0) {
    fprintf(fp, "%d", k);
    fseek(fp, end, SEEK_SET);
  }

  bool complete = true;
  LineReader input;
  if (!input.open(data.m_fileName.c_str())) {
    NULL_REPORT();
    complete = false;
  } else {
    std::string_view line;
    input.next(line);
    input.next(line);
    fputs("Location", fp);
    while (input.next(line)) {
      std::string_view pos = positionField(line);
      fputc('\t', fp);
      fwrite(pos.data(), 1, pos.size(), fp);
    }
    if (input.failed()) {
      consolePrintf("%s: read error while writing the Location row: %s\n", data.m_fileName.c_str(),
                    strerror(input.error()));
      complete = false;
    }
  }
  fputs("\tAccuracy", fp);
  for (int p : phenotypeOf) fprintf(fp, "\t%0.5f", p < 0 ? 0.0 : best[p].probability);
  fputs("\n", fp);
  return complete;
}

void writeIndividualFile(FILE* fp, HaplotypeEstimator& estimator, const HaplotypeIds& ids, const char* chromosome,
                         const char* sampleTypeName, const std::vector<std::string>& sampleTypes, int count) {
  if (!fp || !chromosome || !sampleTypeName) {
    NULL_REPORT();
    return;
  }
  fprintf(fp, "%s%s\n", "!Chromosome_No:", chromosome);
  fprintf(fp, "%s%d\n", "!Block_No:", 1);
  fprintf(fp, "No\tIndividual_ID\tHaplotype1\tHaplotype2\tAccuracy\tSample_Type\n");

  std::vector<int> phenotypeOf, memberPosition;
  estimator.individualOwners(phenotypeOf, memberPosition);
  std::vector<HaplotypePair> best;
  estimator.bestPairs(best);
  // The object borrows the texts: they live in sampleTypes until it is gone.
  if (count > static_cast<int>(sampleTypes.size())) count = static_cast<int>(sampleTypes.size());
  if (count < 0) count = 0;
  std::vector<const char*> types(count);
  for (int j = 0; j < count; ++j) types[j] = sampleTypes[j].c_str();
  IndividualSampleType individualType(types.data(), count);
  auto idOf = [&](const std::string& h) -> const char* {
    auto it = ids.find(h);
    return it == ids.end() ? "null" : it->second.c_str();
  };
  for (int i = 0; i < static_cast<int>(phenotypeOf.size()); ++i) {
    const int p = phenotypeOf[i];
    if (p < 0 || memberPosition[i] >= static_cast<int>(estimator.phenotypes[p].memberId.size())) continue;
    const HaplotypePair& r = best[p];
    if (!(r.probability > 0.0)) continue;
    // "M" answers entry i of the whole file; only ask within it.
    const bool mergedOutOfRange = strcmp(sampleTypeName, "M") == 0 && i >= count;
    const char* type = mergedOutOfRange ? "?" : individualType.get(sampleTypeName, i);
    fprintf(fp, "%d\t%s\t%s_1_%s\t%s_1_%s\t%7.05f\t%s\n", i + 1,
            estimator.phenotypes[p].memberId[memberPosition[i]].c_str(), chromosome, idOf(r.haplotype1), chromosome,
            idOf(r.haplotype2), r.probability, type);
  }
}
