#include "common_sgt/SourceUnit.h"

std::string sourceUnitName(const char* file) {
  std::string s = file ? file : "";
  size_t slash = s.find_last_of('/');
  size_t dot = s.find_last_of('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) s.erase(dot);
  return s;
}
