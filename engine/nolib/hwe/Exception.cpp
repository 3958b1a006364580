#include "hwe/Exception.h"

#include <cstdio>

Exception::Exception(const char* message) : m_message(message ? message : "") {
  printf(" Exception : %s\n", m_message.c_str());
  fflush(stdout);
}

Exception::~Exception() = default;
