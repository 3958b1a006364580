#include "common_sgt/Console.h"

#include <cstdarg>
#include <cstdio>

void printFlushed(const char* format, ...) {
  va_list args;
  va_start(args, format);
  vprintf(format, args);
  va_end(args);
  fflush(stdout);
}
