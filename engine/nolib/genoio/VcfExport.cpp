#include "genoio/VcfExport.h"

#include <htslib/hts.h>
#include <htslib/vcf.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common_sgt/GenotypeScan.h"
#include "common_sgt/LineReader.h"
#include "genoio/Error.h"
#include "genoio/PendingFile.h"

namespace genoio {

namespace {

// Tab-free index of a base, or -1 for N, or -2 for anything else.
int baseIndex(char c) {
  switch (c) {
    case 'A': return 0;
    case 'C': return 1;
    case 'G': return 2;
    case 'T': return 3;
    case 'N': return -1;
    default: return -2;
  }
}

bool parsePosition(std::string_view text, long long& value) {
  if (text.empty() || text.size() > 12) return false;
  size_t i = 0;
  bool negative = false;
  if (text[0] == '+' || text[0] == '-') {
    negative = text[0] == '-';
    i = 1;
  }
  if (i == text.size()) return false;
  long long v = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    v = v * 10 + (text[i] - '0');
  }
  value = negative ? -v : v;
  return true;
}

struct HtsCloser {
  htsFile* fp = nullptr;
  bcf_hdr_t* hdr = nullptr;
  bcf1_t* rec = nullptr;
  ~HtsCloser() {
    if (rec) bcf_destroy(rec);
    if (hdr) bcf_hdr_destroy(hdr);
    if (fp) hts_close(fp);
  }
};

}  // namespace

