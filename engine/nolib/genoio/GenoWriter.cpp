#include "genoio/GenoWriter.h"

#include <cerrno>
#include <cstring>

#include "genoio/Error.h"

namespace genoio {

namespace {
constexpr size_t kFlushAt = 1 << 20;
}

GenoWriter::GenoWriter(std::string finalName, const SampleTable& samples)
    : m_file(std::move(finalName)), m_samples(samples.ids.size()) {
  m_file.create(true);
  std::string head = "Marker\tChr\tPosition\tStrand";
  for (const std::string& id : samples.ids) {
    head += '\t';
    head += id;
  }
  head += "\nType\t.\t.\t.";
  for (const std::string& type : samples.types) {
    head += '\t';
    head += type;
  }
  head += '\n';
  m_buf.resize(kFlushAt + head.size() + 64);
  memcpy(m_buf.data(), head.data(), head.size());
  m_len = head.size();
}

GenoWriter::~GenoWriter() = default;

void GenoWriter::flush() {
  if (m_len == 0) return;
  if (fwrite(m_buf.data(), 1, m_len, m_file.stream()) != m_len) {
    if (errno == 0) errno = EIO;
    throw Error(systemMessage(m_file.tempName(), "write failed"));
  }
  m_len = 0;
}

void GenoWriter::write(std::string_view marker, std::string_view chrom, int32_t position, const char* alleles) {
  size_t need = marker.size() + chrom.size() + 32 + 4 * m_samples;
  if (m_len + need > m_buf.size()) {
    flush();
    if (need > m_buf.size()) m_buf.resize(need);
  }
  char* out = m_buf.data() + m_len;
  memcpy(out, marker.data(), marker.size());
  out += marker.size();
  *out++ = '\t';
  memcpy(out, chrom.data(), chrom.size());
  out += chrom.size();
  *out++ = '\t';
  int n = snprintf(out, 16, "%d", static_cast<int>(position));
  out += n;
  memcpy(out, "\t+", 2);
  out += 2;
  for (size_t i = 0; i < m_samples; ++i) {
    out[0] = '\t';
    out[1] = alleles[2 * i];
    out[2] = '/';
    out[3] = alleles[2 * i + 1];
    out += 4;
  }
  *out++ = '\n';
  m_len = static_cast<size_t>(out - m_buf.data());
  ++m_variants;
  if (m_len >= kFlushAt) flush();
}

void GenoWriter::commit() {
  flush();
  m_file.commit();
}

}  // namespace genoio
