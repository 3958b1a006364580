#include "genoio/PendingFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "genoio/Error.h"

namespace genoio {

std::string systemMessage(const std::string& file, const std::string& what) {
  return file + ": " + what + ": " + strerror(errno);
}

namespace {

// Names of the temporary files not yet committed, for the signal handler:
// fixed slots, so that the handler never touches the heap. A run with more
// pending files than slots (thousands of contigs) still cleans up on every
// normal path; only an interrupt may leave the excess behind.
constexpr int kSlots = 8192;
std::atomic<char*> g_slots[kSlots];

int registerName(const std::string& name) {
  char* copy = strdup(name.c_str());
  if (!copy) return -1;
  for (int i = 0; i < kSlots; ++i) {
    char* expected = nullptr;
    if (g_slots[i].compare_exchange_strong(expected, copy)) return i;
  }
  free(copy);
  return -1;
}

void unregisterName(int slot) {
  if (slot < 0) return;
  free(g_slots[slot].exchange(nullptr));
}

mode_t creationMode() {
  static const mode_t mode = [] {
    mode_t mask = umask(0);
    umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
  }();
  return mode;
}

}  // namespace

void removePendingFilesForSignal() {
  for (int i = 0; i < kSlots; ++i) {
    char* p = g_slots[i].load();
    if (p) unlink(p);
  }
}

PendingFile::PendingFile(std::string finalName) : m_final(std::move(finalName)) {}

PendingFile::~PendingFile() { discard(); }

void PendingFile::create(bool openStream) {
  discard();
  std::string pattern = m_final + ".tmp.XXXXXX";
  int fd = mkstemp(pattern.data());
  if (fd < 0) throw Error(systemMessage(m_final, "cannot create a temporary file beside it"));
  m_temp = pattern;
  m_live = true;
  m_slot = registerName(m_temp);
  if (fchmod(fd, creationMode()) != 0) {
    // Only the permissions are off; the content is still right.
  }
  if (!openStream) {
    close(fd);
    return;
  }
  m_fp = fdopen(fd, "w");
  if (!m_fp) {
    int saved = errno;
    close(fd);
    errno = saved;
    throw Error(systemMessage(m_temp, "cannot open for writing"));
  }
}

void PendingFile::commit() {
  if (!m_live) throw Error(m_final + ": nothing to commit");
  if (m_fp) {
    bool ok = !ferror(m_fp);
    errno = EIO;
    ok = fflush(m_fp) == 0 && ok;
    int saved = errno;
    ok = fclose(m_fp) == 0 && ok;
    if (!ok && errno == 0) errno = saved;
    m_fp = nullptr;
    if (!ok) {
      std::string message = systemMessage(m_temp, "write failed");
      discard();
      throw Error(message);
    }
  }
  if (rename(m_temp.c_str(), m_final.c_str()) != 0) {
    std::string message = systemMessage(m_final, "cannot rename " + m_temp + " to it");
    discard();
    throw Error(message);
  }
  unregisterName(m_slot);
    m_slot = -1;
  m_live = false;
}

void PendingFile::discard() {
  if (m_fp) {
    fclose(m_fp);
    m_fp = nullptr;
  }
  if (m_live) {
    unlink(m_temp.c_str());
    unregisterName(m_slot);
    m_slot = -1;
    m_live = false;
  }
}

}  // namespace genoio
