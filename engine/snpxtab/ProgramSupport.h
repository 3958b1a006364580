#pragma once
#include <string>
#include <string_view>

// Argument checks and result-file naming shared by the cross-tabulation
// programs.
namespace xtab {

// Whether the file's base name (after the last "/") holds a ".".
bool baseNameHasDot(std::string_view path);

// The result name of a cross-tabulation: within the base name, the text up to
// the first ".", ".", the text between the first and the second ".", then
// kind (".snp.crss" or ".hap.crss"), ".", code and ".tmp"; placed in the
// input's directory.
std::string crossTabOutputName(std::string_view input, std::string_view kind, std::string_view code);

}  // namespace xtab
