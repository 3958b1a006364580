#include "common_sgt/StringSgt.h"

#include "common_sgt/ErrorReport.h"

StringSgt::StringSgt(const char* text) {
  if (!text) {
    NULL_REPORT();
    return;
  }
  m_text = text;
}

StringSgt::~StringSgt() = default;

bool StringSgt::append(const char* text) {
  if (!text) {
    NULL_REPORT();
    return false;
  }
  m_text += text;
  return true;
}

void StringSgt::assign(const char* text) {
  if (!text) {
    NULL_REPORT();
    return;
  }
  m_text = text;
}
