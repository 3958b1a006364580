#pragma once
#include <string>

// A growable text.
class StringSgt {
 public:
  explicit StringSgt(const char* text);
  virtual ~StringSgt();
  bool append(const char* text);
  void assign(const char* text);
  const char* c_str() const { return m_text.c_str(); }
  int length() const { return static_cast<int>(m_text.size()); }

 private:
  std::string m_text;
};
