#include "genoio/VcfReader.h"

#include <htslib/hts.h>
#include <htslib/bgzf.h>
#include <htslib/kseq.h>
#include <htslib/kstring.h>
#include <htslib/tbx.h>
#include <htslib/vcf.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "genoio/Error.h"

namespace genoio {

void VcfReader::FileCloser::operator()(htsFile* fp) const { hts_close(fp); }
void VcfReader::HeaderFree::operator()(bcf_hdr_t* hdr) const { bcf_hdr_destroy(hdr); }
void VcfReader::RecordFree::operator()(bcf1_t* rec) const { bcf_destroy(rec); }

struct VcfReader::IndexState {
  hts_idx_t* idx = nullptr;  // BCF
  tbx_t* tbx = nullptr;      // bgzipped VCF
  hts_itr_t* itr = nullptr;
  kstring_t line = {0, 0, nullptr};
  ~IndexState() {
    if (itr) hts_itr_destroy(itr);
    if (idx) hts_idx_destroy(idx);
    if (tbx) tbx_destroy(tbx);
    free(line.s);
  }
};

VcfReader::VcfReader(const std::string& path, int threads, bool passOnly) : m_path(path), m_passOnly(passOnly) {
  // Checked here so that a missing file gets one message, not htslib's too.
  // "-" is standard input, as for htslib.
  if (path != "-") {
    if (FILE* probe = fopen(path.c_str(), "rb"))
      fclose(probe);
    else
      throw Error(systemMessage(path, "cannot open"));
  }
  errno = 0;
  m_fp = hts_open(path.c_str(), "r");
  if (!m_fp) {
    if (errno == 0) errno = EINVAL;
    throw Error(systemMessage(path, "cannot open"));
  }
  m_file.reset(m_fp);
  const htsFormat* format = hts_get_format(m_fp);
  if (format->format != vcf && format->format != bcf) {
    char* description = hts_format_description(format);
    std::string kind = description ? description : "unknown";
    free(description);
    throw Error(path + ": not a VCF or BCF file (htslib sees: " + kind + ")");
  }
  m_text = format->format == vcf;
  m_binary = format->format == bcf;
  if (threads > 1) hts_set_threads(m_fp, threads);
  m_hdr = bcf_hdr_read(m_fp);
  if (!m_hdr) throw Error(path + ": cannot read the VCF header (see htslib's message above)");
  m_header.reset(m_hdr);
  m_rec = bcf_init();
  if (!m_rec) throw Error(path + ": out of memory");
  m_record.reset(m_rec);
  int n = bcf_hdr_nsamples(m_hdr);
  m_samples.ids.reserve(n);
  for (int i = 0; i < n; ++i) m_samples.ids.emplace_back(m_hdr->samples[i]);
  m_samples.types.assign(n, "NA");
  checkSampleIds(m_samples.ids, path);
  // Only a regular file can be opened a second time for the line count; a
  // pipe would lose the bytes the second reader takes.
  struct stat st {};
  if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
    m_size = st.st_size;
    if (m_text) m_headerLines = countHeaderLines();
  } else {
    m_text = false;
  }
}

VcfReader::~VcfReader() = default;

// htslib does not count lines, so the header is read a second time (it is
// small) to turn record numbers into line numbers for messages.
long long VcfReader::countHeaderLines() {
  htsFile* fp = hts_open(m_path.c_str(), "r");
  if (!fp) return 0;
  kstring_t line = {0, 0, nullptr};
  long long count = 0;
  while (hts_getline(fp, KS_SEP_LINE, &line) >= 0) {
    ++count;
    if (line.l == 0 || line.s[0] != '#' || strncmp(line.s, "#CHROM", 6) == 0) break;
  }
  free(line.s);
  hts_close(fp);
  return count;
}

