#include <cstdio>

#include "SGManager.h"

bool SGManager::performHaplotypeEstimation(double, int, double) {
  printf("EM: not available in this build\n");
  fflush(stdout);
  return false;
}
