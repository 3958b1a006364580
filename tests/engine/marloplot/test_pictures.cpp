// Runs marloplot on small hand-made files and checks the geometry of its SVG
// output and a few pixels of its PNG output.
#include <cairo.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "SvgScene.h"

namespace {

using svgtest::Diamond;

const char* kGeno =
    "Marker\tChr\tPosition\tStrand\ta\tb\nType\t.\t.\t.\t0\t1\n"
    "s1\t10\t1000\t+\tA/A\tA/G\ns2\t10\t2000\t+\tA/A\tA/G\ns3\t10\t4000\t+\tA/A\tA/G\n"
    "s4\t10\t5000\t+\tA/A\tA/G\ns5\t10\t9000\t+\tA/A\tA/G\n";

std::string ldSection(const std::string& type, const std::string& rows) {
  return "!Chromosome_No:10\n!Region_Limit:500.0Kb\n!Sample_Type:" + type +
         "\nNo\tMarker1\tMarker2\tDistance\t|D'|\tr2\tLOD\tLOD_p_value\tChi_square\tp_value\tFour_gamete\n" + rows;
}

// LOD column 13.81551 is log10 LOD 3, 4.60517 is LOD 1; the threshold is
// 4 ln 10 = 9.2103404, so 9.21034 lies below it and 9.21035 above.
const char* kMergedRows =
    "1\t0\t1\t1000\t1.00000\t0.50000\t13.81551\t0.00020\t10.00000\t0.00157\tY\n"
    "2\t0\t2\t3000\t0.60000\t0.20000\t13.81551\t0.00020\t10.00000\t0.00157\tY\n"
    "3\t0\t3\t4000\t1.00000\t0.10000\t4.60517\t0.03188\t4.00000\t0.04550\tN\n"
    "4\t1\t2\t2000\t0.30000\t0.05000\t4.60517\t0.03188\t4.00000\t0.04550\tY\n"
    "5\t1\t3\t3000\t0.00000\t0.00000\t0.00000\t0.00000\t0.00000\t0.00000\tN\n"
    "6\t1\t4\t7000\t1.00000\t0.30000\t9.21034\t0.00241\t9.00000\t0.00270\tN\n"
    "7\t2\t3\t1000\t1.00000\t0.90000\t9.21035\t0.00241\t9.00000\t0.00270\tN\n"
    "8\t2\t4\t5000\t0.80000\t-\t-\t-\t-\t-\tN\n"
    "9\t3\t4\t4000\t0.99999\t0.70000\t50.00000\t0.00000\t50.00000\t0.00000\tY\n";

class Pictures : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/marloplot_pictures_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
  }
  void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }

  std::string file(const std::string& name, const std::string& text) {
    std::string path = dir + "/" + name;
    std::ofstream(path) << text;
    return path;
  }
  // Exit status of marloplot with these arguments; its standard output in out.
  int run(const std::string& args) {
    std::string cmd = std::string(MARLO_BIN_DIR) + "/marloplot " + args + " >'" + dir + "/stdout' 2>'" + dir + "/stderr'";
    int status = std::system(cmd.c_str());
    std::ifstream in(dir + "/stdout");
    std::stringstream ss;
    ss << in.rdbuf();
    out = ss.str();
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // The genotype file and its .pwld report: the merged section, after a
  // section of type 0 holding pair (0, 1) at |D'| = 1 when asked for.
  std::string ldReport(bool withType0) {
    file("g.geno", kGeno);
    const std::string red0 = "1\t0\t1\t1000\t1.00000\t0.50000\t90.00000\t0.00000\t90.00000\t0.00000\tY\n";
    return file("g.geno.pwld", (withType0 ? ldSection("0", red0) : "") + ldSection("M", kMergedRows));
  }

  std::string dir, out;
};

const char* kBlocks =
    "!Chromosome_No:10\n!Sample_Type:0\n!Sample_Count:1\n!Block_No:1\n!Total_SNP_Count:5\n"
    "SNP_List\t1\t2\t3\t4\t5\t\nSNP_ID\ts1\ts2\ts3\ts4\ts5\t\n"
    "!Chromosome_No:10\n!Sample_Type:M\n!Sample_Count:2\n!Block_No:1\n!Total_SNP_Count:3\n"
    "SNP_List\t1\t2\t3\t\nSNP_ID\ts1\ts2\ts3\t\n"
    "!Chromosome_No:10\n!Sample_Type:M\n!Sample_Count:2\n!Block_No:2\n!Total_SNP_Count:2\n"
    "SNP_List\t4\t5\t\nSNP_ID\ts4\ts5\t\n";

// The triangle's corner and column width recovered from the diamonds: pair
// (i, j) sits at (x0 + (i + j + 1) h, y0 + (j - i) h), w = 2h, and the
// leftmost diamond of the top row is pair (0, 1).
struct Grid {
  double x0, y0, h;
  std::map<std::pair<int, int>, int> colourOf;
  size_t count;
};

