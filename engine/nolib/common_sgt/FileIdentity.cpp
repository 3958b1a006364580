#include "common_sgt/FileIdentity.h"

#include <sys/stat.h>

bool sameExistingFile(const char* a, const char* b) {
  if (!a || !b) return false;
  struct stat sa {};
  struct stat sb {};
  if (stat(a, &sa) != 0 || stat(b, &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}
