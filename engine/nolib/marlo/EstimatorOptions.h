#pragma once

#include "common_sgt/SeedOption.h"

// Options of the EM command, filled once by the command line.
struct EmOptions {
  double eps = 1.0;  // convergence bound of the EM loop, always positive
  int randomInit = 0;  // 1: random starting frequencies (/RANDOM)
  double minHaplotypeFreq = 0.01;  // least frequency a population line lists
  SeedOption seed;
  unsigned threads = 1;  // workers; 0: every core the process may use
};

// Options of the PLEM command: those it shares with EM, the block length
// and the bound of the ligation steps.
struct PlemOptions {
  EmOptions em;  // eps there bounds the joins and the EM of a short type
  int blockLength = 10;  // at least 1
  double plemEps = 0.00001;
};
