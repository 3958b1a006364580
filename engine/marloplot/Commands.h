#pragma once
#include <stdexcept>
#include <string>
#include <vector>

namespace marloplot {

// Exit statuses: 0 drawn, 1 unreadable or malformed input or a failed write,
// 2 a command line that cannot be run.
constexpr int kExitInput = 1;
constexpr int kExitUsage = 2;

int run(int argc, char** argv);

// The command line of one subcommand: GNU long options ("--name value",
// "--name=value", unique abbreviations), "--" ends the options. A list
// option takes every following argument up to the next option.
struct OptionSpec {
  const char* name;
  enum Kind { kFlag, kValue, kList } kind;
};

class UsageError : public std::runtime_error {
 public:
  explicit UsageError(const std::string& m) : std::runtime_error(m) {}
};

struct ParsedArgs {
  std::vector<std::string> positional;
  std::vector<std::pair<std::string, std::vector<std::string>>> options;  // in order given

  bool has(const std::string& name) const;
  // The last value given; fallback when absent.
  std::string value(const std::string& name, const std::string& fallback = "") const;
  std::vector<std::string> list(const std::string& name) const;
};

ParsedArgs parseArgs(const std::vector<std::string>& args, const std::vector<OptionSpec>& specs);

// Whole-text numbers for option values; UsageError naming the option otherwise.
double numberOption(const ParsedArgs& a, const std::string& name, double fallback, double low, double high);

// Subcommands, each called with the arguments after its name.
int runLd(const std::vector<std::string>& args);
int runManhattan(const std::vector<std::string>& args);
int runQq(const std::vector<std::string>& args);

}  // namespace marloplot
