#include "simple_tagger/SimpleTagger.h"

#include <cstdio>

SimpleTagger::SimpleTagger() = default;
SimpleTagger::~SimpleTagger() = default;
bool SimpleTagger::run(const char*, double) {
  printf("TAG1: not available in this build\n");
  return false;
}
