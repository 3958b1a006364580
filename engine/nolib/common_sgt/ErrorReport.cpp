#include "common_sgt/ErrorReport.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

void reportNull(const char* unit, int line) {
  printf("NULL\t%s:%d\n", unit, line);
  fflush(stdout);
}

void reportSystemError(const char* unit, int line, const char* condition) {
  int err = errno;
  printf("%s:%d\n", unit, line);
  fflush(stdout);
  fprintf(stderr, "%s: %s\n", condition ? condition : "", strerror(err));
}

void printSystemErrorFor(const char* subject) {
  int err = errno;
  fprintf(stderr, "%s: %s\n", subject ? subject : "", strerror(err));
  fflush(stderr);
}

void reportCondition(const char* unit, int line, const char* message) {
  printf(" ERROR : FILE : %s , LINE : %d \n   MSG : %s\n", unit, line, message ? message : "");
  fflush(stdout);
}
