#include "hwe/FileLoop.h"

#include <string>

#include "common_sgt/ErrorReport.h"
#include "common_sgt/FileUtil.h"

FileLoop::FileLoop(const char* fileName) {
  if (fileName) m_stream = fopen(fileName, "r");
}

FileLoop::~FileLoop() {
  if (m_stream) fclose(m_stream);
}

void FileLoop::loop(Handler& handler) {
  if (!m_stream) {
    NULL_REPORT();
    return;
  }
  std::string line;
  int capacity = 512;
  while (readLine(line, capacity, m_stream)) handler.onLine(m_stream, line.c_str());
}
