#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "genoio/PendingFile.h"
#include "genoio/Samples.h"

namespace genoio {

// Writes one genotype file in the suite's layout:
//   line 1  Marker, Chr, Position, Strand, then the sample identifiers
//   line 2  Type, ".", ".", ".", then the sample types
//   then    marker, chromosome, position, "+", one "a/b" genotype per sample
// with tabs between fields and "\n" at every line end.
//
// Accepts: sample identifiers and types already checked (checkSampleIds),
// alleles as single characters with 'N' for a missing allele.
// Guarantees: the file is written under a temporary name and appears under
// its final name only through commit(); a writer destroyed without commit()
// leaves nothing. Every write error is reported (Error) with the file name.
class GenoWriter {
 public:
  GenoWriter(std::string finalName, const SampleTable& samples);
  ~GenoWriter();
  GenoWriter(const GenoWriter&) = delete;
  GenoWriter& operator=(const GenoWriter&) = delete;

  // alleles: two characters per sample, in column order.
  void write(std::string_view marker, std::string_view chrom, int32_t position, const char* alleles);
  void commit();
  long long variants() const { return m_variants; }
  const std::string& finalName() const { return m_file.finalName(); }

 private:
  void flush();

  PendingFile m_file;
  size_t m_samples;
  std::vector<char> m_buf;
  size_t m_len = 0;
  long long m_variants = 0;
};

}  // namespace genoio