ExportResult exportVcf(const std::string& genoPath, const std::string& prefix, int threads) {
  ExportResult result;
  LineReader in;
  if (!in.open(genoPath.c_str())) throw Error(systemMessage(genoPath, "cannot open"));
  auto lineError = [&](const std::string& what) {
    return Error(genoPath + ": line " + std::to_string(in.lineNumber()) + ": " + what);
  };
  auto readFailure = [&]() {
    errno = in.error() != 0 ? in.error() : EIO;
    return Error(systemMessage(genoPath, "read error after line " + std::to_string(in.lineNumber())));
  };

  std::string_view line;
  std::vector<std::string_view> fields;
  if (!in.next(line)) {
    if (in.failed()) throw readFailure();
    throw Error(genoPath + ": empty file; a genotype file starts with a sample line and a type line");
  }
  splitTabs(line, fields);
  if (fields.size() < 4) throw lineError("the sample line needs four leading fields");
  for (size_t i = 0; i < fields.size(); ++i)
    if (fields[i].empty()) throw lineError("field " + std::to_string(i + 1) + " is empty");
  const size_t n = fields.size() - 4;
  SampleTable& samples = result.samples;
  for (size_t i = 4; i < fields.size(); ++i) samples.ids.emplace_back(fields[i]);
  checkSampleIds(samples.ids, genoPath);
  if (!in.next(line)) {
    if (in.failed()) throw readFailure();
    throw Error(genoPath + ": no type line (line 2)");
  }
  splitTabs(line, fields);
  if (fields.size() < n + 4)
    throw lineError("the type line has " + std::to_string(fields.size()) + " fields; " + std::to_string(n + 4) +
                    " expected");
  for (size_t i = 4; i < n + 4; ++i) samples.types.emplace_back(fields[i]);

  result.vcfName = prefix + ".vcf.gz";
  result.typesName = prefix + ".types";
  std::string typesText = typesFileText(samples, genoPath);

  // The first SNP line names the chromosome of the whole file.
  std::string firstLine;
  bool haveFirst = in.next(line);
  if (!haveFirst && in.failed()) throw readFailure();
  std::string chrom;
  if (haveFirst) {
    firstLine.assign(line);
    splitTabs(firstLine, fields);
    if (fields.size() < 2 || fields[1].empty()) throw lineError("no chromosome field");
    chrom.assign(fields[1]);
  }

  HtsCloser hts;
  hts.hdr = bcf_hdr_init("w");
  if (!hts.hdr) throw Error(result.vcfName + ": out of memory");
  bcf_hdr_append(hts.hdr, "##source=genoconv");
  if (!chrom.empty()) {
    if (chrom.find_first_of(",<>=\"*' ") != std::string::npos)
      throw Error(genoPath + ": line 3: chromosome '" + chrom + "' cannot name a VCF contig");
    std::string contig = "##contig=<ID=" + chrom + ">";
    if (bcf_hdr_append(hts.hdr, contig.c_str()) != 0) throw Error(genoPath + ": line 3: chromosome '" + chrom + "' is refused as a VCF contig");
  }
  bcf_hdr_append(hts.hdr, "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"Genotype\">");
  for (const std::string& id : samples.ids)
    if (bcf_hdr_add_sample(hts.hdr, id.c_str()) != 0) throw Error(genoPath + ": sample '" + id + "' is refused as a VCF sample name");
  if (bcf_hdr_sync(hts.hdr) != 0) throw Error(result.vcfName + ": cannot build the VCF header");

  PendingFile vcf(result.vcfName);
  vcf.create(false);
  errno = 0;
  hts.fp = hts_open(vcf.tempName().c_str(), "wz");
  if (!hts.fp) throw Error(systemMessage(vcf.tempName(), "cannot open for writing"));
  if (threads > 1) hts_set_threads(hts.fp, threads);
  if (bcf_hdr_write(hts.fp, hts.hdr) != 0) throw Error(systemMessage(vcf.tempName(), "write failed"));
  hts.rec = bcf_init();
  if (!hts.rec) throw Error(result.vcfName + ": out of memory");
  bcf1_t* rec = hts.rec;
  const int rid = chrom.empty() ? -1 : bcf_hdr_name2id(hts.hdr, chrom.c_str());

  std::vector<int32_t> gt(2 * n);
  std::vector<signed char> codes(2 * n);
  std::string alleles;
  std::string marker;
  long long lastPosition = 0;
  long long maxPosition = 0;
  bool sorted = true;
  long long firstBackwardLine = 0;
  bool more = haveFirst;
  while (more) {
    std::string_view current = result.variants == 0 ? std::string_view(firstLine) : line;
    splitTabs(current, fields);
    if (fields.size() < n + 4)
      throw lineError(std::to_string(fields.size()) + " fields; " + std::to_string(n + 4) +
                      " expected (marker, chromosome, position, strand, one genotype per sample)");
    if (fields[0].empty() || fields[0].find_first_of(" \v\f") != std::string_view::npos)
      throw lineError("marker '" + std::string(fields[0]) + "' is empty or holds whitespace, which a VCF ID cannot hold");
    long long position = 0;
    if (!parsePosition(fields[2], position) || position < 0 || position > 2147483647LL)
      throw lineError("position '" + std::string(fields[2]) + "' is not an integer from 0 to 2147483647");
    long long counts[4] = {0, 0, 0, 0};
    for (size_t i = 0; i < n; ++i) {
      std::string_view g = fields[4 + i];
      int a = g.size() == 3 ? baseIndex(g[0]) : -2;
      int b = g.size() == 3 ? baseIndex(g[2]) : -2;
      if (a == -2 || b == -2)
        throw lineError("genotype '" + std::string(g) + "' of sample " + samples.ids[i] +
                        ": two alleles of A, C, G, T or N around a separator expected");
      codes[2 * i] = static_cast<signed char>(a);
      codes[2 * i + 1] = static_cast<signed char>(b);
      if (a >= 0) ++counts[a];
      if (b >= 0) ++counts[b];
      if (a < 0 && b < 0) ++result.missingCalls;
    }
    int order[4] = {0, 1, 2, 3};
    std::stable_sort(order, order + 4, [&](int x, int y) { return counts[x] > counts[y]; });
    int indexOf[4] = {-1, -1, -1, -1};
    alleles.clear();
    int present = 0;
    for (int k = 0; k < 4; ++k) {
      if (counts[order[k]] == 0) break;
      if (present > 0) alleles += ',';
      alleles += "ACGT"[order[k]];
      indexOf[order[k]] = present++;
    }
    // A line without any called allele still needs a REF: N, "unknown base".
    if (present == 0) alleles = "N";
    for (size_t j = 0; j < 2 * n; ++j) gt[j] = codes[j] < 0 ? bcf_gt_missing : bcf_gt_unphased(indexOf[codes[j]]);

    bcf_clear(rec);
    rec->rid = rid;
    rec->pos = position - 1;
    bcf_float_set_missing(rec->qual);
    marker.assign(fields[0]);
    if (bcf_update_id(hts.hdr, rec, marker.c_str()) < 0 || bcf_update_alleles_str(hts.hdr, rec, alleles.c_str()) < 0 ||
        (n > 0 && bcf_update_genotypes(hts.hdr, rec, gt.data(), static_cast<int>(2 * n)) < 0))
      throw lineError("htslib refused the record");
    if (bcf_write(hts.fp, hts.hdr, rec) != 0) throw Error(systemMessage(vcf.tempName(), "write failed"));
    ++result.variants;
    if (position < lastPosition && sorted) {
      sorted = false;
      firstBackwardLine = in.lineNumber();
    }
    lastPosition = position;
    maxPosition = std::max(maxPosition, position);

    more = in.next(line);
  }
  if (in.failed()) throw readFailure();
  in.close();
  htsFile* fp = hts.fp;
  hts.fp = nullptr;
  if (hts_close(fp) != 0) throw Error(systemMessage(vcf.tempName(), "write failed"));

  PendingFile types(result.typesName);
  types.create(true);
  if (fputs(typesText.c_str(), types.stream()) == EOF) throw Error(systemMessage(types.tempName(), "write failed"));

  // A .tbi holds positions below 2^29; beyond that only a .csi can.
  const bool csi = maxPosition >= (1LL << 29);
  std::string indexName = result.vcfName + (csi ? ".csi" : ".tbi");
  std::string staleName = result.vcfName + (csi ? ".tbi" : ".csi");
  PendingFile index(indexName);
  if (sorted) {
    index.create(false);
    if (bcf_index_build3(vcf.tempName().c_str(), index.tempName().c_str(), csi ? 14 : 0, threads > 1 ? threads : 0) != 0)
      throw Error(indexName + ": htslib could not build the index");
  } else {
    result.warning = genoPath + ": line " + std::to_string(firstBackwardLine) +
                     ": positions go backwards, so " + result.vcfName + " gets no index";
  }
  vcf.commit();
  if (sorted) {
    index.commit();
    result.indexName = indexName;
  }
  // An index of an earlier export under the other suffix would describe
  // another file; readers may prefer it.
  unlink(staleName.c_str());
  if (!sorted) unlink(indexName.c_str());
  types.commit();
  return result;
}

}  // namespace genoio
