#include "common_sgt/Random.h"

#include <ctime>

#include "common_sgt/Settings.h"

namespace {
// One generator per thread: every random start seeds it before use, so a
// worker's draws depend only on its own estimation.
thread_local uint32_t g_state = 1;
}

void lcgSeed(uint32_t seed) { g_state = seed; }

int lcgNext() {
  g_state = g_state * 214013u + 2531011u;
  return static_cast<int>((g_state >> 16) & 0x7FFF);
}

void seedRandomInitialisation() {
  lcgSeed(g_seedGiven ? g_seedValue : static_cast<uint32_t>(time(nullptr)));
}
