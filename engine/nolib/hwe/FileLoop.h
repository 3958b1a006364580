#pragma once
#include <cstdio>

// Walks the lines of a file and hands each one to a handler.
class FileLoop {
 public:
  class Handler {
   public:
    virtual ~Handler() = default;
    virtual bool onLine(FILE* stream, const char* line) = 0;
  };

  explicit FileLoop(const char* fileName);
  virtual ~FileLoop();
  void loop(Handler& handler);
  bool isOpen() const { return m_stream != nullptr; }

 private:
  FILE* m_stream = nullptr;
};
