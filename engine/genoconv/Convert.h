#pragma once
#include <cstdio>
#include <string>

#include "genoconv/Options.h"

namespace genoconv {

// Converts the input named by the options into genotype file(s); warnings
// and the summary go to `log`. Throws genoio::Error on refused input, after
// which no result file (and no temporary file) is left.
void convert(const Options& options, FILE* log);

// Writes PREFIX.vcf.gz, its index and PREFIX.types; same contract.
void exportToVcf(const Options& options, FILE* log);

}  // namespace genoconv
