#include "genoio/BedReader.h"

#include <sys/stat.h>

#include <cerrno>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <unordered_set>

#include "genoio/Error.h"
#include "genoio/Samples.h"

namespace genoio {

namespace {

std::string_view chomp(const char* text, ssize_t length) {
  std::string_view line(text, static_cast<size_t>(length));
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

// Lines that hold more than a line end, counted in large reads so that a
// .bim of millions of lines costs little before the conversion starts.
long long countContentLines(const std::string& path) {
  FILE* fp = fopen(path.c_str(), "rb");
  if (!fp) throw Error(systemMessage(path, "cannot open"));
  std::vector<char> buf(1 << 20);
  long long lines = 0;
  bool content = false;
  size_t got;
  while ((got = fread(buf.data(), 1, buf.size(), fp)) > 0) {
    for (size_t i = 0; i < got; ++i) {
      char c = buf[i];
      if (c == '\n') {
        if (content) ++lines;
        content = false;
      } else if (c != '\r' && c != ' ' && c != '\t') {
        content = true;
      }
    }
  }
  bool failed = ferror(fp);
  int saved = errno;
  fclose(fp);
  if (failed) {
    errno = saved ? saved : EIO;
    throw Error(systemMessage(path, "read error"));
  }
  return lines + (content ? 1 : 0);
}

}  // namespace

BedReader::BedReader(const std::string& prefix)
    : m_bedName(prefix + ".bed"), m_bimName(prefix + ".bim"), m_famName(prefix + ".fam") {
  readFam();
  m_variants = countContentLines(m_bimName);
  m_blockBytes = (m_samples.ids.size() + 3) / 4;
  m_block.resize(m_blockBytes);
  checkBed();
  m_bim.reset(fopen(m_bimName.c_str(), "rb"));
  if (!m_bim) throw Error(systemMessage(m_bimName, "cannot open"));
}

BedReader::~BedReader() = default;

void BedReader::readFam() {
  FILE* fp = fopen(m_famName.c_str(), "rb");
  if (!fp) throw Error(systemMessage(m_famName, "cannot open"));
  std::vector<std::string> fids, iids;
  std::vector<std::string_view> fields;
  long long number = 0;
  ssize_t got;
  std::string failure;
  errno = 0;
  while ((got = getline(&m_buffer.text, &m_buffer.capacity, fp)) >= 0) {
    ++number;
    fields = whitespaceFields(chomp(m_buffer.text, got));
    if (fields.empty()) continue;
    if (fields.size() != 6) {
      failure = m_famName + ": line " + std::to_string(number) + ": " + std::to_string(fields.size()) +
                " columns; 6 expected (family, individual, father, mother, sex, phenotype)";
      break;
    }
    fids.emplace_back(fields[0]);
    iids.emplace_back(fields[1]);
    std::string_view pheno = fields[5];
    m_samples.types.emplace_back(pheno == "1" ? "0" : pheno == "2" ? "1" : "NA");
    errno = 0;
  }
  bool failed = failure.empty() && ferror(fp);
  int saved = errno;
  fclose(fp);
  if (!failure.empty()) throw Error(failure);
  if (failed) {
    errno = saved ? saved : EIO;
    throw Error(systemMessage(m_famName, "read error after line " + std::to_string(number)));
  }
  // One naming rule for the whole file: mixing IID and FID_IID columns
  // would make identifiers of one file look unrelated.
  std::unordered_set<std::string_view> seen;
  bool repeated = false;
  for (const std::string& iid : iids) {
    if (!seen.insert(iid).second) {
      repeated = true;
      break;
    }
  }
  m_samples.ids.reserve(iids.size());
  for (size_t i = 0; i < iids.size(); ++i) m_samples.ids.push_back(repeated ? fids[i] + "_" + iids[i] : iids[i]);
  checkSampleIds(m_samples.ids, m_famName);
}

void BedReader::checkBed() {
  m_bed.reset(fopen(m_bedName.c_str(), "rb"));
  if (!m_bed) throw Error(systemMessage(m_bedName, "cannot open"));
  struct stat st {};
  if (fstat(fileno(m_bed.get()), &st) != 0) throw Error(systemMessage(m_bedName, "cannot read its size"));
  unsigned char magic[3] = {0, 0, 0};
  size_t got = fread(magic, 1, 3, m_bed.get());
  if (got < 3 && ferror(m_bed.get())) throw Error(systemMessage(m_bedName, "read error"));
  if (got < 3 || magic[0] != 0x6c || magic[1] != 0x1b)
    throw Error(m_bedName + ": not a PLINK 1 .bed file (it does not start with the bytes 6c 1b)");
  if (magic[2] == 0x00)
    throw Error(m_bedName +
                ": individual-major .bed (third byte 00); only SNP-major files are read: "
                "rewrite it with plink1.9 --bfile PREFIX --make-bed --out NEWPREFIX");
  if (magic[2] != 0x01)
    throw Error(m_bedName + ": unknown .bed mode byte (third byte is not 01 for SNP-major)");
  long long expected = 3 + m_variants * static_cast<long long>(m_blockBytes);
  if (static_cast<long long>(st.st_size) != expected) {
    throw Error(m_bedName + ": " + std::to_string(static_cast<long long>(st.st_size)) + " bytes, but the " +
                std::to_string(m_variants) + " variant lines of " + m_bimName + " and the " +
                std::to_string(m_samples.ids.size()) + " sample lines of " + m_famName + " need " +
                std::to_string(expected) + " (3 + variants x ceil(samples / 4)): " +
                (static_cast<long long>(st.st_size) < expected ? "the .bed is truncated or " : "") +
                "the three files do not belong together");
  }
}

bool BedReader::next() {
  std::vector<std::string_view> fields;
  ssize_t got;
  errno = 0;
  for (;;) {
    got = getline(&m_buffer.text, &m_buffer.capacity, m_bim.get());
    if (got < 0) {
      if (ferror(m_bim.get())) {
        if (errno == 0) errno = EIO;
        throw Error(systemMessage(m_bimName, "read error after line " + std::to_string(m_bimLine)));
      }
      return false;
    }
    ++m_bimLine;
    fields = whitespaceFields(chomp(m_buffer.text, got));
    if (!fields.empty()) break;
  }
  if (fields.size() != 6)
    throw Error(m_bimName + ": line " + std::to_string(m_bimLine) + ": " + std::to_string(fields.size()) +
                " columns; 6 expected (chromosome, ID, centimorgans, position, allele 1, allele 2)");
  m_chrom.assign(fields[0]);
  m_id.assign(fields[1]);
  m_allele1.assign(fields[4]);
  m_allele2.assign(fields[5]);
  m_marker.clear();
  std::string pos(fields[3]);
  char* end = nullptr;
  errno = 0;
  long long value = strtoll(pos.c_str(), &end, 10);
  if (pos.empty() || *end != 0 || !(isdigit(static_cast<unsigned char>(pos[0])) || pos[0] == '-' || pos[0] == '+'))
    throw Error(m_bimName + ": line " + std::to_string(m_bimLine) + ": position '" + pos + "' is not an integer");
  // Out of range for 64 bits is certainly out of range for the genotype
  // file; the converter reports it with the variant.
  m_position = errno == ERANGE ? (value < 0 ? INT64_MIN : INT64_MAX) : value;
  size_t read = fread(m_block.data(), 1, m_blockBytes, m_bed.get());
  if (read != m_blockBytes) {
    if (ferror(m_bed.get())) throw Error(systemMessage(m_bedName, "read error at variant " + std::to_string(m_read + 1)));
    throw Error(m_bedName + ": ends inside variant " + std::to_string(m_read + 1) + " (" + m_bimName + " line " +
                std::to_string(m_bimLine) + "): truncated");
  }
  ++m_read;
  return true;
}

std::string_view BedReader::marker() {
  if (m_id != ".") return m_id;
  if (m_marker.empty()) m_marker = m_chrom + ":" + std::to_string(m_position);
  return m_marker;
}

std::string BedReader::where() {
  return m_bimName + ": line " + std::to_string(m_bimLine) + " (" + std::string(marker()) + " at " + m_chrom + ":" +
         std::to_string(m_position) + ")";
}

double BedReader::progress() const {
  if (m_variants <= 0) return -1;
  return static_cast<double>(m_read) / static_cast<double>(m_variants);
}

SkipReason BedReader::classify() {
  m_base1 = m_base2 = 'N';
  if (m_allele1 != "0") {
    SkipReason r = classifyAllele(m_allele1, m_base1);
    if (r != SkipReason::None) return r;
  }
  if (m_allele2 != "0") {
    SkipReason r = classifyAllele(m_allele2, m_base2);
    if (r != SkipReason::None) return r;
  }
  if (m_base1 != 'N' && m_base1 == m_base2) return SkipReason::RepeatedAllele;
  return SkipReason::None;
}

void BedReader::genotypes(char* out, CallCounts& counts) {
  // Two-bit codes, low bits first: 00 homozygote of allele 1, 01 missing,
  // 10 heterozygote, 11 homozygote of allele 2.
  const char pairs[4][2] = {{m_base1, m_base1}, {'N', 'N'}, {m_base1, m_base2}, {m_base2, m_base2}};
  long long codes[4] = {0, 0, 0, 0};
  const size_t n = m_samples.ids.size();
  const size_t fullBytes = n / 4;
  for (size_t i = 0; i < fullBytes; ++i) {
    unsigned b = m_block[i];
    char* o = out + 8 * i;
    for (int k = 0; k < 4; ++k) {
      unsigned c = (b >> (2 * k)) & 3u;
      o[2 * k] = pairs[c][0];
      o[2 * k + 1] = pairs[c][1];
      ++codes[c];
    }
  }
  // The last byte's unused high bits are padding.
  for (size_t s = fullBytes * 4; s < n; ++s) {
    unsigned c = (m_block[s / 4] >> (2 * (s % 4))) & 3u;
    out[2 * s] = pairs[c][0];
    out[2 * s + 1] = pairs[c][1];
    ++codes[c];
  }
  for (int c = 0; c < 4; ++c) {
    bool a = pairs[c][0] == 'N', b = pairs[c][1] == 'N';
    if (a && b) counts.missing += codes[c];
    else if (a != b) counts.half += codes[c];
  }
}

}  // namespace genoio
