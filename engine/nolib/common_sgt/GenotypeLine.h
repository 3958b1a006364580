#pragma once
#include <cstddef>
#include <string_view>

// The genotype columns of a marker line start after its fourth tab (marker,
// chromosome, position and one more field come first). Returns the offset
// just after that tab, or npos when the line has fewer than four tabs.
inline std::size_t afterFourthTab(std::string_view line) {
  std::size_t p = 0;
  for (int i = 0; i < 4; ++i) {
    std::size_t t = line.find('\t', p);
    if (t == std::string_view::npos) return std::string_view::npos;
    p = t + 1;
  }
  return p;
}
