#include "xtab/ProgramSupport.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "common_sgt/ErrorReport.h"
#include "common_sgt/FileIdentity.h"
#include "common_sgt/LineReader.h"
#include "common_sgt/NumberParse.h"
#include "common_sgt/SafeFiles.h"

namespace xtab {

int usageError(const char* program, const char* usage, const char* message, const char* value) {
  if (value)
    printf("%s: %s: '%s'\n", program, message, value);
  else
    printf("%s: %s\n", program, message);
  fputs(usage, stdout);
  fflush(stdout);
  fprintf(stderr, "#error=%s\n", message);
  fflush(stderr);
  return 2;
}

bool openInputAndReport(LineReader& in, const std::string& input, const std::string& report,
                        const ReportTexts& texts, ResultFile& out) {
  if (!in.open(input.c_str())) {
    fprintf(stderr, "%s\n", texts.readError);
    printSystemErrorFor(input.c_str());
    return false;
  }
  if (sameExistingFile(input.c_str(), report.c_str())) {
    fprintf(stderr, "%s\n", texts.writeError);
    fprintf(stderr, "%s: %s\n", report.c_str(), texts.overwrite);
    return false;
  }
  if (!out.open(report)) {
    fprintf(stderr, "%s\n", texts.writeError);
    fprintf(stderr, "%s: %s\n", report.c_str(), out.why().c_str());
    return false;
  }
  return true;
}

bool closeReport(ResultFile& out, const ReportTexts& texts) {
  if (out.commit()) return true;
  fprintf(stderr, "%s\n", texts.writeError);
  fprintf(stderr, "%s: %s\n", out.name().c_str(), out.why().c_str());
  return false;
}

void discardReport(ResultFile& out) { out.discard(); }

bool baseNameHasDot(std::string_view path) {
  size_t slash = path.rfind('/');
  std::string_view base = slash == std::string_view::npos ? path : path.substr(slash + 1);
  return base.find('.') != std::string_view::npos;
}

std::string crossTabOutputName(std::string_view input, std::string_view kind, std::string_view code) {
  size_t slash = input.rfind('/');
  std::string_view dir = slash == std::string_view::npos ? std::string_view() : input.substr(0, slash + 1);
  std::string_view base = slash == std::string_view::npos ? input : input.substr(slash + 1);
  size_t first = base.find('.');
  std::string_view head = base.substr(0, first);
  std::string_view second;
  if (first != std::string_view::npos) {
    std::string_view rest = base.substr(first + 1);
    second = rest.substr(0, rest.find('.'));
  }
  std::string name(dir);
  name.append(head).append(".").append(second).append(kind).append(".").append(code).append(".tmp");
  return name;
}

}  // namespace xtab
