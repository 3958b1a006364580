#include <algorithm>
#include <cstdio>

#include "marloplot/CommandRunner.h"
#include "plot/GenoIndex.h"
#include "plot/InputError.h"
#include "plot/LdPlot.h"

namespace marloplot {

namespace {

// One picture shows at most this many SNPs: beyond it the diamonds are
// thinner than a pixel at any usual width.
constexpr long long kMaxSnpsInView = 1500;

const CommandInfo kLd{
    "ld",
    "FILE.pwld --out FILE [--blocks FILE.ld.hblk] [--type T] [--stat dprime|r2]\n"
    "       [--from ID --to ID | --region START-END] [--geno FILE]",
    "The LD triangle of one sample type's section of a pairwise LD report: one\n"
    "diamond per SNP pair, pairs absent from the report as gaps.\n"
    "  --blocks FILE      outline the blocks of this block report (same sample type)\n"
    "  --type T           sample type section (default M, or the file's only type)\n"
    "  --stat S           dprime (default): |D'| coloured by LOD; r2: white to black\n"
    "  --from ID --to ID  the SNPs from marker ID to marker ID\n"
    "  --region S-E       the SNPs at positions S to E (bases)\n"
    "  --geno FILE        genotype file with the marker names and positions\n"
    "                     (default: the report's name without .pwld)\n"
    "At most 1500 SNPs in view.\n",
    {{"blocks", OptionSpec::kValue},
     {"type", OptionSpec::kValue},
     {"stat", OptionSpec::kValue},
     {"from", OptionSpec::kValue},
     {"to", OptionSpec::kValue},
     {"region", OptionSpec::kValue},
     {"geno", OptionSpec::kValue}},
    1000,
    0};

long long findMarker(const plot::GenoIndex& geno, const std::string& id, const std::string& path) {
  auto it = std::find(geno.ids.begin(), geno.ids.end(), id);
  if (it == geno.ids.end()) plot::throwForFile(path, "no marker \"" + id + "\"");
  return it - geno.ids.begin();
}

int drawLdCommand(const ParsedArgs& a, const PictureOptions& pic) {
  if (a.positional.size() != 1) throw UsageError("expected one pairwise LD report, got " + std::to_string(a.positional.size()) + " arguments");
  const std::string pwld = a.positional[0];
  std::string stat = a.value("stat", "dprime");
  if (stat != "dprime" && stat != "r2") throw UsageError("--stat must be dprime or r2, not '" + stat + "'");
  bool fromTo = a.has("from") || a.has("to");
  if (fromTo && !(a.has("from") && a.has("to"))) throw UsageError("--from and --to go together");
  if (fromTo && a.has("region")) throw UsageError("--region and --from/--to exclude each other");
  long long regionStart = 0, regionEnd = 0;
  if (a.has("region")) {
    std::string r = a.value("region");
    size_t dash = r.find('-', 1);
    if (dash == std::string::npos || !plot::parseLong(r.substr(0, dash), regionStart) ||
        !plot::parseLong(r.substr(dash + 1), regionEnd) || regionStart > regionEnd) {
      throw UsageError("--region '" + r + "' is not START-END with whole numbers START <= END");
    }
  }
  std::string genoPath = a.value("geno");
  if (genoPath.empty()) {
    if (pwld.size() <= 5 || pwld.compare(pwld.size() - 5, 5, ".pwld") != 0) {
      throw UsageError("'" + pwld + "' does not end in .pwld; name its genotype file with --geno");
    }
    genoPath = pwld.substr(0, pwld.size() - 5);
  }

  plot::GenoIndex geno = plot::GenoIndex::read(genoPath);
  long long snpCount = static_cast<long long>(geno.ids.size());
  if (snpCount < 2) plot::throwForFile(genoPath, "fewer than two SNPs; no pair to draw");
  long long first = 0, last = snpCount - 1;
  if (fromTo) {
    first = findMarker(geno, a.value("from"), genoPath);
    last = findMarker(geno, a.value("to"), genoPath);
    if (first > last) std::swap(first, last);
  } else if (a.has("region")) {
    first = -1;
    for (long long k = 0; k < snpCount; ++k) {
      if (geno.positions[k] < regionStart || geno.positions[k] > regionEnd) continue;
      if (first < 0) first = k;
      last = k;
    }
    if (first < 0) plot::throwForFile(genoPath, "no SNP at positions " + a.value("region"));
  }
  long long inView = last - first + 1;
  if (inView > kMaxSnpsInView) {
    throw UsageError(std::to_string(inView) + " SNPs in view, more than the " + std::to_string(kMaxSnpsInView) +
                     " one picture can show; choose fewer with --region START-END (or --from ID --to ID)");
  }
  if (inView < 2) throw UsageError("one SNP in view; a pair needs two");

  plot::LdWindow window = plot::readPwldWindow(pwld, a.value("type"), first, last, snpCount);
  plot::LdPicture picture;
  picture.window = &window;
  picture.names.assign(geno.ids.begin() + first, geno.ids.begin() + last + 1);
  picture.positions.assign(geno.positions.begin() + first, geno.positions.begin() + last + 1);
  picture.r2 = stat == "r2";
  picture.chromosome = geno.chromosome;
  std::vector<std::string> inputs{pwld, genoPath};
  if (a.has("blocks")) {
    std::string blocksPath = a.value("blocks");
    inputs.push_back(blocksPath);
    plot::BlockReport report = plot::readBlocks(blocksPath, window.type);
    for (const plot::LdBlock& b : report.blocks) {
      for (size_t k = 0; k < b.snps.size(); ++k) {
        if (b.snps[k] >= snpCount || (k < b.ids.size() && b.ids[k] != geno.ids[b.snps[k]])) {
          plot::throwAtLine(blocksPath, b.line,
                            "block " + std::to_string(b.number) + " names SNP " + std::to_string(b.snps[k] + 1) +
                                (k < b.ids.size() ? " (" + b.ids[k] + ")" : "") + ", which " + genoPath +
                                " does not hold under that name; is it the block report of this genotype file?");
        }
      }
      if (b.snps.back() >= first && b.snps.front() <= last) picture.blocks.push_back(b);
    }
  }
  if (pic.titleGiven) {
    picture.title = pic.title;
  } else {
    size_t slash = pwld.rfind('/');
    picture.title = (slash == std::string::npos ? pwld : pwld.substr(slash + 1)) + ": " +
                    (picture.r2 ? "r2" : "|D'|") + ", sample type " + window.type + ", SNPs " +
                    std::to_string(first + 1) + "-" + std::to_string(last + 1);
  }

  plot::LdLayout layout = plot::layoutLd(picture, pic.width, pic.height);
  PendingOutput output(pic.out, inputs);
  plot::LdDrawn drawn;
  {
    plot::Canvas canvas(output.tempPath(), pic.out, pic.format, layout.width, layout.height);
    drawn = plot::drawLd(canvas, picture, layout);
    canvas.finish();
  }
  output.commit();
  std::printf("ld: %s sample type %s, SNPs %lld-%lld (%lld in view), %lld pairs drawn, %lld absent, %lld blocks outlined\n",
              pwld.c_str(), window.type.c_str(), first + 1, last + 1, inView, drawn.diamonds, drawn.absent,
              drawn.blocks);
  std::printf("wrote %s\n", pic.out.c_str());
  return 0;
}

}  // namespace

int runLd(const std::vector<std::string>& args) { return runCommand(kLd, args, drawLdCommand); }

}  // namespace marloplot
