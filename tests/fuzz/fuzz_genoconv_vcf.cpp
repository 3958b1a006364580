// genoconv's VCF/BCF path: htslib reads the input (text, bgzipped or BCF,
// told apart by content) and the converter writes the genotype file into the
// scratch folder. Odd bytes are as likely from a damaged download as from a
// hand edit, so every refusal must come out as genoio::Error.
#include <htslib/hts.h>

#include "FuzzSupport.h"
#include "genoconv/Convert.h"
#include "genoio/Error.h"

// A BCF record states its own lengths, and htslib reserves them before it
// reads: a damaged length asks for up to 6 GB. The converter itself only
// reserves that address space (its resident size stays a few MB, and a
// refused allocation is a read error), but AddressSanitizer would map shadow
// for it and the fuzzer would call it running out of memory. Such a request is
// refused here instead, which drives the refused-allocation path.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1:max_allocation_size_mb=1024"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::enterScratch();
  static FILE* quiet = [] {
    hts_set_log_level(HTS_LOG_OFF);  // htslib's own detail would flood the fuzzer's log
    return fopen("/dev/null", "w");
  }();
  fuzz::clearScratch();
  fuzz::writeFile("in.vcf", data, size);
  genoconv::Options options;
  options.vcf = "in.vcf";
  options.out = "out";
  // The last byte picks the variants of the path: PASS filter, one
  // chromosome asked for, one file per chromosome (whose names come from the
  // input, so the converter's check of them is exercised too).
  const uint8_t mode = size ? data[size - 1] : 0;
  options.passOnly = mode & 1;
  if (mode & 2)
    options.chrom = "1";
  else if (mode & 4)
    options.splitChrom = true;
  try {
    genoconv::convert(options, quiet);
  } catch (const genoio::Error&) {
  }
  return 0;
}
