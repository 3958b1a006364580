#include "common_sgt/StringUtilSgt.h"

#include <cstring>

#include "common_sgt/ErrorReport.h"

bool StringUtilSgt::copy(std::string& destination, const char* source) const {
  if (!source) {
    NULL_REPORT();
    return false;
  }
  destination = source;
  return true;
}

bool StringUtilSgt::copyN(std::string& destination, const char* source, size_t n) const {
  if (!source) {
    NULL_REPORT();
    return false;
  }
  destination.assign(source, strnlen(source, n));
  return true;
}

const char* StringUtilSgt::skipFields(const char* text, const char* delimiter, int n) const {
  if (!text) {
    NULL_REPORT();
    return nullptr;
  }
  if (!delimiter || !*delimiter) return text;
  size_t dlen = strlen(delimiter);
  const char* pos = text;
  for (int i = 0; i < n; ++i) {
    const char* hit = strstr(pos, delimiter);
    if (!hit) break;
    pos = hit + dlen;
  }
  return pos;
}

bool StringUtilSgt::forEachField(const char* text, const char* delimiter, FieldHandler& handler) const {
  if (!text) {
    NULL_REPORT();
    return false;
  }
  if (!*text) return true;
  char delim = (delimiter && *delimiter) ? delimiter[0] : '\t';
  std::string piece;
  const char* start = text;
  for (;;) {
    const char* end = strchr(start, delim);
    size_t n = end ? static_cast<size_t>(end - start) : strlen(start);
    copyN(piece, start, n);
    handler.onField(text, piece.c_str());
    if (!end) break;
    start = end + 1;
  }
  return true;
}
