#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "genoio/Samples.h"

namespace genoio {

// Why a variant of the input does not enter the genotype file. The order is
// the order of the summary.
enum class SkipReason {
  None,
  MultiBase,       // an allele of several bases: indel, or several bases replaced
  Symbolic,        // <DEL>, <*>, breakends
  Star,            // "*", an allele spanning a deletion
  NotAcgt,         // "N" or another letter than A, C, G, T (REF N included)
  RepeatedAllele,  // the same base twice among the alleles
  NotPass,         // FILTER other than PASS or "." (only with --pass-only)
  NoGenotypes,     // no GT field while the input has samples
  Count
};
const char* skipReasonText(SkipReason reason);

// Calls met while decoding genotypes, for the summary.
struct CallCounts {
  long long haploid = 0;  // written as the homozygote
  long long missing = 0;  // both alleles missing: N/N
  long long half = 0;     // one allele missing: N/x or x/N
  // Allele 1 named by a record whose ALT is "."; PLINK writes its "0"
  // (absent) allele so, and it is read as missing.
  long long absentAlt = 0;
};

// A stream of variants with their genotypes: what the converter needs from a
// VCF/BCF file or a PLINK fileset.
//
// Call order per variant: next(), then the site accessors, then classify(),
// then genotypes() only when classify() returned None. Every method throws
// Error on bad input or a failing read, with the file and, where known, the
// line or variant in the message.
class VariantSource {
 public:
  virtual ~VariantSource() = default;
  // The samples with the types the input itself gives ("NA" when none).
  virtual const SampleTable& samples() const = 0;
  virtual const std::string& fileName() const = 0;
  // false at the end of the input.
  virtual bool next() = 0;
  virtual std::string_view chrom() const = 0;
  // 1-based position as written in the input.
  virtual int64_t position() const = 0;
  // The ID column, or CHROM:POS when the ID is ".".
  virtual std::string_view marker() = 0;
  virtual SkipReason classify() = 0;
  // Two allele characters per sample ('N' missing) into out.
  virtual void genotypes(char* out, CallCounts& counts) = 0;
  // "in.vcf: line 12 (rs123 at 10:1500)" or the like, for messages about
  // the current variant.
  virtual std::string where() = 0;
  // Share of the input read so far, 0 to 1, or -1 when unknown.
  virtual double progress() const = 0;
  // Asks for the records of one chromosome only. true when the source can
  // jump to them (an index) and next() will return nothing else; false when
  // every record will still be read.
  virtual bool restrictTo(const std::string& /*chrom*/) { return false; }
};

}  // namespace genoio

namespace genoio {

// The rule for one allele text: a single base A, C, G or T (either case)
// enters as its upper-case letter in `base`; anything else gives the reason
// the variant is skipped.
SkipReason classifyAllele(std::string_view allele, char& base);

}  // namespace genoio
