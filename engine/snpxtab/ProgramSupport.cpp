#include "snpxtab/ProgramSupport.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "common_sgt/NumberParse.h"

namespace xtab {

bool parseIntegerArg(const char* text, int& value) {
  if (!text) return false;
  const char* p = text;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  if (*p < '0' || *p > '9') return false;
  long long v = 0;
  for (; *p; ++p) {
    if (*p < '0' || *p > '9') return false;
    v = v * 10 + (*p - '0');
    if (v > static_cast<long long>(INT_MAX) + 1) return false;
  }
  if (negative) v = -v;
  if (v > INT_MAX || v < INT_MIN) return false;
  value = static_cast<int>(v);
  return true;
}

bool parseDecimalArg(const char* text, double& value) {
  if (!text) return false;
  int n = decimalPrefixLength(text);
  if (n == 0 || text[n] != '\0') return false;
  double v = strtod(text, nullptr);
  if (!std::isfinite(v)) return false;
  value = v;
  return true;
}

bool baseNameHasDot(std::string_view path) {
  size_t slash = path.rfind('/');
  std::string_view base = slash == std::string_view::npos ? path : path.substr(slash + 1);
  return base.find('.') != std::string_view::npos;
}

std::string crossTabOutputName(std::string_view input, std::string_view kind, std::string_view code) {
  size_t slash = input.rfind('/');
  std::string_view dir = slash == std::string_view::npos ? std::string_view() : input.substr(0, slash + 1);
  std::string_view base = slash == std::string_view::npos ? input : input.substr(slash + 1);
  size_t first = base.find('.');
  std::string_view head = base.substr(0, first);
  std::string_view second;
  if (first != std::string_view::npos) {
    std::string_view rest = base.substr(first + 1);
    second = rest.substr(0, rest.find('.'));
  }
  std::string name(dir);
  name.append(head).append(".").append(second).append(kind).append(".").append(code).append(".tmp");
  return name;
}

bool sameFile(const char* a, const char* b) {
  struct stat sa, sb;
  if (stat(a, &sa) != 0 || stat(b, &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

void printSystemError(const char* name) {
  int err = errno;
  fprintf(stderr, "%s: %s\n", name, strerror(err));
  fflush(stderr);
}

}  // namespace xtab
