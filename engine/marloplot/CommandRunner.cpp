#include "marloplot/CommandRunner.h"

#include <cstdio>
#include <new>

#include "plot/InputError.h"

namespace marloplot {

int runCommand(const CommandInfo& info, const std::vector<std::string>& args,
               const std::function<int(const ParsedArgs&, const PictureOptions&)>& body) {
  std::vector<OptionSpec> specs = info.specs;
  for (OptionSpec s : {OptionSpec{"out", OptionSpec::kValue}, OptionSpec{"width", OptionSpec::kValue},
                       OptionSpec{"height", OptionSpec::kValue}, OptionSpec{"title", OptionSpec::kValue},
                       OptionSpec{"help", OptionSpec::kFlag}}) {
    specs.push_back(s);
  }
  try {
    ParsedArgs parsed = parseArgs(args, specs);
    if (parsed.has("help")) {
      std::printf("Usage: marloplot %s %s\n%s", info.name, info.usage, info.help);
      std::printf(
          "  --out FILE         the picture; .png (pixels), .svg or .pdf (points) by its suffix\n"
          "  --width N          width in pixels or points (default %g)\n"
          "  --height N         height (default %s)\n"
          "  --title TEXT       title above the picture (empty: none)\n"
          "  --help             this text\n",
          info.defaultWidth, info.defaultHeight > 0 ? std::to_string(static_cast<int>(info.defaultHeight)).c_str()
                                                    : "what the picture needs at that width");
      return 0;
    }
    PictureOptions picture;
    picture.out = parsed.value("out");
    if (picture.out.empty()) throw UsageError("--out FILE is required");
    if (!plot::formatFromName(picture.out, picture.format)) {
      throw UsageError("--out '" + picture.out + "' must end in .png, .svg or .pdf");
    }
    picture.width = numberOption(parsed, "width", info.defaultWidth, 100, 20000);
    picture.height = numberOption(parsed, "height", info.defaultHeight, 100, 20000);
    picture.titleGiven = parsed.has("title");
    picture.title = parsed.value("title");
    return body(parsed, picture);
  } catch (const UsageError& e) {
    std::fprintf(stderr, "marloplot %s: %s\nUsage: marloplot %s %s\nTry 'marloplot %s --help'.\n", info.name, e.what(),
                 info.name, info.usage, info.name);
    return kExitUsage;
  } catch (const plot::InputError& e) {
    std::fprintf(stderr, "marloplot %s: %s\n", info.name, e.what());
    return kExitInput;
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "marloplot %s: not enough memory\n", info.name);
    return kExitInput;
  }
}

}  // namespace marloplot
