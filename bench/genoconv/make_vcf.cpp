// Writes a phased VCF shaped like a 1000 Genomes chromosome slice to
// standard output: make_vcf SAMPLES SNPS [SEED]. Biallelic SNPs with a
// spread of allele frequencies, one multi-allelic site in 200, one indel in
// 50 (to be skipped), a missing call in 1000.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {
uint64_t g_state = 88172645463325252ULL;
inline uint64_t next() {
  g_state ^= g_state << 13;
  g_state ^= g_state >> 7;
  g_state ^= g_state << 17;
  return g_state;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: make_vcf SAMPLES SNPS [SEED]\n");
    return 2;
  }
  const int samples = atoi(argv[1]);
  const long snps = atol(argv[2]);
  if (argc > 3) g_state ^= strtoull(argv[3], nullptr, 10) * 0x9E3779B97F4A7C15ULL;
  std::string out =
      "##fileformat=VCFv4.2\n##contig=<ID=22,length=51304566>\n"
      "##INFO=<ID=AC,Number=A,Type=Integer,Description=\"Allele count\">\n"
      "##INFO=<ID=AN,Number=1,Type=Integer,Description=\"Allele number\">\n"
      "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"Genotype\">\n"
      "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT";
  for (int s = 0; s < samples; ++s) out += "\tHG" + std::to_string(100000 + s);
  out += '\n';
  fwrite(out.data(), 1, out.size(), stdout);
  const char* bases = "ACGT";
  long position = 16050000;
  std::string line;
  for (long v = 0; v < snps; ++v) {
    position += 1 + static_cast<long>(next() % 400);
    int ref = static_cast<int>(next() % 4);
    int alt = (ref + 1 + static_cast<int>(next() % 3)) % 4;
    bool indel = next() % 50 == 0;
    bool multi = !indel && next() % 200 == 0;
    // Allele frequency skewed towards rare variants, as in real data.
    double f = static_cast<double>(next() % 1000000) / 1e6;
    f = f * f * 0.5;
    const uint64_t threshold = static_cast<uint64_t>(f * 4294967296.0);
    line.clear();
    line += "22\t" + std::to_string(position) + "\trs" + std::to_string(1000000 + v) + "\t";
    line += bases[ref];
    if (indel) line += "AT";
    line += '\t';
    line += bases[alt];
    if (multi) {
      line += ',';
      line += bases[(alt + 1) % 4 == ref ? (alt + 2) % 4 : (alt + 1) % 4];
    }
    line += "\t100\tPASS\tAC=1;AN=" + std::to_string(2 * samples) + "\tGT";
    for (int s = 0; s < samples; ++s) {
      uint64_t r = next();
      if (r % 1000 == 7) {
        line += "\t.|.";
        continue;
      }
      char a = (r & 0xFFFFFFFFu) < threshold ? (multi && (r >> 62) == 3 ? '2' : '1') : '0';
      char b = ((r >> 32) & 0xFFFFFFFFu) < threshold ? '1' : '0';
      line += '\t';
      line += a;
      line += '|';
      line += b;
    }
    line += '\n';
    if (fwrite(line.data(), 1, line.size(), stdout) != line.size()) return 1;
  }
  return fflush(stdout) == 0 ? 0 : 1;
}
