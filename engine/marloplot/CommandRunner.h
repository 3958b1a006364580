#pragma once
#include <functional>
#include <string>
#include <vector>

#include "marloplot/Commands.h"
#include "marloplot/Output.h"

namespace marloplot {

struct CommandInfo {
  const char* name;
  const char* usage;  // after "marloplot NAME "
  const char* help;   // option lines
  std::vector<OptionSpec> specs;  // besides --out, --width, --height, --title, --help
  double defaultWidth, defaultHeight;
};

// Parses the shared options, prints the help, and turns the errors of body
// into messages and exit statuses.
int runCommand(const CommandInfo& info, const std::vector<std::string>& args,
               const std::function<int(const ParsedArgs&, const PictureOptions&)>& body);

}  // namespace marloplot
