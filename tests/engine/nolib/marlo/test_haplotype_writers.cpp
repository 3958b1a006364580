#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "marlo/EMAlgorithm.h"
#include "marlo/GenoData.h"
#include "marlo/HaplotypeEstimator.h"

namespace {

std::string tempPath(const std::string& name) {
  return testing::TempDir() + "writers_" + std::to_string(getpid()) + "_" + name;
}

std::string writeFile(const std::string& name, const std::string& content) {
  std::string path = tempPath(name);
  FILE* fp = fopen(path.c_str(), "wb");
  fwrite(content.data(), 1, content.size(), fp);
  fclose(fp);
  return path;
}

std::string readFile(const std::string& path) {
  std::string s;
  FILE* fp = fopen(path.c_str(), "rb");
  if (!fp) return s;
  char buf[4096];
  size_t got;
  while ((got = fread(buf, 1, sizeof buf, fp)) > 0) s.append(buf, got);
  fclose(fp);
  return s;
}

// An estimator whose answers are set by the test: the writers must work from
// getBestPair and expectedCount alone, as they do for every estimator.
class FakeEstimator : public HaplotypeEstimator {
 public:
  bool perform() override { return true; }
  void getBestPair(int i, HaplotypePair& r) override {
    r = i >= 0 && i < static_cast<int>(best.size()) ? best[i] : HaplotypePair();
    ++bestPairCalls;
  }
  void expectedCount(const std::string& h, double& total) override {
    auto it = expected.find(h);
    if (it != expected.end()) total += it->second;
  }
  std::vector<HaplotypePair> best;
  std::map<std::string, double> expected;
  int bestPairCalls = 0;
};

// Phenotypes with one member each, individuals numbered in order.
std::vector<Phenotype> onePerPhenotype(int n, const std::string& genotype) {
  std::vector<Phenotype> ph(n);
  for (int p = 0; p < n; ++p) {
    ph[p].setGenotype(genotype, 1);
    ph[p].memberIndex[0] = p;
    ph[p].memberId[0] = "id" + std::to_string(p + 1);
  }
  return ph;
}

std::string populationSection(HaplotypeEstimator& e, const char* chromosome, const char* type, std::string* out,
                              std::string* err) {
  std::string path = tempPath(std::string("pop_") + type);
  FILE* fp = fopen(path.c_str(), "w");
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  e.writePopulationFile(fp, chromosome, 0.01, type);
  *err = testing::internal::GetCapturedStderr();
  *out = testing::internal::GetCapturedStdout();
  fclose(fp);
  return readFile(path);
}

}  // namespace

TEST(HaplotypeWriters, ExchangeOrderingNumbersTiesByTheProcedure) {
  // a, b, c appear in this order with 0.25, 0.25, 0.5: the exchanges give
  // c, b, a (the procedure is not stable).
  auto ph = onePerPhenotype(3, "AA");
  FakeEstimator e;
  e.setData(ph.data(), 2, 3, 3);
  e.best = {{"a", "a", 1.0}, {"b", "b", 1.0}, {"c", "c", 1.0}};
  e.expected = {{"a", 1.0}, {"b", 1.0}, {"c", 2.0}};
  std::vector<std::string> h;
  std::vector<double> f;
  e.collectBestHaplotypes(h, f);
  EXPECT_EQ(h, (std::vector<std::string>{"c", "b", "a"}));
  EXPECT_EQ(f, (std::vector<double>{0.5, 0.25, 0.25}));
  std::string out, err;
  EXPECT_EQ(populationSection(e, "7", "x", &out, &err),
            "No\tHaplotype_ID\tSequence\tFrequency\n1\t7_1_h1\tc\t0.50000\n2\t7_1_h2\tb\t0.25000\n"
            "3\t7_1_h3\ta\t0.25000\n");
  EXPECT_EQ(out, " haplotype cnt = 3\n");
  EXPECT_EQ(err, "");
  EXPECT_EQ(e.haplotypeIds.at("c"), "h1");
  EXPECT_EQ(e.haplotypeIds.at("a"), "h3");
}

TEST(HaplotypeWriters, ListTakesBothSidesInOrderOfFirstAppearance) {
  auto ph = onePerPhenotype(3, "AG");
  FakeEstimator e;
  e.setData(ph.data(), 1, 3, 3);
  // Frequencies in list order: x 0.1, y 0.2, z 0.3, w 0.4.
  e.best = {{"x", "y", 0.9}, {"y", "z", 0.8}, {"w", "w", 0.7}};
  e.expected = {{"x", 1.0}, {"y", 2.0}, {"z", 3.0}, {"w", 4.0}};
  std::vector<std::string> h;
  std::vector<double> f;
  e.collectBestHaplotypes(h, f);
  // i=0: x<y swap (y x z w), y<z swap (z x y w), z<w swap (w x y z);
  // i=1: x<y swap (w y x z), y<z swap (w z x y); i=2: x<y swap (w z y x).
  EXPECT_EQ(h, (std::vector<std::string>{"w", "z", "y", "x"}));
  EXPECT_DOUBLE_EQ(f[0], 0.4);
  EXPECT_DOUBLE_EQ(f[3], 0.1);
}

