#pragma once
#include <string>

// The engine's own exception: raised only by Vector for an index out of
// bounds. Constructing it prints " Exception : <message>\n".
class Exception {
 public:
  explicit Exception(const char* message);
  virtual ~Exception();
  const char* message() const { return m_message.c_str(); }

 private:
  std::string m_message;
};
