#pragma once
// The plainest split of a text at every tab, one byte at a time: the
// reference the scanners' tests compare with.
#include <string>
#include <vector>

namespace testsupport {

inline std::vector<std::string> splitAtTabs(const std::string& text) {
  std::vector<std::string> out(1);
  for (char c : text) {
    if (c == '\t')
      out.emplace_back();
    else
      out.back() += c;
  }
  return out;
}

}  // namespace testsupport
