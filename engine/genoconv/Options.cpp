#include "genoconv/Options.h"

#include <getopt.h>

#include "common_sgt/NumberParse.h"

namespace genoconv {

const char* const kUsage =
    "usage: genoconv --vcf FILE [--types FILE] [--chrom NAME | --split-chrom] [--pass-only]\n"
    "                [--threads N] --out PREFIX\n"
    "       genoconv --bfile PREFIX [--types FILE] [--chrom NAME | --split-chrom] --out PREFIX\n"
    "       genoconv --geno FILE --to-vcf [--threads N] --out PREFIX\n"
    "       genoconv --help | --version\n";

const char* const kHelp =
    "Converts VCF/BCF files and PLINK 1 filesets into the suite's genotype file,\n"
    "and genotype files back into bgzipped VCF.\n"
    "\n"
    "Input (one of):\n"
    "  --vcf FILE       VCF, bgzipped VCF or BCF (read through htslib)\n"
    "  --bfile PREFIX   PLINK 1 fileset PREFIX.bed (SNP-major), PREFIX.bim, PREFIX.fam\n"
    "  --geno FILE      genotype file, with --to-vcf\n"
    "\n"
    "Options:\n"
    "  --types FILE     sample types: two columns, sample identifier and type;\n"
    "                   lines starting with # are skipped; wins over .fam phenotypes\n"
    "  --chrom NAME     keep only chromosome NAME (writes PREFIX.geno)\n"
    "  --split-chrom    one file per chromosome: PREFIX.<chromosome>.geno\n"
    "  --pass-only      keep only VCF records whose FILTER is PASS or .\n"
    "  --to-vcf         write PREFIX.vcf.gz with its index, and PREFIX.types\n"
    "  --threads N      htslib threads for BGZF compression and decompression\n"
    "  --out PREFIX     result name prefix\n"
    "  --help           this text\n"
    "  --version        the suite's version\n"
    "\n"
    "Without --chrom or --split-chrom the input must hold one chromosome; the\n"
    "result is PREFIX.geno. A summary goes to standard error.\n";

namespace {

enum Id { kVcf = 1000, kBfile, kGeno, kTypes, kChrom, kSplit, kPass, kToVcf, kThreads, kOut, kHelpId, kVersionId };

const option kLongOptions[] = {
    {"vcf", required_argument, nullptr, kVcf},
    {"bfile", required_argument, nullptr, kBfile},
    {"geno", required_argument, nullptr, kGeno},
    {"types", required_argument, nullptr, kTypes},
    {"chrom", required_argument, nullptr, kChrom},
    {"split-chrom", no_argument, nullptr, kSplit},
    {"pass-only", no_argument, nullptr, kPass},
    {"to-vcf", no_argument, nullptr, kToVcf},
    {"threads", required_argument, nullptr, kThreads},
    {"out", required_argument, nullptr, kOut},
    {"help", no_argument, nullptr, kHelpId},
    {"version", no_argument, nullptr, kVersionId},
    {nullptr, 0, nullptr, 0},
};

bool setOnce(std::string& field, const char* value, const char* name, std::string& message) {
  if (!field.empty()) {
    message = std::string("--") + name + " given twice";
    return false;
  }
  if (!value || !*value) {
    message = std::string("--") + name + " needs a non-empty value";
    return false;
  }
  field = value;
  return true;
}

}  // namespace

Action parseOptions(int argc, char** argv, Options& options, std::string& message) {
  opterr = 0;
  optind = 1;
  bool help = false, version = false;
  for (;;) {
    int index = 0;
    int c = getopt_long(argc, argv, ":", kLongOptions, &index);
    if (c == -1) break;
    bool ok = true;
    switch (c) {
      case kVcf: ok = setOnce(options.vcf, optarg, "vcf", message); break;
      case kBfile: ok = setOnce(options.bfile, optarg, "bfile", message); break;
      case kGeno: ok = setOnce(options.geno, optarg, "geno", message); break;
      case kTypes: ok = setOnce(options.types, optarg, "types", message); break;
      case kChrom: ok = setOnce(options.chrom, optarg, "chrom", message); break;
      case kOut: ok = setOnce(options.out, optarg, "out", message); break;
      case kSplit: options.splitChrom = true; break;
      case kPass: options.passOnly = true; break;
      case kToVcf: options.toVcf = true; break;
      case kHelpId: help = true; break;
      case kVersionId: version = true; break;
      case kThreads:
        if (!parseWholeInt(optarg, options.threads) || options.threads < 1 || options.threads > 64) {
          message = std::string("--threads needs a whole number from 1 to 64, not '") + optarg + "'";
          ok = false;
        }
        break;
      case ':':
        message = std::string("option '") + argv[optind - 1] + "' needs a value";
        ok = false;
        break;
      default:
        message = std::string("unknown option '") + argv[optind - 1] + "'";
        ok = false;
        break;
    }
    if (!ok) return Action::UsageError;
  }
  if (help) return Action::Help;
  if (version) return Action::Version;
  if (optind < argc) {
    message = std::string("unexpected argument '") + argv[optind] + "'";
    return Action::UsageError;
  }
  int inputs = !options.vcf.empty() + !options.bfile.empty() + !options.geno.empty();
  if (inputs == 0) {
    message = "no input: give --vcf, --bfile or --geno";
    return Action::UsageError;
  }
  if (inputs > 1) {
    message = "give only one of --vcf, --bfile and --geno";
    return Action::UsageError;
  }
  if (options.out.empty()) {
    message = "--out PREFIX is required";
    return Action::UsageError;
  }
  if (!options.geno.empty() || options.toVcf) {
    if (options.geno.empty()) {
      message = "--to-vcf reads a genotype file: give --geno FILE";
      return Action::UsageError;
    }
    if (!options.toVcf) {
      message = "--geno is read only for --to-vcf";
      return Action::UsageError;
    }
    if (!options.types.empty() || !options.chrom.empty() || options.splitChrom || options.passOnly) {
      message = "--types, --chrom, --split-chrom and --pass-only do not apply to --to-vcf";
      return Action::UsageError;
    }
    return Action::Export;
  }
  if (!options.chrom.empty() && options.splitChrom) {
    message = "give either --chrom or --split-chrom, not both";
    return Action::UsageError;
  }
  if (options.passOnly && options.vcf.empty()) {
    message = "--pass-only applies to --vcf only (a fileset has no FILTER column)";
    return Action::UsageError;
  }
  return Action::Convert;
}

}  // namespace genoconv
