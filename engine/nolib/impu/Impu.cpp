#include "impu/Impu.h"

#include <cstdio>

Impu::Impu() = default;
Impu::~Impu() = default;
bool Impu::impute(const char*, int) {
  printf("PREIMPU: not available in this build\n");
  return false;
}
