#pragma once
#include <string>

#include "genoio/Samples.h"

namespace genoio {

struct ExportResult {
  SampleTable samples;
  long long variants = 0;
  long long missingCalls = 0;
  std::string vcfName, indexName, typesName;  // indexName empty: no index
  std::string warning;                         // set when no index could be built
};

// Writes a genotype file as PREFIX.vcf.gz (bgzipped by htslib) with a
// .tbi index (.csi when a position needs more than 29 bits) and the sample
// types as PREFIX.types.
//
// Accepts: the genotype file layout (two header lines, then marker,
// chromosome, position, strand and one genotype per sample); genotypes of
// three characters whose first and third are A, C, G, T or N. Every record
// takes the chromosome of the first SNP line (the genotype file holds one).
// REF is the most frequent allele of the line (ties: alphabetical), ALT the
// others by decreasing count (ties: alphabetical); genotypes keep the
// order of their two alleles (G/A with REF A is 1/0) and N is ".".
// Refuses (Error naming the file and line): fewer than two lines, a short
// line, a position that is not an integer of 0 to 2147483647 (VCF has no
// negative positions; 0 stands for a telomere), a genotype of
// another shape or with other letters, sample identifiers or types the
// types file cannot hold, read and write errors.
// On failure: none of the three files is left, nor any temporary file.
// Positions going backwards leave the VCF unindexed; `warning` says so.
ExportResult exportVcf(const std::string& genoPath, const std::string& prefix, int threads);

}  // namespace genoio
