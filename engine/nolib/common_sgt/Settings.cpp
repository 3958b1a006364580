#include "common_sgt/Settings.h"

bool g_progress = false;
int g_debugLevel = 0;
bool g_emIterationProgress = false;
double g_fourGameteThreshold = 0.01;
bool g_seedGiven = false;
uint32_t g_seedValue = 0;
