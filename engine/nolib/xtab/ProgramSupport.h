#pragma once
#include <cstdio>
#include <string>
#include <string_view>

class LineReader;
class ResultFile;

// Argument checks, result-file naming and report-file handling shared by the
// association programs (snpxtab, hapxtab, qvalcalc).
namespace xtab {

// Prints "<program>: message" (with ": 'value'" when value is given) and the
// usage text on standard output, then "#error=message" on standard error.
// Returns the usage-error exit status, 2.
int usageError(const char* program, const char* usage, const char* message, const char* value);

// The program's own texts for a report that cannot be opened or written.
struct ReportTexts {
  const char* readError;   // the "#error=" line when the input cannot be read
  const char* writeError;  // the "#error=" line when the report cannot be written
  const char* overwrite;   // why the report may not replace the input, after "<report>: "
};

// Opens the input for reading and then the report for writing, refusing a
// report that is the input itself. The report is written under a temporary
// name in its folder and takes its name only in closeReport, so a failed run
// leaves none and an earlier report stays as it was. On failure prints the
// texts' error line and the reason on standard error and returns false (exit
// status 1).
bool openInputAndReport(LineReader& in, const std::string& input, const std::string& report,
                        const ReportTexts& texts, ResultFile& out);

// Checks every write, closes the report and gives it its name; on a failure
// prints the texts' error line and the reason on standard error, removes
// the temporary file and returns false (exit status 1).
bool closeReport(ResultFile& out, const ReportTexts& texts);

// Removes a report cut short: it is no result and must not stay behind.
// Nothing happens when no report is open.
void discardReport(ResultFile& out);

// Whether the file's base name (after the last "/") holds a ".".
bool baseNameHasDot(std::string_view path);

// The result name of a cross-tabulation: within the base name, the text up to
// the first ".", ".", the text between the first and the second ".", then
// kind (".snp.crss" or ".hap.crss"), ".", code and ".tmp"; placed in the
// input's directory.
std::string crossTabOutputName(std::string_view input, std::string_view kind, std::string_view code);

}  // namespace xtab
