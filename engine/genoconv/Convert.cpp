#include "genoconv/Convert.h"

#include <unistd.h>

#include <chrono>
#include <climits>
#include <map>
#include <memory>
#include <unordered_map>
#include <vector>

#include "common_sgt/FileIdentity.h"
#include "genoio/BedReader.h"
#include "genoio/Error.h"
#include "genoio/GenoWriter.h"
#include "genoio/VcfExport.h"
#include "genoio/VcfReader.h"

namespace genoconv {

using genoio::Error;

namespace {

constexpr size_t kNamesShown = 5;

std::string listNames(const std::vector<std::string>& names, size_t total, size_t shown) {
  std::string text;
  for (size_t i = 0; i < names.size() && i < shown; ++i) {
    if (i) text += ", ";
    text += names[i];
  }
  if (total > shown) text += ", ... (" + std::to_string(total - shown) + " more)";
  return text;
}

// A terminal progress bar; silent when standard error is not a terminal,
// so logs and pipes get only the summary.
class Progress {
 public:
  explicit Progress(FILE* log) : m_log(log), m_enabled(isatty(fileno(log)) != 0) {
    m_start = m_last = std::chrono::steady_clock::now();
  }
  void update(long long variants, double fraction) {
    if (!m_enabled || (variants & 4095) != 0) return;
    auto now = std::chrono::steady_clock::now();
    if (now - m_start < std::chrono::seconds(1) || now - m_last < std::chrono::milliseconds(200)) return;
    m_last = now;
    m_drawn = true;
    if (fraction >= 0) {
      int filled = static_cast<int>(fraction * 30);
      std::string bar(filled, '#');
      bar.resize(30, '.');
      fprintf(m_log, "\rgenoconv: [%s] %3d%%  %lld variants", bar.c_str(), static_cast<int>(fraction * 100), variants);
    } else {
      fprintf(m_log, "\rgenoconv: %lld variants", variants);
    }
    fflush(m_log);
  }
  void finish() {
    if (m_drawn) fputs("\r\033[K", m_log);
  }

