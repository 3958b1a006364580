#include "ld/LDBlocking.h"

#include <cstdio>

// Placeholder until LD blocking lands: every step says so and fails.
LDBlockCalculator::LDBlockCalculator(const GenoData& data, const PairStore& pairs, const BlockingSettings& settings)
    : m_data(data), m_pairs(pairs), m_settings(settings) {}

LDBlockCalculator::~LDBlockCalculator() = default;

int LDBlockCalculator::buildGabrielBlocks(FILE*, const std::string&, const std::string&) {
  printf("LD blocking: not available in this build\n");
  return -1;
}

int LDBlockCalculator::buildManualBlocks(FILE*, const std::string&, const std::string&) {
  printf("LD blocking: not available in this build\n");
  return -1;
}

bool LDBlockCalculator::computeCrossover(FILE*, const std::string&, const std::string&) {
  printf("LD blocking: not available in this build\n");
  return false;
}
