#include "ld/BlockReport.h"

#include "common_sgt/Console.h"
#include "common_sgt/FastFormat.h"
#include "common_sgt/Parallel.h"
#include "common_sgt/StatusReport.h"
#include "ld/LDBlockEstimate.h"
#include "ld/SubPhenotypes.h"

namespace {

void writeRecord(TextBuffer& out, const LDBlock& block, int number, const SnpListEstimate& estimate,
                 const GenoData& data, const std::string& chromosome, const std::string& sampleType) {
  const int n = data.m_numindiv;
  const int m = block.size();
  const int h = static_cast<int>(block.haplotypes.size());

  out.appendText("!Block_No:");
  out.appendInt(number);
  out.appendText("\n!Total_SNP_Count:");
  out.appendInt(m);
  out.appendText("\n!Tag_SNP_Count:");
  out.appendInt(block.tagSnpCount);
  out.appendText("\n!Haplotype_Count:");
  out.appendInt(h);
  out.appendText("\nSNP_List\t");
  for (int snp : block.snps) {
    out.appendInt(snp + 1);
    out.appendChar('\t');
  }
  out.appendText("\nSNP_ID\t");
  for (int snp : block.snps) {
    out.appendText(data.markerIds[snp]);
    out.appendChar('\t');
  }
  out.appendText("\nTag_SNP\t");
  {
    std::vector<char> tag(static_cast<size_t>(m), 0);
    for (int p : block.tagSnps)
      if (p >= 0 && p < m) tag[p] = 1;
    for (int p = 0; p < m; ++p) out.appendText(tag[p] ? "Y\t" : "N\t");
  }
  out.appendText("Sample_Type\t");
  for (int i = 0; i < n; ++i) {
    if (i > 0) out.appendChar('\t');
    out.appendText(data.sampleTypes[data.selectedColumns[i]]);
  }
  out.appendText("\nAllele\t");
  for (int snp : block.snps) {
    const SnpAlleleTable alleles = buildAlleleTable(data, snp);
    out.appendChar(alleles.first());
    out.appendChar('/');
    out.appendChar(alleles.second());
    out.appendChar('\t');
  }
  out.appendText("Frequency\t");
  for (int i = 0; i < n; ++i) {
    if (i > 0) out.appendChar('\t');
    out.appendText(data.sampleIds[data.selectedColumns[i]]);
  }
  out.appendChar('\n');

  const std::string blockName = chromosome + "_" + sampleType + "_" + std::to_string(number) + "_";
  std::vector<int> phenotypeOf(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) phenotypeOf[i] = estimate.phenotypeOf(i);
  for (int k = 0; k < h; ++k) {
    const std::string& haplotype = block.haplotypes[k];
    out.appendText(blockName);
    out.appendInt(k + 1);
    out.appendChar('\t');
    for (int p = 0; p < m; ++p) {
      out.appendChar(p < static_cast<int>(haplotype.size()) ? haplotype[p] : ' ');
      out.appendChar('\t');
    }
    out.appendFixed(static_cast<double>(block.haplotypeCounts[k]) / block.chromosomeTotal, 5, 7);
    out.appendChar('\t');
    for (int i = 0; i < n; ++i) {
      const int p = phenotypeOf[i];
      char cell = 'N';
      if (p >= 0) {
        const HaplotypePair& best = estimate.bestPair(p);
        cell = static_cast<char>('0' + (best.haplotype1 == haplotype) + (best.haplotype2 == haplotype));
      }
      out.appendChar(cell);
      out.appendChar(i + 1 < n ? '\t' : '\n');
    }
  }
  out.appendText("Location\t");
  for (int snp : block.snps) {
    out.appendLong(data.positions[snp]);
    out.appendChar('\t');
  }
  out.appendText("Accuracy\t");
  for (int i = 0; i < n; ++i) {
    const int p = phenotypeOf[i];
    // An individual with a missing genotype in the block has no pair.
    out.appendFixed(p >= 0 ? estimate.bestPair(p).probability : 0.0, 5, 7);
    out.appendChar(i + 1 < n ? '\t' : '\n');
  }
}

}  // namespace

BlockReportWriter::BlockReportWriter(FILE* hblk, const GenoData& data, const std::string& chromosome,
                                     const std::string& sampleType, int blockCount)
    : m_data(data), m_chromosome(chromosome), m_sampleType(sampleType) {
  printFlushed("LD Blocking Result for Sample type %s :%d Blocks Found\n", sampleType.c_str(), blockCount);
  reportResult("LD Blocking Result for Sample type %s :%d Blocks Found\n", sampleType.c_str(), blockCount);
  m_out.attach(hblk);
}

BlockReportWriter::~BlockReportWriter() = default;

void BlockReportWriter::write(const LDBlock& block, int number, const SnpListEstimate& estimate) {
  format(m_out, block, number, estimate);
}

void BlockReportWriter::format(TextBuffer& out, const LDBlock& block, int number,
                               const SnpListEstimate& estimate) const {
  out.appendText("!Chromosome_No:");
  out.appendText(m_chromosome);
  out.appendText("\n!Sample_Type:");
  out.appendText(m_sampleType);
  out.appendText("\n!Sample_Count:");
  out.appendInt(m_data.m_numindiv);
  out.appendChar('\n');

  consolePrintf("Block %d [", number);
  for (int p = 0; p < block.size(); ++p) consolePrintf(p > 0 ? ",%d\t" : "%d\t", block.snps[p] + 1);
  consolePrintf("]\n");
  writeRecord(out, block, number, estimate, m_data, m_chromosome, m_sampleType);
}

bool BlockReportWriter::finish() {
  printFlushed("out of loop\n");
  if (!m_out.close()) {
    printFlushed("LD blocking: writing the block file failed\n");
    return false;
  }
  return true;
}
