#include "plot/InputError.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace plot {

void throwAtLine(const std::string& file, long long line, const std::string& problem) {
  throw InputError(file + ", line " + std::to_string(line) + ": " + problem);
}

void throwForFile(const std::string& file, const std::string& problem) { throw InputError(file + ": " + problem); }

void throwSystem(const std::string& file, const char* what, int errnum) {
  throw InputError(file + ": cannot " + what + ": " + std::strerror(errnum));
}

bool parseLong(std::string_view text, long long& value) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size() || text.size() - i > 18) return false;
  long long v = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    v = v * 10 + (text[i] - '0');
  }
  value = negative ? -v : v;
  return true;
}

bool parseDouble(std::string_view text, double& value) {
  // Checked by hand first so that strtod never sees its extra forms.
  size_t i = 0, n = text.size();
  if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
  size_t digits = 0;
  while (i < n && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
  if (i < n && text[i] == '.') {
    ++i;
    while (i < n && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    size_t expDigits = 0;
    while (i < n && text[i] >= '0' && text[i] <= '9') ++i, ++expDigits;
    if (expDigits == 0) return false;
  }
  if (i != n || n > 64) return false;
  char buf[65];
  std::memcpy(buf, text.data(), n);
  buf[n] = '\0';
  double v = std::strtod(buf, nullptr);
  if (!std::isfinite(v)) return false;
  value = v;
  return true;
}

}  // namespace plot
