#include "plot/AssocPlots.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <unordered_set>

#include "plot/AssocReader.h"
#include "stats/Beta.h"
#include "stats/Distributions.h"

namespace plot {

namespace {

constexpr double kPointRadius = 2.2;

struct Rank {
  int group;
  long long number;
  std::string name;
};

Rank rankOf(const std::string& raw) {
  std::string s = raw;
  if (s.size() > 3 && (s[0] == 'c' || s[0] == 'C') && (s[1] == 'h' || s[1] == 'H') && (s[2] == 'r' || s[2] == 'R')) {
    s = s.substr(3);
  }
  bool digits = !s.empty() && s.size() <= 18 && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (digits) return {0, std::stoll(s), raw};
  if (s == "X") return {1, 0, raw};
  if (s == "Y") return {2, 0, raw};
  if (s == "MT" || s == "M") return {3, 0, raw};
  return {4, 0, raw};
}

// Circles of one colour: one path in SVG and PDF (one circle per row); in
// PNG, discs stamped at whole pixels, each pixel once.
class PointBatch {
 public:
  PointBatch(Canvas& canvas) : m_canvas(canvas), m_raster(canvas.format() == Format::kPng) {
    cairo_new_path(canvas.cr());
  }
  void add(double x, double y) {
    if (m_raster) {
      int px = static_cast<int>(std::floor(x)), py = static_cast<int>(std::floor(y));
      uint64_t key = (static_cast<uint64_t>(static_cast<uint32_t>(px)) << 32) | static_cast<uint32_t>(py);
      if (m_seen.insert(key).second) m_centres.emplace_back(px, py);
      return;
    }
    cairo_new_sub_path(m_canvas.cr());
    cairo_arc(m_canvas.cr(), x, y, kPointRadius, 0, 2 * M_PI);
    cairo_close_path(m_canvas.cr());
    ++m_count;
  }
  long long fill(Rgb colour) {
    long long n = m_count;
    if (m_raster) {
      m_canvas.stampDiscs(m_centres, kPointRadius, colour.r, colour.g, colour.b);
      n = static_cast<long long>(m_centres.size());
      m_centres.clear();
      m_seen.clear();
    } else {
      setColour(m_canvas.cr(), colour);
      cairo_fill(m_canvas.cr());
    }
    m_count = 0;
    return n;
  }

 private:
  Canvas& m_canvas;
  bool m_raster;
  std::unordered_set<uint64_t> m_seen;
  std::vector<std::pair<int, int>> m_centres;
  long long m_count = 0;
};

struct Frame {
  double left, top, right, bottom;
};

// The y axis with round ticks, and the frame's left and bottom sides.
void drawYAxis(cairo_t* cr, const Frame& f, double ymax, const std::string& label) {
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_set_line_width(cr, 1);
  cairo_move_to(cr, f.left, f.top);
  cairo_line_to(cr, f.left, f.bottom);
  cairo_line_to(cr, f.right, f.bottom);
  cairo_stroke(cr);
  double step = niceStep(ymax, 6);
  for (double t = 0; t <= ymax + 1e-9; t += step) {
    double y = f.bottom - (f.bottom - f.top) * t / ymax;
    cairo_move_to(cr, f.left - 5, y);
    cairo_line_to(cr, f.left, y);
    cairo_stroke(cr);
    drawText(cr, tickLabel(t), f.left - 8, y + 3.5, 10, Anchor::kRight);
  }
  drawText(cr, label, f.left - 38, (f.top + f.bottom) / 2, 11, Anchor::kCentre, -M_PI / 2);
}

void dashedLine(cairo_t* cr, double x0, double y, double x1, Rgb colour) {
  const double dash[] = {6, 4};
  cairo_save(cr);
  setColour(cr, colour);
  cairo_set_line_width(cr, 1.2);
  cairo_set_dash(cr, dash, 2, 0);
  cairo_move_to(cr, x0, y);
  cairo_line_to(cr, x1, y);
  cairo_stroke(cr);
  cairo_restore(cr);
}

std::string formatNumber(const char* format, double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, format, v);
  return buf;
}

}  // namespace

bool chromosomeBefore(const std::string& a, const std::string& b) {
  Rank ra = rankOf(a), rb = rankOf(b);
  if (ra.group != rb.group) return ra.group < rb.group;
  if (ra.number != rb.number) return ra.number < rb.number;
  return ra.name < rb.name;
}