Grid gridOf(std::vector<Diamond> ds) {
  // A lone absent pair is a diamond of the gap colour: not a pair drawn.
  std::erase_if(ds, [](const Diamond& d) { return d.fill == 0xD8D0B0; });
  Grid g{1e9, 1e9, ds.at(0).h, {}, ds.size()};
  for (const Diamond& d : ds) g.y0 = std::min(g.y0, d.cy - d.h);
  for (const Diamond& d : ds) {
    if (svgtest::near(d.cy, g.y0 + d.h)) g.x0 = std::min(g.x0, d.cx - 2 * d.h);
  }
  for (const Diamond& d : ds) {
    int diff = static_cast<int>(std::lround((d.cy - g.y0) / g.h));
    int sum = static_cast<int>(std::lround((d.cx - g.x0) / g.h)) - 1;
    g.colourOf[{(sum - diff) / 2, (sum + diff) / 2}] = d.fill;
  }
  return g;
}

bool inGap(const std::vector<svgtest::Path>& paths, double x, double y) {
  for (const svgtest::Path& p : paths) {
    if (p.fill != 0xD8D0B0) continue;
    for (const svgtest::SubPath& s : p.subpaths) {
      if (svgtest::inside(s, x, y)) return true;
    }
  }
  return false;
}

std::vector<svgtest::SubPath> triangles(const std::vector<svgtest::Path>& paths) {
  std::vector<svgtest::SubPath> out;
  for (const svgtest::Path& p : paths) {
    if (p.stroke != 0 || p.fill >= 0) continue;
    for (const svgtest::SubPath& s : p.subpaths) {
      if (s.points.size() == 3 && s.closed && !s.curves) out.push_back(s);
    }
  }
  return out;
}

void expectCorner(const svgtest::SubPath& s, int k, double x, double y) {
  EXPECT_NEAR(s.points[k].x, x, 0.01) << "corner " << k;
  EXPECT_NEAR(s.points[k].y, y, 0.01) << "corner " << k;
}

TEST_F(Pictures, LdDiamondsColoursGapsAndBlocks) {
  std::string pwld = ldReport(true);
  std::string blocks = file("g.ld.hblk", kBlocks);
  ASSERT_EQ(run("ld " + pwld + " --blocks " + blocks + " --out " + dir + "/ld.svg --width 400"), 0);
  EXPECT_NE(out.find("SNPs 1-5 (5 in view), 8 pairs drawn, 2 absent, 2 blocks outlined"), std::string::npos) << out;
  auto paths = svgtest::readPaths(dir + "/ld.svg");
  Grid g = gridOf(svgtest::diamonds(paths));
  // Ten pairs: one without a row, one placeholder row.
  EXPECT_EQ(g.count, 8u);
  std::map<std::pair<int, int>, int> expected{
      {{0, 1}, 0xFF0000}, {{0, 2}, 0xFF6C6C}, {{0, 3}, 0xC0C0FF}, {{1, 2}, 0xFFFFFF},
      {{1, 4}, 0xC0C0FF}, {{2, 3}, 0xFF0000}, {{2, 4}, 0xFFFFFF}, {{3, 4}, 0xFF2121}};
  EXPECT_EQ(g.colourOf, expected);
  EXPECT_TRUE(inGap(paths, g.x0 + 5 * g.h, g.y0 + 4 * g.h));  // (0, 4): no row
  EXPECT_TRUE(inGap(paths, g.x0 + 5 * g.h, g.y0 + 2 * g.h));  // (1, 3): placeholder
  EXPECT_FALSE(inGap(paths, g.x0 + 2 * g.h, g.y0 + 1 * g.h));
  EXPECT_FALSE(inGap(paths, g.x0 + 7 * g.h, g.y0 + 2 * g.h));

  auto tri = triangles(paths);
  ASSERT_EQ(tri.size(), 2u);  // the M blocks only
  double w = 2 * g.h;
  expectCorner(tri[0], 0, g.x0, g.y0);
  expectCorner(tri[0], 1, g.x0 + 3 * w, g.y0);
  expectCorner(tri[0], 2, g.x0 + 1.5 * w, g.y0 + 1.5 * w);
  expectCorner(tri[1], 0, g.x0 + 3 * w, g.y0);
  expectCorner(tri[1], 1, g.x0 + 5 * w, g.y0);
  expectCorner(tri[1], 2, g.x0 + 4 * w, g.y0 + w);
}

