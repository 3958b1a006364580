#include "plot/LdPlot.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "plot/LdColour.h"

namespace plot {

namespace {

constexpr double kMargin = 20;
constexpr double kTitleBand = 28;
constexpr double kRulerBand = 34;  // tick labels above the ruler line
constexpr double kConnectorBand = 36;
constexpr double kBlockBand = 16;
constexpr double kNameFont = 9;
constexpr double kLegendWidth = 190;
constexpr double kLegendRowHeight = 16;

int legendRows(const LdPicture& p) { return p.r2 ? 3 : 6; }
double legendHeight(const LdPicture& p) { return 24 + legendRows(p) * kLegendRowHeight; }

void diamondPath(cairo_t* cr, double cx, double cy, double h) {
  cairo_move_to(cr, cx - h, cy);
  cairo_line_to(cr, cx, cy - h);
  cairo_line_to(cr, cx + h, cy);
  cairo_line_to(cr, cx, cy + h);
  cairo_close_path(cr);
}

unsigned cellColour(const LdCell& c, bool r2) { return r2 ? r2Colour(c.r2) : dprimeColour(c); }

bool cellShown(const LdCell& c, bool r2) {
  return (c.flags & LdCell::kPresent) && (!r2 || (c.flags & LdCell::kR2Known));
}

}  // namespace

LdLayout layoutLd(const LdPicture& p, double width, double height) {
  LdLayout L;
  long long n = p.window->size();
  L.width = width;
  double top = kMargin + (p.title.empty() ? 0 : kTitleBand);
  L.rulerY = top + kRulerBand;
  L.namesTop = L.rulerY + kConnectorBand;
  double avail = width - 2 * kMargin;
  L.w = avail / static_cast<double>(n);
  // Names are set vertically; when columns are narrower than a line of text
  // only every k-th name is shown.
  L.nameStep = std::max(1, static_cast<int>(std::ceil((kNameFont + 1) / L.w)));
  double longest = 0;
  for (const std::string& s : p.names) longest = std::max(longest, static_cast<double>(s.size()));
  double namesHeight = std::min(longest, 24.0) * kNameFont * 0.62 + 6;
  L.namesBottom = L.namesTop + namesHeight;
  L.y0 = L.namesBottom + (p.blocks.empty() ? 4 : kBlockBand);
  double triangle = n * L.w / 2;
  // The legend fits in the empty corner left of the triangle's lower half
  // when that corner is wide enough, otherwise below the triangle.
  double legendH = legendHeight(p);
  L.legendBeside = triangle >= kLegendWidth + legendH + 10;
  double needed = L.y0 + triangle + (L.legendBeside ? 0 : legendH + 10) + kMargin;
  if (height > 0 && needed > height) {
    // Shrink the columns to fit the height asked for, centred.
    double room = height - L.y0 - kMargin - (L.legendBeside ? 0 : legendH + 10);
    double w = std::max(room, 1.0) * 2 / static_cast<double>(n);
    if (w < L.w) L.w = w;
    triangle = n * L.w / 2;
    L.legendBeside = triangle >= kLegendWidth + legendH + 10;
  }
  L.x0 = (width - n * L.w) / 2;
  L.height = height > 0 ? height : std::ceil(needed);
  if (L.legendBeside) {
    L.legendX = kMargin;
    L.legendY = L.y0 + triangle - legendH;
  } else {
    L.legendX = kMargin;
    L.legendY = L.y0 + triangle + 10;
  }
  return L;
}

LdDrawn drawLd(Canvas& canvas, const LdPicture& p, const LdLayout& L) {
  cairo_t* cr = canvas.cr();
  const LdWindow& win = *p.window;
  long long n = win.size();
  LdDrawn drawn;
  double w = L.w, h = w / 2;

  if (!p.title.empty()) {
    cairo_set_source_rgb(cr, 0, 0, 0);
    drawText(cr, p.title, L.width / 2, kMargin + 16, 15, Anchor::kCentre, 0, true);
  }

  // Position ruler: positions in proportion, ticks at round kilobases.
  long long pmin = *std::min_element(p.positions.begin(), p.positions.end());
  long long pmax = *std::max_element(p.positions.begin(), p.positions.end());
  double span = static_cast<double>(pmax - pmin);
  double rx0 = L.x0 + h, rx1 = L.x0 + n * w - h;
  auto rulerX = [&](long long pos) {
    return span > 0 ? rx0 + (rx1 - rx0) * static_cast<double>(pos - pmin) / span : (rx0 + rx1) / 2;
  };
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_set_line_width(cr, 1);
  cairo_move_to(cr, rx0, L.rulerY);
  cairo_line_to(cr, rx1, L.rulerY);
  cairo_stroke(cr);
  bool mb = span >= 5e6;
  double unit = mb ? 1e6 : 1e3;
  double step = niceStep(span / unit, 6) * unit;
  if (span > 0) {
    for (double t = std::ceil(pmin / step) * step; t <= pmax + 1e-9; t += step) {
      double x = rulerX(static_cast<long long>(std::llround(t)));
      cairo_move_to(cr, x, L.rulerY);
      cairo_line_to(cr, x, L.rulerY - 5);
      cairo_stroke(cr);
      drawText(cr, tickLabel(t / unit), x, L.rulerY - 8, 9, Anchor::kCentre);
    }
  }
  std::string axis = (p.chromosome.empty() ? std::string("position") : "chromosome " + p.chromosome) +
                     (mb ? " (Mb)" : " (kb)");
  drawText(cr, axis, rx0, L.rulerY - 22, 9, Anchor::kLeft);

  // Lines from each SNP's place on the ruler to its column, then the names.
  cairo_set_source_rgb(cr, 0.45, 0.45, 0.45);
  cairo_set_line_width(cr, std::min(0.6, w / 3));
  for (long long k = 0; k < n; ++k) {
    double x = L.x0 + (k + 0.5) * w;
    cairo_move_to(cr, rulerX(p.positions[k]), L.rulerY);
    cairo_line_to(cr, x, L.namesTop);
  }
  cairo_stroke(cr);
  cairo_set_source_rgb(cr, 0, 0, 0);
  double nameFont = std::min(kNameFont, std::max(w * 0.8, 6.0));
  for (long long k = 0; k < n; k += L.nameStep) {
    double x = L.x0 + (k + 0.5) * w + nameFont * 0.35;
    std::string name = p.names[k].size() > 24 ? p.names[k].substr(0, 23) + "~" : p.names[k];
    drawText(cr, name, x, L.namesBottom - 3, nameFont, Anchor::kLeft, -M_PI / 2);
  }

  // Absent pairs: each run of absent partners of one SNP is one parallelogram.
  cairo_new_path(cr);
  for (long long i = 0; i + 1 < n; ++i) {
    long long j = i + 1;
    while (j < n) {
      if (cellShown(win.cell(i, j), p.r2)) {
        ++j;
        continue;
      }
      long long a = j;
      while (j < n && !cellShown(win.cell(i, j), p.r2)) ++j;
      long long b = j - 1;
      drawn.absent += b - a + 1;
      double cxa = L.x0 + (i + a + 1) * h, cya = L.y0 + (a - i) * h;
      double cxb = L.x0 + (i + b + 1) * h, cyb = L.y0 + (b - i) * h;
      cairo_move_to(cr, cxa - h, cya);
      cairo_line_to(cr, cxa, cya - h);
      cairo_line_to(cr, cxb + h, cyb);
      cairo_line_to(cr, cxb, cyb + h);
      cairo_close_path(cr);
    }
  }
  setColour(cr, toRgb(kGapColour));
  cairo_fill(cr);

  // Diamonds of one colour are filled together: fewer Cairo calls and no
  // seams between equal neighbours.
  std::map<unsigned, std::vector<std::pair<int, int>>> byColour;
  for (long long i = 0; i + 1 < n; ++i) {
    for (long long j = i + 1; j < n; ++j) {
      const LdCell& c = win.cell(i, j);
      if (!cellShown(c, p.r2)) continue;
      byColour[cellColour(c, p.r2)].emplace_back(static_cast<int>(i), static_cast<int>(j));
      ++drawn.diamonds;
    }
  }
  for (const auto& [colour, pairs] : byColour) {
    cairo_new_path(cr);
    for (auto [i, j] : pairs) diamondPath(cr, L.x0 + (i + j + 1) * h, L.y0 + (j - i) * h, h);
    setColour(cr, toRgb(colour));
    cairo_fill(cr);
  }

  // Values x100 inside the diamonds when they are large enough to read.
  if (w >= 18) {
    double font = std::min(w * 0.3, 13.0);
    for (long long i = 0; i + 1 < n; ++i) {
      for (long long j = i + 1; j < n; ++j) {
        const LdCell& c = win.cell(i, j);
        if (!cellShown(c, p.r2)) continue;
        double v = p.r2 ? c.r2 : c.dprime;
        unsigned colour = cellColour(c, p.r2);
        int luminance = ((colour >> 16) & 0xFF) * 3 + ((colour >> 8) & 0xFF) * 6 + (colour & 0xFF);
        if (luminance < 1000) cairo_set_source_rgb(cr, 1, 1, 1);
        else cairo_set_source_rgb(cr, 0, 0, 0);
        drawText(cr, std::to_string(std::lround(v * 100)), L.x0 + (i + j + 1) * h, L.y0 + (j - i) * h + font * 0.35,
                 font, Anchor::kCentre);
      }
    }
  }

  // Blocks: the part inside the view, outlined and numbered above.
  for (const LdBlock& b : p.blocks) {
    long long a = std::max(b.snps.front(), win.first) - win.first;
    long long z = std::min(b.snps.back(), win.last) - win.first;
    if (a >= z) continue;
    if (b.snps.front() < win.first || b.snps.back() > win.last) ++drawn.blocksClipped;
    ++drawn.blocks;
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_set_line_width(cr, std::clamp(w / 6, 0.8, 2.0));
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
    cairo_move_to(cr, L.x0 + a * w, L.y0);
    cairo_line_to(cr, L.x0 + (z + 1) * w, L.y0);
    cairo_line_to(cr, L.x0 + (a + z + 1) * h, L.y0 + (z - a + 1) * h);
    cairo_close_path(cr);
    cairo_stroke(cr);
    std::string label = "Block " + std::to_string(b.number);
    double room = (z - a + 1) * w;
    if (textWidth(cr, label, 9) > room) label = std::to_string(b.number);
    if (textWidth(cr, label, 8) <= room + 2) {
      drawText(cr, label, L.x0 + (a + z + 1) * h, L.y0 - 4, textWidth(cr, label, 9) > room ? 8 : 9, Anchor::kCentre);
    }
  }

  // Legend.
  double lx = L.legendX, ly = L.legendY;
  cairo_set_source_rgb(cr, 0, 0, 0);
  drawText(cr, p.r2 ? "r2" : "|D'| (LOD = log10 likelihood ratio)", lx, ly + 12, 10, Anchor::kLeft, 0, true);
  auto swatch = [&](int row, unsigned colour, const std::string& text) {
    double y = ly + 20 + row * kLegendRowHeight;
    cairo_rectangle(cr, lx, y, 12, 12);
    setColour(cr, toRgb(colour));
    cairo_fill_preserve(cr);
    cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
    cairo_set_line_width(cr, 0.5);
    cairo_stroke(cr);
    cairo_set_source_rgb(cr, 0, 0, 0);
    drawText(cr, text, lx + 18, y + 10, 9, Anchor::kLeft);
  };
  if (p.r2) {
    double y = ly + 20;
    for (int k = 0; k <= 100; ++k) {
      cairo_rectangle(cr, lx + k * 1.2, y, 1.3, 12);
      setColour(cr, toRgb(r2Colour(k / 100.0)));
      cairo_fill(cr);
    }
    cairo_set_source_rgb(cr, 0, 0, 0);
    drawText(cr, "0", lx, y + 24, 9, Anchor::kLeft);
    drawText(cr, "1", lx + 121, y + 24, 9, Anchor::kRight);
    swatch(2, kGapColour, "pair absent from the report");
  } else {
    LdCell shade;
    shade.dprime = 0.6f;
    shade.lod = 100;
    shade.flags = LdCell::kPresent | LdCell::kLodKnown;
    swatch(0, 0xFF0000, "|D'| = 1, LOD >= 2");
    swatch(1, dprimeColour(shade), "|D'| < 1, LOD >= 2 (darker: larger)");
    swatch(2, 0xC0C0FF, "|D'| = 1, LOD < 2");
    swatch(3, 0xFFFFFF, "|D'| < 1, LOD < 2");
    swatch(4, kGapColour, "pair absent from the report");
  }
  return drawn;
}

}  // namespace plot
