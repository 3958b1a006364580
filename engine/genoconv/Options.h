#pragma once
#include <string>

namespace genoconv {

struct Options {
  std::string vcf, bfile, geno, types, chrom, out;
  bool splitChrom = false;
  bool passOnly = false;
  bool toVcf = false;
  int threads = 1;
};

// What the command line asks for.
enum class Action { Convert, Export, Help, Version, UsageError };

// Parses GNU long options. On UsageError, `message` says what is wrong.
Action parseOptions(int argc, char** argv, Options& options, std::string& message);

extern const char* const kUsage;
extern const char* const kHelp;

}  // namespace genoconv
