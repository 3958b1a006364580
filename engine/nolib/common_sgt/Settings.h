#pragma once
#include <cstdint>

// Process-wide settings, made once by the command line before any work
// starts and read everywhere afterwards. The programs are single-threaded.
extern bool g_progress;             // status lines on standard error
extern int g_debugLevel;            // diagnostic prints at level 1, 2, ...
extern bool g_emIterationProgress;  // estimator may call the progress hooks
extern double g_fourGameteThreshold;
extern bool g_seedGiven;            // /SEED given: random starts are reproducible
extern uint32_t g_seedValue;
