#include "snpxtab/ProgramSupport.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "common_sgt/NumberParse.h"

namespace xtab {

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
