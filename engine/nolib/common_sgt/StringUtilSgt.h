#pragma once
#include <cstddef>
#include <string>

// Text-copy and field helpers over caller-owned texts.
class StringUtilSgt {
 public:
  class FieldHandler {
   public:
    virtual ~FieldHandler() = default;
    virtual bool onField(const char* wholeText, const char* piece) = 0;
  };

  virtual ~StringUtilSgt() = default;

  bool copy(std::string& destination, const char* source) const;
  bool copyN(std::string& destination, const char* source, size_t n) const;
  // Position just after the n-th occurrence of the delimiter text; after the
  // last occurrence when there are fewer; the start when there is none.
  const char* skipFields(const char* text, const char* delimiter, int n) const;
  // Calls the handler once per piece between delimiters, empty pieces included.
  bool forEachField(const char* text, const char* delimiter, FieldHandler& handler) const;
};
