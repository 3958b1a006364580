#pragma once
#include <string>
#include <string_view>

// Argument checks and result-file naming shared by the cross-tabulation
// programs.
namespace xtab {

// An integer argument: optional sign and digits, nothing else, within int.
bool parseIntegerArg(const char* text, int& value);
// A decimal argument: optional sign, digits with an optional fraction and an
// optional exponent, nothing else, finite.
bool parseDecimalArg(const char* text, double& value);

// Whether the file's base name (after the last "/") holds a ".".
bool baseNameHasDot(std::string_view path);

// The result name of a cross-tabulation: within the base name, the text up to
// the first ".", ".", the text between the first and the second ".", then
// kind (".snp.crss" or ".hap.crss"), ".", code and ".tmp"; placed in the
// input's directory.
std::string crossTabOutputName(std::string_view input, std::string_view kind, std::string_view code);

// Whether both names refer to one existing file.
bool sameFile(const char* a, const char* b);

// "<name>: <system error text>\n" on standard error for the current errno.
void printSystemError(const char* name);

}  // namespace xtab
