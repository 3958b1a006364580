#pragma once
#include <cstdint>

// /SEED of the analysis commands. The generator is process-wide, so the
// driver copies this into the process settings once, before any work starts.
struct SeedOption {
  bool given = false;  // otherwise random starts seed from the clock
  uint32_t value = 0;
};