bool VcfReader::restrictTo(const std::string& chrom) {
  auto state = std::make_unique<IndexState>();
  if (m_text) {
    if (hts_get_format(m_fp)->compression != bgzf) return false;
    state->tbx = tbx_index_load3(m_path.c_str(), nullptr, HTS_IDX_SILENT_FAIL);
    if (!state->tbx) return false;
    state->itr = tbx_itr_querys(state->tbx, chrom.c_str());
  } else {
    state->idx = bcf_index_load3(m_path.c_str(), nullptr, HTS_IDX_SILENT_FAIL);
    if (!state->idx) return false;
    state->itr = bcf_itr_querys(state->idx, m_hdr, chrom.c_str());
  }
  if (!state->itr) return false;
  m_index = std::move(state);
  m_text = false;  // line numbers are unknown after a jump
  return true;
}

bool VcfReader::next() {
  int ret;
  if (!m_index) {
    ret = bcf_read(m_fp, m_hdr, m_rec);
  } else if (m_index->tbx) {
    ret = tbx_itr_next(m_fp, m_index->tbx, m_index->itr, &m_index->line);
    if (ret >= 0) ret = vcf_parse1(&m_index->line, m_hdr, m_rec) == 0 ? 0 : -2;
  } else {
    ret = bcf_itr_next(m_fp, m_index->itr, m_rec);
    if (ret >= 0) ret = 0;
  }
  if (ret == -1) return false;
  ++m_records;
  // An undefined contig or tag is only warned about by htslib, which then
  // defines it itself; every other flag means the record is damaged.
  if (ret < -1 || (m_rec->errcode & ~(BCF_ERR_CTG_UNDEF | BCF_ERR_TAG_UNDEF))) {
    throw Error(m_path + ": " + (m_text ? "line " + std::to_string(m_headerLines + m_records) : "record " + std::to_string(m_records)) +
                (m_binary ? ": cannot be read as a BCF record (damaged or cut short)"
                          : ": cannot be read as a VCF record (see htslib's message above)"));
  }
  bcf_unpack(m_rec, BCF_UN_STR | BCF_UN_FLT);
  m_marker.clear();
  return true;
}

std::string_view VcfReader::chrom() const { return bcf_seqname_safe(m_hdr, m_rec); }

int64_t VcfReader::position() const { return static_cast<int64_t>(m_rec->pos) + 1; }

std::string_view VcfReader::marker() {
  const char* id = m_rec->d.id;
  if (id && !(id[0] == '.' && id[1] == 0) && id[0] != 0) return id;
  if (m_marker.empty()) {
    m_marker = bcf_seqname_safe(m_hdr, m_rec);
    m_marker += ':';
    m_marker += std::to_string(position());
  }
  return m_marker;
}

std::string VcfReader::where() {
  std::string text = m_path + ": ";
  text += m_text ? "line " + std::to_string(m_headerLines + m_records) : "record " + std::to_string(m_records);
  text += " (";
  text += marker();
  text += " at ";
  text += chrom();
  text += ':';
  text += std::to_string(position());
  text += ')';
  return text;
}

double VcfReader::progress() const {
  if (m_size <= 0) return -1;
  BGZF* bgzf = hts_get_bgzfp(m_fp);
  if (!bgzf) return -1;
  double done = static_cast<double>(bgzf->block_address) / static_cast<double>(m_size);
  return done > 1 ? 1 : done;
}

SkipReason VcfReader::classify() {
  int n = m_rec->n_allele;
  if (n > 4) {
    // More than four alleles cannot all be distinct bases.
    for (int i = 0; i < n; ++i) {
      char base;
      SkipReason r = classifyAllele(m_rec->d.allele[i], base);
      if (r != SkipReason::None) return r;
    }
    return SkipReason::RepeatedAllele;
  }
  for (int i = 0; i < n; ++i) {
    SkipReason r = classifyAllele(m_rec->d.allele[i], m_bases[i]);
    if (r != SkipReason::None) return r;
    for (int k = 0; k < i; ++k)
      if (m_bases[k] == m_bases[i]) return SkipReason::RepeatedAllele;
  }
  if (m_passOnly && m_rec->d.n_flt > 0) {
    if (m_rec->d.n_flt > 1 || strcmp(bcf_hdr_int2id(m_hdr, BCF_DT_ID, m_rec->d.flt[0]), "PASS") != 0)
      return SkipReason::NotPass;
  }
  if (!m_samples.ids.empty() && !bcf_get_fmt(m_hdr, m_rec, "GT")) return SkipReason::NoGenotypes;
  return SkipReason::None;
}