 private:
  FILE* m_log;
  bool m_enabled;
  bool m_drawn = false;
  std::chrono::steady_clock::time_point m_start, m_last;
};

void checkChromName(const std::string& chrom, const std::string& where) {
  if (chrom.empty() || chrom == "." || chrom == ".." || chrom.find('/') != std::string::npos)
    throw Error(where + ": chromosome '" + chrom + "' cannot be part of a file name (--split-chrom)");
}

void printTypes(const genoio::SampleTable& samples, FILE* log) {
  fprintf(log, "genoconv: samples: %zu", samples.ids.size());
  auto counts = genoio::countTypes(samples);
  if (!counts.empty()) {
    fputs(" (types:", log);
    for (size_t i = 0; i < counts.size(); ++i) fprintf(log, "%s %s = %zu", i ? "," : "", counts[i].first.c_str(), counts[i].second);
    fputc(')', log);
  }
  fputc('\n', log);
}

}  // namespace

void convert(const Options& options, FILE* log) {
  std::unique_ptr<genoio::VariantSource> source;
  std::string kind;
  if (!options.vcf.empty()) {
    source = std::make_unique<genoio::VcfReader>(options.vcf, options.threads, options.passOnly);
    kind = "VCF/BCF";
  } else {
    source = std::make_unique<genoio::BedReader>(options.bfile);
    kind = "PLINK fileset";
  }
  genoio::SampleTable samples = source->samples();
  if (!options.types.empty()) {
    genoio::TypesFile types = genoio::TypesFile::read(options.types);
    std::vector<std::string> unknown;
    size_t count = types.apply(samples, unknown, kNamesShown);
    if (count > 0)
      fprintf(log, "genoconv: warning: %s names %zu sample%s not in %s: %s\n", options.types.c_str(), count,
              count == 1 ? "" : "s", source->fileName().c_str(), listNames(unknown, count, kNamesShown).c_str());
  }

  const std::string& input = source->fileName();
  // With an index only the wanted chromosome is read: a genome-wide file
  // converted one chromosome at a time is then not read in full each time.
  const bool jumped = !options.chrom.empty() && source->restrictTo(options.chrom);
  struct Output {
    std::unique_ptr<genoio::GenoWriter> writer;
    long long lastPosition = LLONG_MIN;
  };
  std::vector<std::string> order;  // chromosomes in order of first appearance
  std::unordered_map<std::string, Output> outputs;
  std::unordered_map<std::string, bool> seen;
  auto outputFor = [&](const std::string& chrom) -> Output& {
    auto it = outputs.find(chrom);
    if (it != outputs.end()) return it->second;
    std::string name = options.splitChrom ? options.out + "." + chrom + ".geno" : options.out + ".geno";
    if (sameExistingFile(name.c_str(), input.c_str()))
      throw Error(name + ": the result would overwrite the input");
    Output& out = outputs[chrom];
    out.writer = std::make_unique<genoio::GenoWriter>(name, samples);
    order.push_back(chrom);
    return out;
  };

  std::vector<char> calls(2 * samples.ids.size() + 8);
  genoio::CallCounts counts;
  long long read = 0, written = 0, otherChrom = 0;
  long long skipped[static_cast<int>(genoio::SkipReason::Count)] = {};
  std::string firstChrom, chrom;
  std::vector<std::string> chromsFound;
  bool backwardsWarned = false;
  Progress progress(log);

  while (source->next()) {
    ++read;
    progress.update(read, source->progress());
    std::string_view c = source->chrom();
    if (options.chrom.empty() && !options.splitChrom) {
      if (firstChrom.empty()) {
        firstChrom.assign(c);
        chromsFound.push_back(firstChrom);
      } else if (c != firstChrom) {
        // Several chromosomes: read on only to name them all.
        std::unordered_map<std::string, bool> names{{firstChrom, true}};
        do {
          std::string name(source->chrom());
          if (names.emplace(name, true).second) chromsFound.push_back(name);
        } while (source->next());
        progress.finish();
        throw Error(input + ": holds " + std::to_string(chromsFound.size()) + " chromosomes (" +
                    listNames(chromsFound, chromsFound.size(), 20) +
                    ") but a genotype file holds one: choose one with --chrom NAME or write one file each with --split-chrom");
      }
    } else if (!options.chrom.empty()) {
      if (c != options.chrom) {
        ++otherChrom;
        std::string name(c);
        if (seen.emplace(name, true).second) chromsFound.push_back(name);
        continue;
      }
    }
    chrom.assign(c);
    if (options.splitChrom && !outputs.count(chrom)) checkChromName(chrom, source->where());
    int64_t position = source->position();
    if (position > INT_MAX || position < INT_MIN)
      throw Error(source->where() + ": position " + std::to_string(position) +
                  " does not fit a signed 32-bit integer, the genotype file's position range");
    Output& out = outputFor(chrom);
    genoio::SkipReason reason = source->classify();
    if (reason != genoio::SkipReason::None) {
      ++skipped[static_cast<int>(reason)];
      continue;
    }
    if (position < out.lastPosition && !backwardsWarned) {
      backwardsWarned = true;
      fprintf(log, "genoconv: warning: %s: position goes backwards within chromosome %s; the suite's distance window assumes sorted positions\n",
              source->where().c_str(), chrom.c_str());
    }
    out.lastPosition = position;
    source->genotypes(calls.data(), counts);
    out.writer->write(source->marker(), chrom, static_cast<int32_t>(position), calls.data());
    ++written;
  }
  progress.finish();

  if (!options.chrom.empty() && outputs.empty()) {
    throw Error(input + ": no variant on chromosome " + options.chrom +
                (jumped ? std::string(" (according to its index)")
                 : chromsFound.empty() ? std::string(" (the input has no variant)")
                                     : " (chromosomes found: " + listNames(chromsFound, chromsFound.size(), 20) + ")"));
  }
  if (outputs.empty() && !options.splitChrom) outputFor(options.chrom.empty() ? std::string() : options.chrom);
  for (const std::string& name : order) outputs[name].writer->commit();

  fprintf(log, "genoconv: read %s (%s%s)\n", input.c_str(), kind.c_str(),
          jumped ? ", chromosome found through its index" : "");
  printTypes(samples, log);
  fprintf(log, "genoconv: variants read: %lld\n", read);
  for (const std::string& name : order)
    fprintf(log, "genoconv: variants written: %lld to %s\n", outputs[name].writer->variants(),
            outputs[name].writer->finalName().c_str());
  long long totalSkipped = otherChrom;
  for (long long s : skipped) totalSkipped += s;
  fprintf(log, "genoconv: variants skipped: %lld", totalSkipped);
  const char* sep = " (";
  if (otherChrom) {
    fprintf(log, "%sother chromosome %lld", sep, otherChrom);
    sep = ", ";
  }
  for (int r = 1; r < static_cast<int>(genoio::SkipReason::Count); ++r) {
    if (!skipped[r]) continue;
    fprintf(log, "%s%s %lld", sep, genoio::skipReasonText(static_cast<genoio::SkipReason>(r)), skipped[r]);
    sep = ", ";
  }
  fputs(totalSkipped ? ")\n" : "\n", log);
  fprintf(log, "genoconv: haploid calls (written as homozygotes): %lld\n", counts.haploid);
  fprintf(log, "genoconv: missing calls (N/N): %lld; half-missing calls: %lld\n", counts.missing, counts.half);
  if (counts.absentAlt)
    fprintf(log, "genoconv: warning: %lld calls name allele 1 of records whose ALT is '.' (as PLINK writes a monomorphic SNP); written as N\n",
            counts.absentAlt);
  if (written == 0) fprintf(log, "genoconv: warning: no variant was written\n");
}

void exportToVcf(const Options& options, FILE* log) {
  genoio::ExportResult result = genoio::exportVcf(options.geno, options.out, options.threads);
  if (!result.warning.empty()) fprintf(log, "genoconv: warning: %s\n", result.warning.c_str());
  fprintf(log, "genoconv: read %s (genotype file)\n", options.geno.c_str());
  printTypes(result.samples, log);
  fprintf(log, "genoconv: variants written: %lld to %s\n", result.variants, result.vcfName.c_str());
  fprintf(log, "genoconv: missing calls (N/N): %lld\n", result.missingCalls);
  if (!result.indexName.empty()) fprintf(log, "genoconv: index: %s\n", result.indexName.c_str());
  fprintf(log, "genoconv: sample types: %s\n", result.typesName.c_str());
}

}  // namespace genoconv
