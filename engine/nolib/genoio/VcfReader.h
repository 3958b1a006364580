#pragma once
#include <memory>
#include <string>
#include <vector>

#include "genoio/VariantSource.h"

typedef struct htsFile htsFile;
typedef struct bcf_hdr_t bcf_hdr_t;
typedef struct bcf1_t bcf1_t;

namespace genoio {

// Reads VCF, bgzipped VCF or BCF through htslib (the format is recognised
// from the content, not the name).
//
// Accepts: any file htslib reads as VCF or BCF. Samples are the header's
// sample names, all of type "NA". A record enters when every allele is one
// base of A, C, G, T (ALT "." included); genotypes give their two alleles in
// the order written, a missing allele is 'N', a haploid call is written as
// its homozygote, and with passOnly only FILTER PASS or "." enters.
// Refuses (Error): a file htslib cannot open or whose header or records it
// cannot parse (htslib prints its own detail before the message), a file of
// another kind, a genotype naming an allele the record lacks, a call of
// more than two alleles, sample names the genotype file cannot hold.
// On failure: nothing is written anywhere; the object can only be destroyed.
class VcfReader : public VariantSource {
 public:
  VcfReader(const std::string& path, int threads, bool passOnly);
  ~VcfReader() override;

  const SampleTable& samples() const override { return m_samples; }
  const std::string& fileName() const override { return m_path; }
  bool next() override;
  std::string_view chrom() const override;
  int64_t position() const override;
  std::string_view marker() override;
  SkipReason classify() override;
  void genotypes(char* out, CallCounts& counts) override;
  std::string where() override;
  double progress() const override;
  // Uses the .csi/.tbi index beside the file, when there is one and it
  // knows the chromosome; record numbers then replace line numbers in
  // messages.
  bool restrictTo(const std::string& chrom) override;

 private:
  template <typename T>
  void decode(const uint8_t* data, int perSample, char* out, CallCounts& counts);
  [[noreturn]] void badAllele(size_t sample, int index);
  long long countHeaderLines();

  // Owners that release htslib's objects, also when the constructor throws.
  struct FileCloser {
    void operator()(htsFile* fp) const;
  };
  struct HeaderFree {
    void operator()(bcf_hdr_t* hdr) const;
  };
  struct RecordFree {
    void operator()(bcf1_t* rec) const;
  };

  struct IndexState;

  std::string m_path;
  std::unique_ptr<htsFile, FileCloser> m_file;
  std::unique_ptr<IndexState> m_index;
  std::unique_ptr<bcf_hdr_t, HeaderFree> m_header;
  std::unique_ptr<bcf1_t, RecordFree> m_record;
  htsFile* m_fp = nullptr;     // the three above, for short calls
  bcf_hdr_t* m_hdr = nullptr;
  bcf1_t* m_rec = nullptr;
  SampleTable m_samples;
  bool m_passOnly;
  bool m_text = false;          // plain or bgzipped VCF text: line numbers are known
  bool m_binary = false;        // BCF, whose damaged records htslib often refuses silently
  long long m_headerLines = 0;  // lines before the first record
  long long m_records = 0;
  long long m_size = -1;
  char m_bases[8] = {};         // alleles of the current record, upper case
  std::string m_marker;
};

}  // namespace genoio
