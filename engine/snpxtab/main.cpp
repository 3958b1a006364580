// snpxtab: case/control association test of every SNP of a genotype file.
#include "snpxtab/SnpCrossTab.h"

int main(int argc, char** argv) {
  SnpCrossTab program;
  return program.run(argc, argv);
}