long long drawManhattan(Canvas& canvas, const ManhattanData& d) {
  cairo_t* cr = canvas.cr();
  double top = 20 + (d.title.empty() ? 0 : 26);
  Frame f{70, top + 10, canvas.width() - 20, canvas.height() - 50};
  if (!d.title.empty()) {
    cairo_set_source_rgb(cr, 0, 0, 0);
    drawText(cr, d.title, canvas.width() / 2, 32, 15, Anchor::kCentre, 0, true);
  }
  // Each chromosome takes the width of its span of positions, with a gap
  // between chromosomes.
  size_t nc = d.chromosomes.size();
  std::vector<long long> lo(nc, 0), hi(nc, 0);
  std::vector<bool> seen(nc, false);
  for (const ManhattanPoint& p : d.points) {
    if (!seen[p.chromosome]) lo[p.chromosome] = hi[p.chromosome] = p.position, seen[p.chromosome] = true;
    lo[p.chromosome] = std::min(lo[p.chromosome], p.position);
    hi[p.chromosome] = std::max(hi[p.chromosome], p.position);
  }
  double spans = 0;
  for (size_t c = 0; c < nc; ++c) spans += std::max<double>(1.0, static_cast<double>(hi[c] - lo[c]));
  double gap = nc > 1 ? spans * 0.01 : 0;
  double total = spans + gap * (nc > 1 ? nc - 1 : 0);
  std::vector<double> offset(nc, 0);
  double acc = 0;
  for (size_t c = 0; c < nc; ++c) {
    offset[c] = acc;
    acc += std::max<double>(1.0, static_cast<double>(hi[c] - lo[c])) + gap;
  }
  double pad = 8;
  auto xOf = [&](int c, long long pos) {
    double u = offset[c] + static_cast<double>(pos - lo[c]) + (hi[c] == lo[c] ? 0.5 : 0);
    return f.left + pad + (f.right - f.left - 2 * pad) * u / total;
  };
  double ymax = d.bonferroniY;
  for (const ManhattanPoint& p : d.points) ymax = std::max(ymax, p.y);
  if (d.hasFdr) ymax = std::max(ymax, d.fdrY);
  ymax = std::max(1.0, ymax * 1.08);
  auto yOf = [&](double v) { return f.bottom - (f.bottom - f.top) * v / ymax; };

  drawYAxis(cr, f, ymax, "-log10(p)");
  // The x axis: positions in Mb for one chromosome, chromosome names for several.
  cairo_set_source_rgb(cr, 0, 0, 0);
  if (nc == 1) {
    double spanMb = (hi[0] - lo[0]) / 1e6;
    double step = niceStep(spanMb, 8);
    for (double t = std::ceil(lo[0] / 1e6 / step) * step; t <= hi[0] / 1e6 + 1e-9; t += step) {
      double x = xOf(0, static_cast<long long>(std::llround(t * 1e6)));
      cairo_move_to(cr, x, f.bottom);
      cairo_line_to(cr, x, f.bottom + 5);
      cairo_stroke(cr);
      drawText(cr, tickLabel(t), x, f.bottom + 17, 10, Anchor::kCentre);
    }
    drawText(cr, "chromosome " + d.chromosomes[0] + " position (Mb)", (f.left + f.right) / 2, f.bottom + 36, 11,
             Anchor::kCentre);
  } else {
    for (size_t c = 0; c < nc; ++c) {
      double x = (xOf(static_cast<int>(c), lo[c]) + xOf(static_cast<int>(c), hi[c])) / 2;
      drawText(cr, d.chromosomes[c], x, f.bottom + 17, nc > 30 ? 7 : 10, Anchor::kCentre);
    }
    drawText(cr, "chromosome", (f.left + f.right) / 2, f.bottom + 36, 11, Anchor::kCentre);
  }

  const Rgb colours[2] = {rgb255(38, 70, 140), rgb255(120, 160, 215)};
  long long drawn = 0;
  for (int parity = 0; parity < 2; ++parity) {
    PointBatch batch(canvas);
    for (const ManhattanPoint& p : d.points) {
      if (p.chromosome % 2 == parity) batch.add(xOf(p.chromosome, p.position), yOf(p.y));
    }
    drawn += batch.fill(colours[parity]);
  }

  // Thresholds, with their meaning at the right end.
  dashedLine(cr, f.left, yOf(d.bonferroniY), f.right, rgb255(200, 30, 30));
  setColour(cr, rgb255(200, 30, 30));
  drawText(cr, "Bonferroni " + formatNumber("%g", d.level) + "/" + std::to_string(d.tests), f.right - 2,
           yOf(d.bonferroniY) - 4, 9, Anchor::kRight);
  if (d.hasFdr) {
    dashedLine(cr, f.left, yOf(d.fdrY), f.right, rgb255(30, 140, 60));
    // Below its line, so that the two labels stay apart when the lines are close.
    setColour(cr, rgb255(30, 140, 60));
    drawText(cr, "q <= " + formatNumber("%g", d.level), f.right - 2, yOf(d.fdrY) + 11, 9, Anchor::kRight);
  }
  cairo_set_source_rgb(cr, 0, 0, 0);
  for (const ManhattanLabel& l : d.labels) {
    drawText(cr, l.id, xOf(l.point.chromosome, l.point.position) + 4, yOf(l.point.y) - 4, 9, Anchor::kLeft);
  }
  return drawn;
}

