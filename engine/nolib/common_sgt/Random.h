#pragma once
#include <cstdint>

// The linear congruential generator (one state per thread):
// state = state * 214013 + 2531011 (mod 2^32), value = (state >> 16) & 0x7FFF.
void lcgSeed(uint32_t seed);
int lcgNext();
// Seeds the generator for one random initialisation of an estimator: with
// the /SEED value when one was given, else with the current time in seconds.
void seedRandomInitialisation();
