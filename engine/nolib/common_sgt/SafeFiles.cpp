#include "common_sgt/SafeFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common_sgt/FileIdentity.h"

namespace {

const char* kindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a plain file";
}

std::string folderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

mode_t currentUmask() {
  mode_t old = umask(022);
  umask(old);
  return old;
}

}  // namespace

std::string nonRegularKind(const char* path) {
  struct stat st {};
  if (!path || stat(path, &st) != 0) return std::string();
  if (S_ISREG(st.st_mode)) return std::string();
  return kindOf(st.st_mode);
}

bool requireRegularInput(const char* path, const char* who) {
  std::string kind = nonRegularKind(path);
  if (kind.empty()) return true;
  printf("%s: %s is not a regular file (%s); this command reads its input more than once or rewrites it\n", who,
         path, kind.c_str());
  fflush(stdout);
  return false;
}

bool refuseResultsOverInputs(std::initializer_list<std::string> results, std::initializer_list<std::string> inputs,
                             const char* who) {
  for (const std::string& r : results) {
    for (const std::string& i : inputs) {
      if (r.empty() || i.empty()) continue;
      if (r == i || sameExistingFile(r.c_str(), i.c_str())) {
        printf("%s refused: the result file %s is the input file %s; nothing was written\n", who, r.c_str(),
               i.c_str());
        fflush(stdout);
        return false;
      }
    }
  }
  return true;
}

ResultFile::~ResultFile() { discard(); }

bool ResultFile::open(const std::string& finalName, bool readBack) {
  discard();
  m_name = finalName;
  m_target = finalName;
  m_why.clear();
  struct stat st {};
  if (lstat(finalName.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    if (char* real = realpath(finalName.c_str(), nullptr)) {
      m_target = real;
      free(real);
    }
  }
  mode_t mode = 0666 & ~currentUmask();
  if (stat(m_target.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) {
      // A directory gets the text opening it for writing would give.
      m_why = S_ISDIR(st.st_mode) ? strerror(EISDIR)
                                  : std::string("not a regular file (") + kindOf(st.st_mode) + ")";
      errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
      return false;
    }
    mode = st.st_mode & 07777;
  }
  std::vector<char> name(m_target.begin(), m_target.end());
  const char suffix[] = ".tmpXXXXXX";
  name.insert(name.end(), suffix, suffix + sizeof suffix);
  int fd = mkstemp(name.data());
  if (fd < 0) {
    m_why = strerror(errno);
    return false;
  }
  m_temp = name.data();
  fchmod(fd, mode);
  m_fp = fdopen(fd, readBack ? "w+" : "w");
  if (!m_fp) {
    int err = errno;
    m_why = strerror(err);
    ::close(fd);
    unlink(m_temp.c_str());
    m_temp.clear();
    errno = err;
    return false;
  }
  return true;
}

bool ResultFile::commit(bool durable) {
  if (!m_fp) {
    if (m_why.empty()) m_why = "not open";
    return false;
  }
  int err = 0;
  if (ferror(m_fp)) err = errno != 0 ? errno : EIO;
  if (fflush(m_fp) != 0 && err == 0) err = errno;
  if (durable && err == 0 && fsync(fileno(m_fp)) != 0 && errno != EINVAL && errno != EROFS) err = errno;
  if (fclose(m_fp) != 0 && err == 0) err = errno;
  m_fp = nullptr;
  if (err == 0 && rename(m_temp.c_str(), m_target.c_str()) != 0) err = errno;
  if (err != 0) {
    m_why = strerror(err);
    unlink(m_temp.c_str());
    m_temp.clear();
    errno = err;
    return false;
  }
  m_temp.clear();
  if (durable) {
    int dir = ::open(folderOf(m_target).c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
      fsync(dir);
      ::close(dir);
    }
  }
  return true;
}

void ResultFile::discard() {
  if (m_fp) {
    fclose(m_fp);
    m_fp = nullptr;
  }
  if (!m_temp.empty()) {
    unlink(m_temp.c_str());
    m_temp.clear();
  }
}

bool streamWriteFailed(FILE* fp) { return fp && (fflush(fp) != 0 || ferror(fp) != 0); }
