#include "Usage.h"

#include <cstdio>

namespace {

const char* const kUsageItems[] = {
    "Usage: marlo {PREFLAG|PREIMPU|EM|PLEM|PWLD|TAG1|TAG2|LOGREG} INPUT_FILE [/A[MinA]] [/G[MinG]] [/P[MinP]] "
    "[/PY[MinPY]] [/EPS[EPS Value]] [/RANDOM] [/BL[BLOCK_LENGTH]] [/a[DISTANCE]] [/LDBLK1|/LDBLK2]",
    "       PREFLAG: Pre-processing. Flagging",
    "       /SAMPLE: Delete Sample with Missing Genotype Frequency Over",
    "       /SNP:    Delete SNP with Missing Genotype Frequency Over",
    "       /MAF:    Delete SNP with Minor Allele Frequency Below",
    "       /HWE:    Delete SNP by HWE Test with p_value Below",
    "       /MUL:    with multiple correction",
    "       /OUTFILE:",
    "       /CLASS:  flagging class ( default : M class )",
    "       /SAMPLE_HINT: sample flagging hint file",
    "       PREIMPU: Pre-processing. Imputation",
    "       /A: MAJOR_HOMO   Replace Missing Genotype with Major Homo Genotype",
    "       /B: MAJOR_HETERO Replace Missing Genotype with Hetero Genotype",
    "       /C: MINOR_HOMO   Replace Missing Genotype with Minor Homo Genotype",
    "       EM: Haplotype Estimation.",
    "       PLEM: Haplotype Estimation.",
    "       PWLD: Pairwise LD Analysis.",
    "       INPUT_FILE: Input file for process. Imput file should have '.geno' or '.impu' extension.",
    "       /EPS: EPS value for Haplotype Estimation. Default=1.0",
    "       /RANDOM: EM initializes frequency with random values.",
    "       /BL: Block Length for PLEM. Default=10",
    "       /MHF : Min Haplotype Freq",
    "       /PLEMEPS: EPS value for PLEM Allele Selection. Default=0.00001",
    "       /LDBLKM: LD Blocking with Given SNP index List(base 1), including flagged SNPs. cf> /LDBLKM1-2,6-7",
    "       /LDBLK1: LD Blocking 1 after LD analysis. **Deprecated**.",
    "       /LDBLK2: LD Blocking 2 after LD analysis.",
    "       /CRSOVR: Relationship between blocks(Crossover) after LD Blocking.",
    "       /UTH: UTH value for LD blocking. Default=0.98",
    "       /LTH: LTH value for LD blocking. Default=0.7",
    "       /THF: THF(Minor Allele Freq.) value for LD blocking. Default=0.05",
    "       /E: E value(Strong LD Fraction) for LD blocking. Default=0.95",
    "       /BST: Bootstrapping resampling count for LD blocking. Default=100",
    "       /TAG: Entropy reduction value for LD block tagging. Default=0.0",
    "       /ANNO: To use annotation file(.anno) for Pairwise LD Analysis.",
    "              Set maximum DISTANCE for Pairwise LD Analysis. Default=500000.",
    "       /SKIPANNO: Don't write Pairwise LD values excluded by DISTANCE.",
    "                  Default writes 0 for each field.",
    "       /PROGRESS: Print progress character '#'.",
    "\t\tLOGREG",
    "\t\t/EPS:  parameter change threshold",
    "\t\t/ITER: maximum iteration",
    "\t\t/CC:   Classification Cut off",
    "\t\t/CP:   Limit   Classification Power",
    "\t\t/F:    feature type ( 0:SNP, 1: HAPLOTYPE )",
    "       ex1) Pre-processing. Flagging.",
    "            marlo PREFLAG dral_20_96_corvane.geno",
    "            marlo PREFLAG dral_20_96_corvane.impu",
    "       ex2) Pre-processing. Imputation.",
    "            marlo PREIMPU dral_20_96_corvane.geno",
    "       ex3) Haplotype Estimation(EM) with EPS=0.01, even frequency initializing method.",
    "            marlo EM dral_20_96_corvane.impu /EPS0.01",
    "       ex4) logistic regression",
    "            logreg test.snp.00.model /eps0.001 /iter20 /cc0.5 /cp100 /f0",
    "",
    "MARLO Native Engine(" __DATE__ ")",
    "",
};

}  // namespace

void printUsage() {
  for (const char* item : kUsageItems) {
    fputs(item, stdout);
    fputs("\n", stdout);
    fflush(stdout);
  }
}
