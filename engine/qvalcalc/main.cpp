// qvalcalc: false-discovery-rate q-values of a cross-tabulation report.
#include "qvalcalc/QvalCalc.h"

int main(int argc, char** argv) {
  QvalCalc program;
  return program.run(argc, argv);
}