TEST(HaplotypeWriters, NoHaplotypeGoesStraightToStandardError) {
  auto ph = onePerPhenotype(2, "AA");
  FakeEstimator e;
  e.setData(ph.data(), 1, 2, 2);
  // Expected copies of zero make every frequency 0/0: not a number, which
  // counts as zero.
  e.best = {{"", "", 0.0}, {"", "", 0.0}};
  std::string out, err;
  EXPECT_EQ(populationSection(e, "7", "case", &out, &err), "");
  EXPECT_EQ(err, "#error= SampleType (case): There is no haplotype.\n");
  EXPECT_EQ(out, "");
  EXPECT_TRUE(e.haplotypeIds.empty());
  // Without any phenotype the list is empty.
  FakeEstimator none;
  none.setData(nullptr, 1, 0, 0);
  EXPECT_EQ(populationSection(none, "7", "M", &out, &err), "");
  EXPECT_EQ(err, "#error= SampleType (M): There is no haplotype.\n");
}

TEST(HaplotypeWriters, PopulationHeader) {
  GenoData d;
  d.m_ChromosomeNo = "X";
  d.m_nummarker = 3;
  d.sampleTypeTable = {{"ctrl", 2}, {"M", 2}};
  std::string path = tempPath("header");
  FILE* fp = fopen(path.c_str(), "w");
  HaplotypeEstimator::writePopulationHeader(fp, d, 1);
  fclose(fp);
  EXPECT_EQ(readFile(path), "!Chromosome_No:X\n!Block_No:1\n!Marker:1,2,3\n!htSNP:\n!Sample_Type:M\n");
}

TEST(HaplotypeWriters, IndividualFileSkipsImprobablePairsAndNamesUnknownHaplotypesNull) {
  auto ph = onePerPhenotype(3, "AC");
  FakeEstimator e;
  e.setData(ph.data(), 1, 3, 3);
  e.best = {{"A", "C", 0.75}, {"A", "C", 0.0}, {"A", "G", NAN}};
  e.haplotypeIds = {{"A", "h2"}};
  std::vector<std::string> types = {"u", "v", "u"};
  std::string path = tempPath("ihap");
  FILE* fp = fopen(path.c_str(), "w");
  e.writeIndividualFile(fp, "3", "M", types, 3);
  fclose(fp);
  EXPECT_EQ(readFile(path),
            "!Chromosome_No:3\n!Block_No:1\nNo\tIndividual_ID\tHaplotype1\tHaplotype2\tAccuracy\tSample_Type\n"
            "1\tid1\t3_1_h2\t3_1_null\t0.75000\tu\n");
}

TEST(HaplotypeWriters, IndividualFileUsesMembersAndTheSampleTypeOfTheLoadedType) {
  // Two phenotypes, individuals 0 and 2 share the first.
  std::vector<Phenotype> ph(2);
  ph[0].setGenotype("AA", 2);
  ph[0].memberIndex = {0, 2};
  ph[0].memberId = {"a0", "a2"};
  ph[1].setGenotype("CC", 1);
  ph[1].memberIndex = {1};
  ph[1].memberId = {"a1"};
  FakeEstimator e;
  e.setData(ph.data(), 1, 2, 3);
  e.best = {{"A", "A", 1.0}, {"C", "C", 0.123456}};
  e.haplotypeIds = {{"A", "h1"}, {"C", "h2"}};
  std::vector<std::string> types = {"x", "y", "y", "x", "y"};
  std::string path = tempPath("ihap2");
  FILE* fp = fopen(path.c_str(), "w");
  e.writeIndividualFile(fp, "3", "y", types, 5);
  fclose(fp);
  EXPECT_EQ(readFile(path),
            "!Chromosome_No:3\n!Block_No:1\nNo\tIndividual_ID\tHaplotype1\tHaplotype2\tAccuracy\tSample_Type\n"
            "1\ta0\t3_1_h1\t3_1_h1\t1.00000\ty\n2\ta1\t3_1_h2\t3_1_h2\t0.12346\ty\n3\ta2\t3_1_h1\t3_1_h1\t1.00000\ty\n");
}

