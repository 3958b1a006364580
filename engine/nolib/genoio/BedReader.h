#pragma once
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "genoio/VariantSource.h"

namespace genoio {

// Reads a PLINK 1 binary fileset PREFIX.bed/.bim/.fam one variant at a time
// (memory grows with the samples, not the variants).
//
// Accepts: a SNP-major .bed (magic bytes 6c 1b 01), a .fam of six
// whitespace-separated columns per sample, a .bim of six columns per variant
// (chromosome, ID, centimorgans, position, allele 1, allele 2). Samples are
// the IIDs, or FID_IID for every sample when an IID repeats; phenotype 1
// gives type "0", 2 gives "1", anything else "NA". Genotype codes give the
// homozygote of allele 1, N/N, allele1/allele2, the homozygote of allele 2;
// an allele "0" is absent and written N.
// Refuses (Error naming the file and line): an individual-major .bed or
// other magic bytes, a .bed whose size is not 3 + variants x ceil(samples/4)
// bytes for the .bim and .fam given, short .bim/.fam lines, a position that
// is not an integer, unreadable files and read errors.
// On failure: nothing is written anywhere.
class BedReader : public VariantSource {
 public:
  explicit BedReader(const std::string& prefix);
  ~BedReader() override;

  const SampleTable& samples() const override { return m_samples; }
  const std::string& fileName() const override { return m_bedName; }
  bool next() override;
  std::string_view chrom() const override { return m_chrom; }
  int64_t position() const override { return m_position; }
  std::string_view marker() override;
  SkipReason classify() override;
  void genotypes(char* out, CallCounts& counts) override;
  std::string where() override;
  double progress() const override;

  long long variantCount() const { return m_variants; }

 private:
  void readFam();
  void checkBed();

  struct Closer {
    void operator()(FILE* fp) const { fclose(fp); }
  };
  // Members that own resources clean up after themselves, also when the
  // constructor throws half-way.
  struct LineBuffer {
    char* text = nullptr;
    size_t capacity = 0;
    ~LineBuffer() { free(text); }
  };

  std::string m_bedName, m_bimName, m_famName;
  SampleTable m_samples;
  std::unique_ptr<FILE, Closer> m_bed, m_bim;
  LineBuffer m_buffer;
  long long m_bimLine = 0;
  long long m_variants = 0;
  long long m_read = 0;
  size_t m_blockBytes = 0;
  std::vector<unsigned char> m_block;
  std::string m_chrom, m_id, m_allele1, m_allele2, m_marker;
  int64_t m_position = 0;
  char m_base1 = 'N', m_base2 = 'N';
};

}  // namespace genoio
