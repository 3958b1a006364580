// hapxtab: case/control association test of every haplotype of a block file.
#include "hapxtab/HapCrossTab.h"

int main(int argc, char** argv) {
  HapCrossTab program;
  return program.run(argc, argv);
}
