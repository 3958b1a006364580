#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <algorithm>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "genoio/BedReader.h"
#include "genoio/Error.h"
#include "genoio/PendingFile.h"
#include "genoio/Samples.h"
#include "genoio/VcfExport.h"
#include "genoio/VcfReader.h"

using namespace genoio;

namespace {

class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/genoio_test.XXXXXX";
    m_path = mkdtemp(pattern);
  }
  ~TempDir() { std::system(("rm -rf '" + m_path + "'").c_str()); }
  std::string file(const std::string& name) const { return m_path + "/" + name; }
  std::vector<std::string> names() const {
    std::vector<std::string> out;
    DIR* d = opendir(m_path.c_str());
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') out.push_back(e->d_name);
    closedir(d);
    std::sort(out.begin(), out.end());
    return out;
  }

 private:
  std::string m_path;
};

void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string errorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const Error& e) {
    return e.what();
  }
  return "";
}

}  // namespace

// Single bases in either case, N, '*', <DEL> and multi-base alleles are met
// in the genoconv cases' rich.vcf; here the other spellings.
TEST(ClassifyAllele, OnlySingleAcgtBasesEnter) {
  char base = 0;
  EXPECT_EQ(classifyAllele("t", base), SkipReason::None);
  EXPECT_EQ(base, 'T');
  EXPECT_EQ(classifyAllele("R", base), SkipReason::NotAcgt);
  EXPECT_EQ(classifyAllele("", base), SkipReason::MultiBase);
  EXPECT_EQ(classifyAllele("<*>", base), SkipReason::Symbolic);
  EXPECT_EQ(classifyAllele("G]17:198982]", base), SkipReason::Symbolic);
}

TEST(SampleIds, RefusesEmptyTabbedAndRepeatedIdentifiers) {
  EXPECT_EQ(errorOf([] { checkSampleIds({"a", "b c"}, "in.vcf"); }), "");
  EXPECT_EQ(errorOf([] { checkSampleIds({"a", ""}, "in.vcf"); }), "in.vcf: sample 2 has an empty identifier");
  EXPECT_NE(errorOf([] { checkSampleIds({"a\tb"}, "in.vcf"); }).find("holds a tab"), std::string::npos);
  EXPECT_EQ(errorOf([] { checkSampleIds({"x", "y", "x"}, "in.fam"); }),
            "in.fam: sample identifier 'x' is given twice (samples 1 and 3)");
}

TEST(TypesFile, ReadsTwoColumnsSkippingCommentsAndBlankLines) {
  TempDir dir;
  writeFile(dir.file("t"), "# sample type\n\ns1 case\r\n  s2\t\t0  \n#s3 1\nghost 1\nghost2 0\n");
  TypesFile types = TypesFile::read(dir.file("t"));
  EXPECT_EQ(types.size(), 4u);
  SampleTable samples{{"s1", "s2", "s3"}, {"NA", "NA", "NA"}};
  std::vector<std::string> unknown;
  EXPECT_EQ(types.apply(samples, unknown, 1), 2u);
  EXPECT_EQ(samples.types, (std::vector<std::string>{"case", "0", "NA"}));
  EXPECT_EQ(unknown, std::vector<std::string>{"ghost"});
}

TEST(PendingFile, AppearsOnlyOnCommitAndLeavesNothingOtherwise) {
  TempDir dir;
  {
    PendingFile file(dir.file("out.geno"));
    file.create(true);
    fputs("partial", file.stream());
    EXPECT_EQ(dir.names().size(), 1u);
    EXPECT_EQ(file.tempName().rfind(dir.file("out.geno.tmp."), 0), 0u);
  }
  EXPECT_TRUE(dir.names().empty());
  PendingFile file(dir.file("out.geno"));
  file.create(true);
  fputs("whole", file.stream());
  file.commit();
  EXPECT_EQ(dir.names(), std::vector<std::string>{"out.geno"});
  EXPECT_EQ(readFile(dir.file("out.geno")), "whole");
}