double chiSquare1Quantile(double p) {
  if (p <= 0) return INFINITY;
  if (p >= 1) return 0;
  double z = stats::ndtri(p / 2);
  return z * z;
}

double inflationFactor(const std::vector<double>& sortedP) {
  size_t m = sortedP.size();
  // The quantile falls as p rises, so the median of the quantiles is the
  // quantile of the median p (the mean of the middle two for even m).
  double median = m % 2 ? chiSquare1Quantile(sortedP[m / 2])
                        : (chiSquare1Quantile(sortedP[m / 2 - 1]) + chiSquare1Quantile(sortedP[m / 2])) / 2;
  return median / 0.4549364;
}

void qqBand(long long i, long long m, double& lowerY, double& upperY) {
  double a = static_cast<double>(i), b = static_cast<double>(m - i + 1);
  lowerY = minusLog10(stats::incomplete_beta_inverse(a, b, 0.975));
  upperY = minusLog10(stats::incomplete_beta_inverse(a, b, 0.025));
}

long long drawQq(Canvas& canvas, const QqData& d) {
  cairo_t* cr = canvas.cr();
  long long m = static_cast<long long>(d.sortedP.size());
  double top = 20 + (d.title.empty() ? 0 : 26);
  Frame f{70, top + 10, canvas.width() - 20, canvas.height() - 50};
  if (!d.title.empty()) {
    cairo_set_source_rgb(cr, 0, 0, 0);
    drawText(cr, d.title, canvas.width() / 2, 32, 15, Anchor::kCentre, 0, true);
  }
  auto expected = [&](long long i) { return -std::log10(static_cast<double>(i) / static_cast<double>(m + 1)); };
  // The band at every rank up to 100, then at about 400 ranks spaced evenly
  // in -log10, which is as smooth as the picture can show.
  std::vector<long long> ranks;
  for (long long i = 1; i <= std::min<long long>(m, 100); ++i) ranks.push_back(i);
  if (m > 100) {
    double lmax = std::log(static_cast<double>(m));
    for (int k = 0; k <= 400; ++k) {
      long long i = static_cast<long long>(std::llround(std::exp(std::log(100.0) + (lmax - std::log(100.0)) * k / 400)));
      if (i > ranks.back() && i <= m) ranks.push_back(i);
    }
    if (ranks.back() != m) ranks.push_back(m);
  }
  std::vector<double> lower(ranks.size()), upper(ranks.size());
  double xmax = expected(1), ymax = xmax;
  for (size_t k = 0; k < ranks.size(); ++k) {
    qqBand(ranks[k], m, lower[k], upper[k]);
    ymax = std::max(ymax, upper[k]);
  }
  for (double p : d.sortedP) ymax = std::max(ymax, minusLog10(p));
  ymax *= 1.05;
  double xlim = xmax * 1.05;
  auto X = [&](double v) { return f.left + (f.right - f.left) * v / xlim; };
  auto Y = [&](double v) { return f.bottom - (f.bottom - f.top) * v / ymax; };

  cairo_new_path(cr);
  for (size_t k = 0; k < ranks.size(); ++k) cairo_line_to(cr, X(expected(ranks[k])), Y(upper[k]));
  for (size_t k = ranks.size(); k-- > 0;) cairo_line_to(cr, X(expected(ranks[k])), Y(lower[k]));
  cairo_close_path(cr);
  setColour(cr, rgb255(215, 215, 215));
  cairo_fill(cr);

  drawYAxis(cr, f, ymax, "observed -log10(p)");
  double step = niceStep(xlim, 6);
  for (double t = 0; t <= xlim + 1e-9; t += step) {
    cairo_move_to(cr, X(t), f.bottom);
    cairo_line_to(cr, X(t), f.bottom + 5);
    cairo_stroke(cr);
    drawText(cr, tickLabel(t), X(t), f.bottom + 17, 10, Anchor::kCentre);
  }
  drawText(cr, "expected -log10(p)", (f.left + f.right) / 2, f.bottom + 36, 11, Anchor::kCentre);
  cairo_set_source_rgb(cr, 0.8, 0.1, 0.1);
  cairo_set_line_width(cr, 1);
  double diag = std::min(xlim, ymax);
  cairo_move_to(cr, X(0), Y(0));
  cairo_line_to(cr, X(diag), Y(diag));
  cairo_stroke(cr);

  PointBatch batch(canvas);
  for (long long i = 0; i < m; ++i) batch.add(X(expected(i + 1)), Y(minusLog10(d.sortedP[i])));
  long long drawn = batch.fill(rgb255(38, 70, 140));

  cairo_set_source_rgb(cr, 0, 0, 0);
  drawText(cr, "\xCE\xBB = " + formatNumber("%.4f", d.lambda), f.left + 12, f.top + 16, 13, Anchor::kLeft, 0, true);
  drawText(cr, std::to_string(m) + " p-values; grey: 95% band of the expected order statistics", f.left + 12,
           f.top + 32, 9, Anchor::kLeft);
  return drawn;
}

}  // namespace plot
