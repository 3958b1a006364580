#pragma once
#include <stdexcept>
#include <string>
#include <string_view>

// A result file that cannot be drawn: the readers throw it and the program
// prints it and ends with status 1. The message names the file and, where
// there is one, the line.
namespace plot {

class InputError : public std::runtime_error {
 public:
  explicit InputError(const std::string& message) : std::runtime_error(message) {}
};

// "<file>, line <n>: <problem>"
[[noreturn]] void throwAtLine(const std::string& file, long long line, const std::string& problem);
// "<file>: <problem>"
[[noreturn]] void throwForFile(const std::string& file, const std::string& problem);
// "<file>: cannot <what>: <system error text>" for errno.
[[noreturn]] void throwSystem(const std::string& file, const char* what, int errnum);

// Whole-field numbers. Decimal only, as in every reader of the suite: no
// "nan", "inf" or hexadecimal, no blanks, nothing after the number.
bool parseLong(std::string_view text, long long& value);
bool parseDouble(std::string_view text, double& value);

}  // namespace plot
