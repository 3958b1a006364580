#pragma once
#include <stdexcept>
#include <string>

namespace genoio {

// Every reader and writer of this library reports bad input and failing
// system calls by throwing Error; the text is complete (it names the file
// and, where known, the line or variant) so the program prints it as is.
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// "<file>: <system error text>" for the current errno.
std::string systemMessage(const std::string& file, const std::string& what);

}  // namespace genoio
