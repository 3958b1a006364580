#include <cstdio>

#include "SGManager.h"

bool SGManager::performHaplotypeEstimationPLEM(double, int, int, double, double) {
  printf("PLEM: not available in this build\n");
  fflush(stdout);
  return false;
}
