#include <gtest/gtest.h>

#include "marloplot/Commands.h"

namespace {

using marloplot::OptionSpec;
using marloplot::parseArgs;
using marloplot::UsageError;

const std::vector<OptionSpec> kSpecs{{"geno", OptionSpec::kList},   {"fdr", OptionSpec::kList},
                                     {"out", OptionSpec::kValue},   {"title", OptionSpec::kValue},
                                     {"top", OptionSpec::kValue},   {"type", OptionSpec::kValue},
                                     {"help", OptionSpec::kFlag}};

std::string errorOf(const std::vector<std::string>& args) {
  try {
    parseArgs(args, kSpecs);
  } catch (const UsageError& e) {
    return e.what();
  }
  return "";
}

TEST(Options, ListsValuesAbbreviationsAndTheEndMarker) {
  auto a = parseArgs({"r1", "r2", "--geno", "g1", "g2", "--out=x.png", "--ti", "-x-", "--", "--fdr"}, kSpecs);
  EXPECT_EQ(a.positional, (std::vector<std::string>{"r1", "r2", "--fdr"}));
  EXPECT_EQ(a.list("geno"), (std::vector<std::string>{"g1", "g2"}));
  EXPECT_EQ(a.value("out"), "x.png");
  EXPECT_EQ(a.value("title"), "-x-");  // a value may start with a dash
  // A list stops at the next option; repeating it adds to it; the last
  // single value wins.
  auto b = parseArgs({"--geno", "g1", "--out", "a.png", "r1", "--geno=g2", "--out", "b.svg", "-"}, kSpecs);
  EXPECT_EQ(b.list("geno"), (std::vector<std::string>{"g1", "g2"}));
  EXPECT_EQ(b.positional, (std::vector<std::string>{"r1", "-"}));
  EXPECT_EQ(b.value("out"), "b.svg");
  EXPECT_TRUE(parseArgs({"-h"}, kSpecs).has("help"));
}

// An unknown option is refused in the marloplot usage_errors case.
TEST(Options, Refusals) {
  EXPECT_EQ(errorOf({"--t", "x"}), "option '--t' is ambiguous");  // title, top, type
  EXPECT_EQ(errorOf({"--out"}), "option '--out' needs a value");
  EXPECT_EQ(errorOf({"--help=yes"}), "option '--help' takes no value");
  EXPECT_EQ(errorOf({"-o", "x"}), "unrecognised option '-o'");  // no short forms but -h
}

}  // namespace
