#include "marloplot/Output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "plot/InputError.h"

namespace marloplot {

PendingOutput::PendingOutput(const std::string& path, const std::vector<std::string>& inputs) : m_path(path) {
  struct stat out;
  if (::stat(path.c_str(), &out) == 0) {
    for (const std::string& in : inputs) {
      struct stat st;
      if (in == path || (::stat(in.c_str(), &st) == 0 && st.st_dev == out.st_dev && st.st_ino == out.st_ino)) {
        plot::throwForFile(path, "is an input of this picture; refusing to overwrite it");
      }
    }
  }
  size_t slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string pattern = dir + "." + base + ".part-XXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  int fd = ::mkstemp(buf.data());
  if (fd < 0) plot::throwSystem(path, "create a file in its folder", errno);
  // mkstemp makes the file private; a picture gets the usual permissions.
  mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  ::close(fd);
  m_temp = buf.data();
}

PendingOutput::~PendingOutput() {
  if (!m_done && !m_temp.empty()) ::unlink(m_temp.c_str());
}

void PendingOutput::commit() {
  if (::rename(m_temp.c_str(), m_path.c_str()) != 0) plot::throwSystem(m_path, "put the finished picture in place", errno);
  m_done = true;
}

}  // namespace marloplot
