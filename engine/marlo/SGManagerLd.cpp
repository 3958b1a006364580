#include <cstdio>

#include "SGManager.h"

bool SGManager::performLDAnalysis(bool, bool, int, double, bool, int, bool) {
  printf("PWLD: not available in this build\n");
  fflush(stdout);
  return false;
}
