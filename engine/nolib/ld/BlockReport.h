#pragma once
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "common_sgt/FastFormat.h"
#include "ld/LDBlock.h"
#include "marlo/GenoData.h"

class SnpListEstimate;

// The haplotype block file (.ld.hblk) of one sample type, written from
// finished blocks (haplotypes estimated, tag SNPs chosen, haplotypes ordered
// by count: see finishBlocksAndReport in ld/LDBlocking.h). Blocks are
// numbered from 1 in list order. Each record holds the three header lines,
// the counts, the SNP rows, one row per haplotype with each individual's
// copies in its most probable pair ("N" for an individual with a missing
// genotype in the block) and the positions with each individual's
// probability of that pair.
class BlockReportWriter {
 public:
  // Prints and reports "LD Blocking Result for Sample type %s :%d Blocks
  // Found". hblk must not be null.
  BlockReportWriter(FILE* hblk, const GenoData& data, const std::string& chromosome, const std::string& sampleType,
                    int blockCount);
  ~BlockReportWriter();

  // The record of block number (from 1), printing "Block %d [...]" first.
  void write(const LDBlock& block, int number, const SnpListEstimate& estimate);
  // write in two steps, for records made on worker threads: the record into
  // out (the line printed through the console capture), then its text
  // appended to the file in block order.
  void format(TextBuffer& out, const LDBlock& block, int number, const SnpListEstimate& estimate) const;
  void append(std::string_view record) { m_out.appendText(record); }
  // Prints "out of loop" and flushes the file; false when a write failed.
  bool finish();

 private:
  TextBuffer m_out;
  const GenoData& m_data;
  const std::string& m_chromosome;
  const std::string& m_sampleType;
};
