#include "marloplot/Commands.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <cstdio>
#include <cstring>

#include "plot/InputError.h"

#ifndef MARLO_SUITE_VERSION
#define MARLO_SUITE_VERSION "unknown"
#endif

namespace marloplot {

namespace {

struct Command {
  const char* name;
  int (*run)(const std::vector<std::string>&);
  const char* help;
};

const Command kCommands[] = {
    {"ld", runLd, "LD triangle heatmap of a pairwise LD report (.pwld), blocks outlined"},
    {"manhattan", runManhattan, "-log10(p) of association reports along the chromosomes"},
    {"qq", runQq, "observed against expected -log10(p), 95% band and inflation factor lambda"},
};

void printTopHelp(FILE* to) {
  std::fprintf(to,
               "Usage: marloplot COMMAND ARGUMENTS... --out FILE.png|.svg|.pdf\n"
               "Pictures of the marlo suite's result files.\n\nCommands:\n");
  for (const Command& c : kCommands) std::fprintf(to, "  %-10s %s\n", c.name, c.help);
  std::fprintf(to,
               "\n'marloplot COMMAND --help' lists the options of a command.\n"
               "  --help     this text\n  --version  the suite version\n");
}

}  // namespace

bool ParsedArgs::has(const std::string& name) const {
  for (const auto& [n, v] : options) {
    if (n == name) return true;
  }
  return false;
}

std::string ParsedArgs::value(const std::string& name, const std::string& fallback) const {
  std::string result = fallback;
  for (const auto& [n, v] : options) {
    if (n == name && !v.empty()) result = v.back();
  }
  return result;
}

std::vector<std::string> ParsedArgs::list(const std::string& name) const {
  std::vector<std::string> result;
  for (const auto& [n, v] : options) {
    if (n == name) result.insert(result.end(), v.begin(), v.end());
  }
  return result;
}

ParsedArgs parseArgs(const std::vector<std::string>& args, const std::vector<OptionSpec>& specs) {
  ParsedArgs parsed;
  bool optionsEnded = false;
  for (size_t k = 0; k < args.size(); ++k) {
    const std::string& arg = args[k];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      parsed.positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "-h") {
      parsed.options.push_back({"help", {}});
      continue;
    }
    if (arg[1] != '-') throw UsageError("unrecognised option '" + arg + "'");
    size_t eq = arg.find('=');
    std::string name = arg.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
    const OptionSpec* match = nullptr;
    int prefixMatches = 0;
    for (const OptionSpec& s : specs) {
      if (name == s.name) {
        match = &s;
        prefixMatches = 1;
        break;
      }
      if (!name.empty() && std::strncmp(s.name, name.c_str(), name.size()) == 0) {
        match = &s;
        ++prefixMatches;
      }
    }
    if (!match) throw UsageError("unrecognised option '--" + name + "'");
    if (prefixMatches > 1) throw UsageError("option '--" + name + "' is ambiguous");
    std::vector<std::string> values;
    if (match->kind == OptionSpec::kFlag) {
      if (eq != std::string::npos) throw UsageError("option '--" + std::string(match->name) + "' takes no value");
    } else {
      if (eq != std::string::npos) {
        values.push_back(arg.substr(eq + 1));
      } else {
        if (k + 1 >= args.size()) throw UsageError("option '--" + std::string(match->name) + "' needs a value");
        values.push_back(args[++k]);
      }
      if (match->kind == OptionSpec::kList) {
        while (k + 1 < args.size() && !(args[k + 1].size() > 1 && args[k + 1][0] == '-')) values.push_back(args[++k]);
      }
    }
    parsed.options.push_back({match->name, values});
  }
  return parsed;
}

double numberOption(const ParsedArgs& a, const std::string& name, double fallback, double low, double high) {
  if (!a.has(name)) return fallback;
  std::string text = a.value(name);
  double v = 0;
  if (!plot::parseDouble(text, v) || v < low || v > high) {
    char range[128];
    std::snprintf(range, sizeof range, "%g to %g", low, high);
    throw UsageError("--" + name + " '" + text + "' is not a number from " + range);
  }
  return v;
}

int run(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  int status = kExitUsage;
  if (args.empty()) {
    printTopHelp(stderr);
  } else if (args[0] == "--help" || args[0] == "-h") {
    printTopHelp(stdout);
    status = 0;
  } else if (args[0] == "--version") {
    std::printf("marloplot (marlo suite) %s\n", MARLO_SUITE_VERSION);
    status = 0;
  } else {
    const Command* command = nullptr;
    for (const Command& c : kCommands) {
      if (args[0] == c.name) command = &c;
    }
    if (!command) {
      std::fprintf(stderr, "marloplot: unknown command '%s'\n", args[0].c_str());
      printTopHelp(stderr);
    } else {
      status = command->run(std::vector<std::string>(args.begin() + 1, args.end()));
    }
  }
  // Cairo's and fontconfig's caches would otherwise be reported as leaks by
  // the sanitizer build.
  cairo_debug_reset_static_data();
  FcFini();
  std::fflush(stdout);
  return status;
}

}  // namespace marloplot
