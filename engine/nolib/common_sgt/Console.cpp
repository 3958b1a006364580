#include "common_sgt/Console.h"

#include <cstdarg>
#include <cstdio>

#include "common_sgt/Parallel.h"

// Through the console capture: a worker's lines reach standard output where
// a single-threaded run prints them.
void printFlushed(const char* format, ...) {
  va_list args;
  va_start(args, format);
  consoleVprintf(format, args);
  va_end(args);
  consoleFlush();
}