TEST_F(Pictures, LdR2ScaleAndOtherType) {
  std::string pwld = ldReport(true);
  ASSERT_EQ(run("ld " + pwld + " --stat r2 --out " + dir + "/r2.svg"), 0);
  auto paths = svgtest::readPaths(dir + "/r2.svg");
  Grid g = gridOf(svgtest::diamonds(paths));
  EXPECT_EQ(g.count, 7u);  // the multi-allelic pair has no r2
  EXPECT_EQ(g.colourOf[std::make_pair(0, 1)], 0x808080);
  EXPECT_EQ(g.colourOf[std::make_pair(2, 3)], 0x1A1A1A);  // 255 - 255*90/100 = 26
  EXPECT_TRUE(inGap(paths, g.x0 + 7 * g.h, g.y0 + 2 * g.h));  // (2, 4)

  ASSERT_EQ(run("ld " + pwld + " --type 0 --out " + dir + "/t0.svg"), 0);
  Grid g0 = gridOf(svgtest::diamonds(svgtest::readPaths(dir + "/t0.svg")));
  EXPECT_EQ(g0.count, 1u);
  EXPECT_EQ(g0.colourOf[std::make_pair(0, 1)], 0xFF0000);
}

TEST_F(Pictures, LdWindowByRegionOrMarkers) {
  std::string pwld = ldReport(false);
  std::string blocks = file("g.ld.hblk", kBlocks);
  for (const std::string& view : {std::string("--region 2000-5000"), std::string("--from s4 --to s2")}) {
    ASSERT_EQ(run("ld " + pwld + " " + view + " --blocks " + blocks + " --out " + dir + "/w.svg"), 0) << view;
    EXPECT_NE(out.find("SNPs 2-4 (3 in view), 2 pairs drawn, 1 absent, 1 blocks outlined"), std::string::npos) << out;
    auto paths = svgtest::readPaths(dir + "/w.svg");
    Grid g = gridOf(svgtest::diamonds(paths));
    std::map<std::pair<int, int>, int> expected{{{0, 1}, 0xFFFFFF}, {{1, 2}, 0xFF0000}};
    EXPECT_EQ(g.colourOf, expected);
    // Block 1 (SNPs 1-3) shows its part inside the view, SNPs 2-3; block 2
    // keeps one SNP in view and is not drawn.
    auto tri = triangles(paths);
    ASSERT_EQ(tri.size(), 1u);
    expectCorner(tri[0], 1, g.x0 + 4 * g.h, g.y0);
    expectCorner(tri[0], 2, g.x0 + 2 * g.h, g.y0 + 2 * g.h);
  }
}

unsigned pixel(cairo_surface_t* s, double x, double y) {
  const unsigned char* data = cairo_image_surface_get_data(s);
  int stride = cairo_image_surface_get_stride(s);
  uint32_t v;
  std::memcpy(&v, data + static_cast<int>(y) * stride + 4 * static_cast<int>(x), 4);
  return v & 0xFFFFFF;
}

TEST_F(Pictures, LdPngPixels) {
  std::string pwld = ldReport(false);
  ASSERT_EQ(run("ld " + pwld + " --out " + dir + "/ld.svg --width 400"), 0);
  Grid g = gridOf(svgtest::diamonds(svgtest::readPaths(dir + "/ld.svg")));
  ASSERT_EQ(run("ld " + pwld + " --out " + dir + "/ld.png --width 400"), 0);
  cairo_surface_t* png = cairo_image_surface_create_from_png((dir + "/ld.png").c_str());
  ASSERT_EQ(cairo_surface_status(png), CAIRO_STATUS_SUCCESS);
  EXPECT_EQ(cairo_image_surface_get_width(png), 400);
  EXPECT_EQ(pixel(png, g.x0 + 2 * g.h, g.y0 + g.h), 0xFF0000u);       // (0, 1)
  EXPECT_EQ(pixel(png, g.x0 + 4 * g.h, g.y0 + 3 * g.h), 0xC0C0FFu);   // (0, 3)
  EXPECT_EQ(pixel(png, g.x0 + 5 * g.h, g.y0 + 4 * g.h), 0xD8D0B0u);   // (0, 4) absent
  EXPECT_EQ(pixel(png, g.x0 + 2, g.y0 + 4 * g.h), 0xFFFFFFu);         // left of the triangle
  EXPECT_EQ(pixel(png, g.x0 + 10 * g.h - 2, g.y0 + 4 * g.h), 0xFFFFFFu);  // right of it
  cairo_surface_destroy(png);
}

const char* kReportHead =
    "!Chromosome_No : 7\n!Class_Combination : 0,1\n!Feature_Type : SNP\n!Risk_Factor : Minor Allele\n"
    "!Model : Additive\n!Sig_Level : 5.000000e-02\n!Multi_Correction : Y\n"
    "Feature_ID\tOR\tOR_CI\tAR\tPAR\tGFT_chi\tGFT_p\tYates_Corr\tLRT_chi\tLRT_p\tSignificant?\n";

