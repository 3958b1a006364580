/* Makes reads of one file fail with EIO once they reach a byte offset, as a
 * failing disk would: MARLO_EIO_FILE names the file, MARLO_EIO_AFTER the
 * offset; with MARLO_EIO_PASS=n only the n-th pass over the file (a read
 * from its first byte starts a pass) and the later ones fail. Loaded with
 * LD_PRELOAD by the robustness tests; it covers the
 * calls the programs read with (fread, fgets, getline, read, pread). The
 * stream error flag is set the way the C library sets it, so that ferror()
 * sees what a real failure would show. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#ifndef _IO_ERR_SEEN
#define _IO_ERR_SEEN 0x20
#endif

static int targetFd(int fd) {
  const char* name = getenv("MARLO_EIO_FILE");
  struct stat a, b;
  if (!name || fd < 0 || fstat(fd, &a) != 0 || stat(name, &b) != 0) return 0;
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

static long long limit(void) {
  const char* v = getenv("MARLO_EIO_AFTER");
  return v ? atoll(v) : 0;
}

/* How many of n bytes at offset may still be read; -1 when none. */
static long long allowed(long long offset, size_t n) {
  long long left = limit() - offset;
  if (left <= 0) return -1;
  return (long long)n < left ? (long long)n : left;
}

/* Whether the pass a read at this offset belongs to may fail. */
static int failingPass(long long offset) {
  static int passes = 0;
  const char* v = getenv("MARLO_EIO_PASS");
  if (offset == 0) ++passes;
  return !v || passes >= atoi(v);
}

size_t fread(void* buf, size_t size, size_t count, FILE* fp) {
  static size_t (*real)(void*, size_t, size_t, FILE*);
  if (!real) real = (size_t(*)(void*, size_t, size_t, FILE*))dlsym(RTLD_NEXT, "fread");
  if (size == 0 || !targetFd(fileno(fp))) return real(buf, size, count, fp);
  const long long at = ftello(fp);
  if (!failingPass(at)) return real(buf, size, count, fp);
  long long ok = allowed(at, size * count);
  if (ok == (long long)(size * count)) return real(buf, size, count, fp);
  size_t got = ok > 0 ? real(buf, 1, (size_t)ok, fp) : 0;
  fp->_flags |= _IO_ERR_SEEN;
  errno = EIO;
  return got / size;
}

char* fgets(char* s, int n, FILE* fp) {
  static char* (*real)(char*, int, FILE*);
  if (!real) real = (char* (*)(char*, int, FILE*))dlsym(RTLD_NEXT, "fgets");
  if (n > 1 && targetFd(fileno(fp)) && allowed(ftello(fp), (size_t)n) != n) {
    fp->_flags |= _IO_ERR_SEEN;
    errno = EIO;
    return NULL;
  }
  return real(s, n, fp);
}

ssize_t getline(char** line, size_t* cap, FILE* fp) {
  static ssize_t (*real)(char**, size_t*, FILE*);
  if (!real) real = (ssize_t(*)(char**, size_t*, FILE*))dlsym(RTLD_NEXT, "getline");
  if (targetFd(fileno(fp)) && allowed(ftello(fp), 1) < 0) {
    fp->_flags |= _IO_ERR_SEEN;
    errno = EIO;
    return -1;
  }
  return real(line, cap, fp);
}

ssize_t read(int fd, void* buf, size_t n) {
  static ssize_t (*real)(int, void*, size_t);
  if (!real) real = (ssize_t(*)(int, void*, size_t))dlsym(RTLD_NEXT, "read");
  if (n > 0 && targetFd(fd)) {
    long long ok = allowed(lseek(fd, 0, SEEK_CUR), n);
    if (ok < 0) {
      errno = EIO;
      return -1;
    }
    n = (size_t)ok;
  }
  return real(fd, buf, n);
}

ssize_t pread(int fd, void* buf, size_t n, off_t offset) {
  static ssize_t (*real)(int, void*, size_t, off_t);
  if (!real) real = (ssize_t(*)(int, void*, size_t, off_t))dlsym(RTLD_NEXT, "pread");
  if (n > 0 && targetFd(fd)) {
    long long ok = allowed(offset, n);
    if (ok < 0) {
      errno = EIO;
      return -1;
    }
    n = (size_t)ok;
  }
  return real(fd, buf, n, offset);
}