void VcfReader::badAllele(size_t sample, int index) {
  throw Error(where() + ": sample " + m_samples.ids[sample] + ": the genotype names allele " +
              std::to_string(index) + " but the record has " + std::to_string(m_rec->n_allele) + " allele" +
              (m_rec->n_allele == 1 ? "" : "s"));
}

namespace {
// htslib keeps FORMAT values unaligned in its byte buffer.
template <typename T>
inline T load(const uint8_t* base, size_t i) {
  T v;
  memcpy(&v, base + i * sizeof(T), sizeof(T));
  return v;
}
}  // namespace

template <typename T>
void VcfReader::decode(const uint8_t* data, int perSample, char* out, CallCounts& counts) {
  constexpr T vectorEnd = sizeof(T) == 1 ? bcf_int8_vector_end : sizeof(T) == 2 ? bcf_int16_vector_end : bcf_int32_vector_end;
  constexpr T missing = sizeof(T) == 1 ? bcf_int8_missing : sizeof(T) == 2 ? bcf_int16_missing : bcf_int32_missing;
  const int alleles = m_rec->n_allele;
  const size_t n = m_samples.ids.size();
  auto letter = [&](T v, size_t sample) -> char {
    if (v == missing || (v >> 1) == 0) return 'N';
    int index = (v >> 1) - 1;
    if (index == 1 && alleles == 1) {
      ++counts.absentAlt;
      return 'N';
    }
    if (index < 0 || index >= alleles) badAllele(sample, index);
    return m_bases[index];
  };
  for (size_t s = 0; s < n; ++s) {
    const size_t first = s * static_cast<size_t>(perSample);
    int ploidy = 0;
    while (ploidy < perSample && load<T>(data, first + ploidy) != vectorEnd) ++ploidy;
    char a = 'N', b = 'N';
    if (ploidy == 1) {
      a = b = letter(load<T>(data, first), s);
      if (a != 'N') ++counts.haploid;
    } else if (ploidy == 2) {
      a = letter(load<T>(data, first), s);
      b = letter(load<T>(data, first + 1), s);
      if ((a == 'N') != (b == 'N')) ++counts.half;
    } else if (ploidy > 2) {
      throw Error(where() + ": sample " + m_samples.ids[s] + " has a call of " + std::to_string(ploidy) +
                  " alleles; the genotype file holds diploid calls");
    }
    if (a == 'N' && b == 'N') ++counts.missing;
    out[2 * s] = a;
    out[2 * s + 1] = b;
  }
}

void VcfReader::genotypes(char* out, CallCounts& counts) {
  const size_t n = m_samples.ids.size();
  if (n == 0) return;
  bcf_fmt_t* gt = bcf_get_fmt(m_hdr, m_rec, "GT");
  if (!gt || !gt->p) throw Error(where() + ": no GT field");
  switch (gt->type) {
    case BCF_BT_INT8:
      decode<int8_t>(gt->p, gt->n, out, counts);
      break;
    case BCF_BT_INT16:
      decode<int16_t>(gt->p, gt->n, out, counts);
      break;
    case BCF_BT_INT32:
      decode<int32_t>(gt->p, gt->n, out, counts);
      break;
    default:
      throw Error(where() + ": the GT field is not stored as integers");
  }
}

}  // namespace genoio
