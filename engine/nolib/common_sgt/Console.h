#pragma once

// printf on standard output, then fflush: for console lines that must reach
// a reader of the output (a progress display, a log after a crash) at once,
// not when the buffer happens to fill.
void printFlushed(const char* format, ...) __attribute__((format(printf, 1, 2)));