TEST(HaplotypeWriters, BlockFileWithTwelveHaplotypes) {
  // Twelve individuals, each homozygous for its own haplotype of 4 markers.
  const char* haps[12] = {"ACGT", "ACGA", "ACTT", "ACTA", "AGGT", "AGGA",
                          "AGTT", "AGTA", "CCGT", "CCGA", "CCTT", "CCTA"};
  std::string content = "M\tC\tP\tS";
  for (int i = 0; i < 12; ++i) content += "\tp" + std::to_string(i);
  content += "\nT\t.\t.\t.";
  for (int i = 0; i < 12; ++i) content += i < 6 ? "\tz" : "\tw";
  content += "\n";
  for (int m = 0; m < 4; ++m) {
    content += "snp" + std::to_string(m) + "\tQ\t" + std::to_string(10 * m + 5) + "\t+";
    for (int i = 0; i < 12; ++i) content += std::string("\t") + haps[i][m] + "/" + haps[i][m];
    content += "\n";
  }
  auto input = writeFile("twelve.geno", content);
  GenoData d;
  testing::internal::CaptureStdout();
  ASSERT_TRUE(d.loadHeader(input.c_str()));
  ASSERT_TRUE(d.loadData(input.c_str(), "M"));
  testing::internal::GetCapturedStdout();
  ASSERT_EQ(d.m_numpheno, 12);
  EMAlgorithm em;
  em.eps = 1.0;
  em.setData(d.phenotypes.data(), 4, 12, 12);
  ASSERT_TRUE(em.performEM());
  std::string path = tempPath("hblk");
  FILE* fp = fopen(path.c_str(), "w");
  em.writeBlockFile(fp, d, 2);
  fclose(fp);
  // All frequencies equal 1/12: no exchange, numbering by first appearance.
  std::string expected =
      "!Chromosome_No:Q\n!Sample_Type:M\n!Sample_Count:12\n!Block_No:1\n!Total_SNP_Count:4\n!Tag_SNP_Count:?\n"
      "!Haplotype_Count:12" + std::string(32, ' ') + "\n"
      "SNP_List\t1\t2\t3\t4\nSNP_ID\tsnp0\tsnp1\tsnp2\tsnp3\n"
      "Tag_SNP\t?\t?\t?\t?\tSample_Type\tz\tz\tz\tz\tz\tz\tw\tw\tw\tw\tw\tw\n"
      "Allele\tA/C\tC/G\tG/T\tA/T\tFrequency\tp0\tp1\tp2\tp3\tp4\tp5\tp6\tp7\tp8\tp9\tp10\tp11\n";
  for (int k = 0; k < 12; ++k) {
    expected += "Q_M_1_" + std::to_string(k + 1);
    for (int m = 0; m < 4; ++m) expected += std::string("\t") + haps[k][m];
    expected += "\t0.08333";
    for (int i = 0; i < 12; ++i) expected += i == k ? "\t2" : "\t0";
    expected += "\n";
  }
  expected += "Location\t5\t15\t25\t35\tAccuracy";
  for (int i = 0; i < 12; ++i) expected += "\t1.00000";
  expected += "\n";
  EXPECT_EQ(readFile(path), expected);
}

TEST(HaplotypeWriters, BlockFileWithoutReadableInputHasNoLocationCells) {
  auto input = writeFile("gone.geno", "M\tC\tP\tS\tq1\tq2\nT\t.\t.\t.\tk\tj\nm1\t2\t77\t+\tA/A\tA/G\n");
  GenoData d;
  testing::internal::CaptureStdout();
  ASSERT_TRUE(d.loadHeader(input.c_str()));
  ASSERT_TRUE(d.loadData(input.c_str(), "k"));
  testing::internal::GetCapturedStdout();
  unlink(input.c_str());
  FakeEstimator e;
  e.setData(d.phenotypes.data(), 1, d.m_numpheno, d.m_numindiv);
  e.best = {{"A", "A", 0.5}};
  e.expected = {{"A", 2.0}};
  std::string path = tempPath("hblk_gone");
  FILE* fp = fopen(path.c_str(), "w");
  testing::internal::CaptureStdout();
  e.writeBlockFile(fp, d, d.typeIndex.at("k"));
  std::string out = testing::internal::GetCapturedStdout();
  fclose(fp);
  EXPECT_EQ(out.rfind("NULL\tengine/nolib/marlo/HaplotypeEstimator:", 0), 0u) << out;
  EXPECT_EQ(readFile(path),
            "!Chromosome_No:2\n!Sample_Type:k\n!Sample_Count:1\n!Block_No:1\n!Total_SNP_Count:1\n!Tag_SNP_Count:?\n"
            "!Haplotype_Count:1" + std::string(33, ' ') + "\n"
            "SNP_List\t1\nSNP_ID\tm1\nTag_SNP\t?\tSample_Type\tk\nAllele\tA\tFrequency\tq1\n"
            "2_k_1_1\tA\t1.00000\t2\n\tAccuracy\t0.50000\n");
}

TEST(HaplotypeWriters, BestPairsAreAskedOncePerPhenotypeNotPerCell) {
  auto ph = onePerPhenotype(50, "AC");
  FakeEstimator e;
  e.setData(ph.data(), 1, 50, 50);
  for (int p = 0; p < 50; ++p) {
    std::string h = "h" + std::to_string(p);
    e.best.push_back({h, h, 1.0});
    e.expected[h] = 2.0;
  }
  GenoData d;
  d.m_ChromosomeNo = "1";
  d.m_nummarker = 1;
  d.markerIds = {"m"};
  d.alleleSets.resize(1);
  d.sampleTypeTable = {{"M", 50}};
  d.m_fileName = tempPath("no_such_input");
  std::string path = tempPath("hblk_calls");
  FILE* fp = fopen(path.c_str(), "w");
  testing::internal::CaptureStdout();
  e.writeBlockFile(fp, d, 0);
  testing::internal::GetCapturedStdout();
  fclose(fp);
  EXPECT_EQ(e.bestPairCalls, 50);
}
