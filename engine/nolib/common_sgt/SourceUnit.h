#pragma once
#include <string>

// Diagnostics name the source unit as its path from the repository root
// without the extension (the build maps __FILE__ to that relative path).
std::string sourceUnitName(const char* file);

#define SGT_UNIT (sourceUnitName(__FILE__).c_str())