// Random filesets of 1 to 13 samples (every padding length of the last
// byte), with random codes and allele columns, read back through BedReader.
TEST(BedReader, DecodesEveryCodeAndIgnoresPaddingBits) {
  std::mt19937 rng(13);
  const char* alleleChoices[] = {"A", "C", "G", "T", "0"};
  for (int samples = 1; samples <= 13; ++samples) {
    TempDir dir;
    const int snps = 20;
    std::string fam, bim, bed = "\x6c\x1b\x01";
    for (int s = 0; s < samples; ++s) fam += "F I" + std::to_string(s) + " 0 0 1 " + std::to_string(s % 3) + "\n";
    std::vector<std::string> expected;
    long long missing = 0, half = 0;
    for (int v = 0; v < snps; ++v) {
      std::string a1 = alleleChoices[rng() % 5], a2;
      do a2 = alleleChoices[rng() % 5];
      while (a2 == a1 && a1 != "0");
      bim += "1 rs" + std::to_string(v) + " 0 " + std::to_string(100 + v) + " " + a1 + " " + a2 + "\n";
      char b1 = a1 == "0" ? 'N' : a1[0], b2 = a2 == "0" ? 'N' : a2[0];
      std::string calls;
      std::vector<unsigned char> bytes((samples + 3) / 4, 0);
      for (int s = 0; s < samples; ++s) {
        unsigned code = rng() % 4;
        bytes[s / 4] |= static_cast<unsigned char>(code << (2 * (s % 4)));
        std::string g = code == 0 ? std::string{b1, b1} : code == 1 ? "NN" : code == 2 ? std::string{b1, b2} : std::string{b2, b2};
        if (g == "NN") ++missing;
        else if (g[0] == 'N' || g[1] == 'N') ++half;
        calls += g;
      }
      // Padding bits set to ones must change nothing.
      if (samples % 4) bytes.back() |= static_cast<unsigned char>(0xFF << (2 * (samples % 4)));
      bed.append(bytes.begin(), bytes.end());
      expected.push_back(calls);
    }
    writeFile(dir.file("f.fam"), fam);
    writeFile(dir.file("f.bim"), bim);
    writeFile(dir.file("f.bed"), bed);
    BedReader reader(dir.file("f"));
    ASSERT_EQ(reader.samples().ids.size(), static_cast<size_t>(samples));
    EXPECT_EQ(reader.samples().types[0], "NA");
    if (samples > 1) {
      EXPECT_EQ(reader.samples().types[1], "0");
    }
    if (samples > 2) {
      EXPECT_EQ(reader.samples().types[2], "1");
    }
    CallCounts counts;
    std::vector<char> out(2 * samples);
    for (int v = 0; v < snps; ++v) {
      ASSERT_TRUE(reader.next());
      ASSERT_EQ(reader.classify(), SkipReason::None);
      reader.genotypes(out.data(), counts);
      EXPECT_EQ(std::string(out.begin(), out.end()), expected[v]) << samples << " samples, variant " << v;
    }
    EXPECT_FALSE(reader.next());
    EXPECT_EQ(counts.missing, missing);
    EXPECT_EQ(counts.half, half);
  }
}

// Property: any genotype file of A, C, G, T, N alleles comes back from the
// VCF with the same genotypes, allele order within a genotype included.
TEST(VcfExport, RandomGenotypeFilesComeBackUnchanged) {
  std::mt19937 rng(2026);
  for (int round = 0; round < 20; ++round) {
    TempDir dir;
    const int samples = 1 + static_cast<int>(rng() % 9), snps = 1 + static_cast<int>(rng() % 30);
    std::string text = "Marker\tChr\tPosition\tStrand";
    for (int s = 0; s < samples; ++s) text += "\tid" + std::to_string(s);
    text += "\nType\t.\t.\t.";
    for (int s = 0; s < samples; ++s) text += s % 2 ? "\t1" : "\t0";
    text += '\n';
    std::vector<std::string> calls;
    for (int v = 0; v < snps; ++v) {
      // Each line draws from its own subset of the bases, so lines have
      // one to four alleles, or none.
      std::string pool = "N";
      for (char b : std::string("ACGT"))
        if (rng() % 2) pool += b;
      text += "m" + std::to_string(v) + "\t3\t" + std::to_string(1000 + 7 * v) + "\t+";
      std::string line;
      for (int s = 0; s < samples; ++s) {
        char a = pool[rng() % pool.size()], b = pool[rng() % pool.size()];
        text += std::string("\t") + a + "/" + b;
        line += a;
        line += b;
      }
      text += '\n';
      calls.push_back(line);
    }
    writeFile(dir.file("g.geno"), text);
    exportVcf(dir.file("g.geno"), dir.file("r"), 1);
    VcfReader reader(dir.file("r.vcf.gz"), 1, false);
    CallCounts counts;
    std::vector<char> out(2 * samples);
    for (int v = 0; v < snps; ++v) {
      ASSERT_TRUE(reader.next());
      bool none = calls[v].find_first_not_of('N') == std::string::npos;
      if (none) {
        EXPECT_EQ(reader.classify(), SkipReason::NotAcgt);  // REF N
        continue;
      }
      ASSERT_EQ(reader.classify(), SkipReason::None);
      reader.genotypes(out.data(), counts);
      EXPECT_EQ(std::string(out.begin(), out.end()), calls[v]) << "round " << round << " line " << v;
      EXPECT_EQ(reader.position(), 1000 + 7 * v);
    }
    EXPECT_FALSE(reader.next());
  }
}
