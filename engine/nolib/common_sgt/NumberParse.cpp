#include "common_sgt/NumberParse.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <string>

namespace {
bool isDigit(char c) { return c >= '0' && c <= '9'; }
}  // namespace

int decimalPrefixLength(const char* text) {
  if (!text) return 0;
  int i = 0;
  if (text[i] == '+' || text[i] == '-') ++i;
  int intDigits = 0;
  while (isDigit(text[i])) ++i, ++intDigits;
  int fracDigits = 0;
  if (text[i] == '.') {
    int j = i + 1;
    while (isDigit(text[j])) ++j, ++fracDigits;
    if (intDigits + fracDigits > 0) i = j;
  }
  if (intDigits + fracDigits == 0) return 0;
  if (text[i] == 'e' || text[i] == 'E') {
    int j = i + 1;
    if (text[j] == '+' || text[j] == '-') ++j;
    if (isDigit(text[j])) {
      while (isDigit(text[j])) ++j;
      i = j;
    }
  }
  return i;
}

double parseDecimalDouble(const char* text) {
  int n = decimalPrefixLength(text);
  if (n == 0) return 0.0;
  std::string prefix(text, static_cast<size_t>(n));
  double v = strtod(prefix.c_str(), nullptr);
  if (std::isinf(v)) v = v > 0 ? DBL_MAX : -DBL_MAX;
  return v;
}

int parseDecimalInt(const char* text) {
  if (!text) return 0;
  int i = 0;
  bool negative = false;
  if (text[i] == '+' || text[i] == '-') negative = text[i++] == '-';
  if (!isDigit(text[i])) return 0;
  long long v = 0;
  while (isDigit(text[i])) {
    v = v * 10 + (text[i++] - '0');
    if (v > static_cast<long long>(INT_MAX) + 1) v = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) v = -v;
  if (v > INT_MAX) v = INT_MAX;
  if (v < INT_MIN) v = INT_MIN;
  return static_cast<int>(v);
}

uint32_t parseDecimalUnsigned(const char* text) {
  if (!text) return 0;
  int i = 0;
  if (text[i] == '-') return 0;
  if (text[i] == '+') ++i;
  unsigned long long v = 0;
  while (isDigit(text[i])) {
    v = v * 10 + static_cast<unsigned long long>(text[i++] - '0');
    if (v > UINT32_MAX) v = UINT32_MAX;
  }
  return static_cast<uint32_t>(v);
}

bool parseWholeInt(const char* text, int& value) {
  if (!text) return false;
  const char* p = text;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  if (!isDigit(*p)) return false;
  long long v = 0;
  for (; *p; ++p) {
    if (!isDigit(*p)) return false;
    v = v * 10 + (*p - '0');
    if (v > static_cast<long long>(INT_MAX) + 1) return false;
  }
  if (negative) v = -v;
  if (v > INT_MAX || v < INT_MIN) return false;
  value = static_cast<int>(v);
  return true;
}

bool parseWholeDecimal(const char* text, double& value) {
  if (!text) return false;
  int n = decimalPrefixLength(text);
  if (n == 0 || text[n] != '\0') return false;
  double v = strtod(text, nullptr);
  if (!std::isfinite(v)) return false;
  value = v;
  return true;
}
