#include "hwe/Hwe.h"

#include <cstdio>

Hwe::Hwe(double, double, double, double, bool, const char*, const char*) {}
Hwe::~Hwe() = default;
void Hwe::setFlagClass(const char*) {}
bool Hwe::run(const char*) {
  printf("PREFLAG: not available in this build\n");
  return false;
}