std::string reportRow(const std::string& id, const std::string& gft, const std::string& lrt) {
  return id + "\t1.000\t0.900-1.100\t0.000\t0.000\t1.000\t" + gft + "\tN\t1.000\t" + lrt + "\tN\n";
}

struct Circle {
  double x, y;
};

std::vector<Circle> circles(const std::vector<svgtest::Path>& paths) {
  std::vector<Circle> out;
  for (const svgtest::Path& p : paths) {
    if (p.fill < 0) continue;
    for (const svgtest::SubPath& s : p.subpaths) {
      // Cairo sets a small circle as two or four curves and nothing else.
      if (s.curves < 2 || s.points.size() != static_cast<size_t>(s.curves) + 1 || !s.closed) continue;
      double minX = 1e9, maxX = -1e9, minY = 1e9, maxY = -1e9;
      for (auto q : s.points) minX = std::min(minX, q.x), maxX = std::max(maxX, q.x), minY = std::min(minY, q.y), maxY = std::max(maxY, q.y);
      out.push_back({(minX + maxX) / 2, (minY + maxY) / 2});
    }
  }
  return out;
}

double lineY(const std::vector<svgtest::Path>& paths, int colour) {
  for (const svgtest::Path& p : paths) {
    if (p.stroke == colour && p.dashed) return p.subpaths.at(0).points.at(0).y;
  }
  return NAN;
}

TEST_F(Pictures, ManhattanPointsAndLines) {
  std::string geno = file("m.geno",
                          "M\tC\tP\tS\ta\nT\t.\t.\t.\t0\nm1\t7\t100\t+\tA/A\nm2\t7\t200\t+\tA/A\n"
                          "m3\t7\t400\t+\tA/A\nm4\t7\t800\t+\tA/A\n");
  std::string report = file("m.crss", std::string(kReportHead) + reportRow("m1", "1.000000e-01", "2.000000e-01") +
                                          reportRow("m2", "1.000000e-02", "1.000000e-02") +
                                          reportRow("m3", "1.000000e-03", "1.000000e-04") +
                                          reportRow("mX", "5.000000e-01", "5.000000e-01"));
  std::string fdr = file("m.fdr",
                         "featureID\tpvalue1\tqvalue1\nm3\t1.000000e-04\t4.000000e-04\nm2\t1.000000e-02\t"
                         "2.000000e-02\nm1\t1.000000e-01\t1.300000e-01\nmX\t5.000000e-01\t5.000000e-01\n");
  // The summary lines of this run are the marloplot assoc_summaries case.
  ASSERT_EQ(run("manhattan " + report + " --geno " + geno + " --fdr " + fdr + " --out " + dir + "/m.svg"), 0);
  auto paths = svgtest::readPaths(dir + "/m.svg");
  auto pts = circles(paths);
  ASSERT_EQ(pts.size(), 3u);  // one per placed row
  std::sort(pts.begin(), pts.end(), [](Circle a, Circle b) { return a.x < b.x; });
  // x in proportion to position (100, 200, 400); y linear in -log10 p (1, 2, 4).
  EXPECT_NEAR((pts[2].x - pts[1].x) / (pts[1].x - pts[0].x), 2.0, 1e-4);
  double perUnit = (pts[2].y - pts[0].y) / 3;
  auto yOf = [&](double v) { return pts[0].y + (v - 1) * perUnit; };
  // Cairo writes SVG coordinates to 1/256 of a unit.
  EXPECT_NEAR(pts[1].y, yOf(2), 0.01);
  // Bonferroni 0.05 / 4 rows (the unplaced row is a test too); q-value line
  // at the largest p with q <= 0.05, 0.01.
  EXPECT_NEAR(lineY(paths, 0xC81E1E), yOf(-std::log10(0.05 / 4)), 0.01);
  EXPECT_NEAR(lineY(paths, 0x1E8C3C), yOf(2), 0.01);
}

TEST_F(Pictures, QqPointsAndLambda) {
  // p-values whose 1-df chi-square quantiles are 0, 1, 4 and 9: the median
  // is (1 + 4) / 2 = 2.5 and lambda 2.5 / 0.4549364 = 5.4953.
  std::string report = file("q.crss", std::string(kReportHead) + reportRow("a", "1.000000e+00", "1.000000e+00") +
                                          reportRow("b", "3.173105e-01", "3.173105e-01") +
                                          reportRow("c", "4.550026e-02", "9.000000e-01") +
                                          reportRow("d", "2.699796e-03", "2.699796e-03"));
  ASSERT_EQ(run("qq " + report + " --out " + dir + "/q.svg"), 0);
  EXPECT_EQ(out, "lambda = 5.4953 (4 p-values)\nwrote " + dir + "/q.svg\n");
  auto pts = circles(svgtest::readPaths(dir + "/q.svg"));
  EXPECT_EQ(pts.size(), 4u);
}

}  // namespace
