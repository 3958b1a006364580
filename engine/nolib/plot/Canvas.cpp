#include "plot/Canvas.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>

#include <cmath>
#include <cstdio>

#include "plot/InputError.h"

namespace plot {

bool formatFromName(const std::string& name, Format& format) {
  size_t dot = name.rfind('.');
  if (dot == std::string::npos || name.find('/', dot) != std::string::npos) return false;
  std::string ext = name.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  if (ext == "png") format = Format::kPng;
  else if (ext == "svg") format = Format::kSvg;
  else if (ext == "pdf") format = Format::kPdf;
  else return false;
  return true;
}

Canvas::Canvas(const std::string& path, const std::string& displayName, Format format, double width, double height)
    : m_path(path), m_display(displayName), m_format(format), m_width(width), m_height(height) {
  switch (format) {
    case Format::kPng:
      m_surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, static_cast<int>(width), static_cast<int>(height));
      break;
    case Format::kSvg:
      m_surface = cairo_svg_surface_create(path.c_str(), width, height);
      break;
    case Format::kPdf:
      m_surface = cairo_pdf_surface_create(path.c_str(), width, height);
      break;
  }
  if (cairo_surface_status(m_surface) != CAIRO_STATUS_SUCCESS) {
    std::string why = cairo_status_to_string(cairo_surface_status(m_surface));
    cairo_surface_destroy(m_surface);
    m_surface = nullptr;
    throwForFile(displayName, "cannot create the picture: " + why);
  }
  m_cr = cairo_create(m_surface);
  // Every picture starts on white: PNG pixels are otherwise black.
  cairo_set_source_rgb(m_cr, 1, 1, 1);
  cairo_paint(m_cr);
}

Canvas::~Canvas() {
  if (m_cr) cairo_destroy(m_cr);
  if (m_surface) cairo_surface_destroy(m_surface);
}

void Canvas::finish() {
  cairo_status_t status = cairo_status(m_cr);
  if (status == CAIRO_STATUS_SUCCESS && m_format == Format::kPng) {
    cairo_surface_flush(m_surface);
    status = cairo_surface_write_to_png(m_surface, m_path.c_str());
  }
  cairo_destroy(m_cr);
  m_cr = nullptr;
  if (status == CAIRO_STATUS_SUCCESS) {
    cairo_surface_finish(m_surface);
    status = cairo_surface_status(m_surface);
  }
  cairo_surface_destroy(m_surface);
  m_surface = nullptr;
  if (status != CAIRO_STATUS_SUCCESS) {
    throwForFile(m_display, std::string("cannot write the picture: ") + cairo_status_to_string(status));
  }
}

void Canvas::stampDiscs(const std::vector<std::pair<int, int>>& centres, double radius, double r, double g, double b) {
  // Coverage of each pixel of the stamp, from 8 x 8 samples.
  int reach = static_cast<int>(std::ceil(radius));
  int side = 2 * reach + 1;
  std::vector<double> cover(static_cast<size_t>(side * side));
  for (int dy = -reach; dy <= reach; ++dy) {
    for (int dx = -reach; dx <= reach; ++dx) {
      int inside = 0;
      for (int sy = 0; sy < 8; ++sy) {
        for (int sx = 0; sx < 8; ++sx) {
          double x = dx - 0.5 + (sx + 0.5) / 8, y = dy - 0.5 + (sy + 0.5) / 8;
          if (x * x + y * y <= radius * radius) ++inside;
        }
      }
      cover[static_cast<size_t>((dy + reach) * side + dx + reach)] = inside / 64.0;
    }
  }
  cairo_surface_flush(m_surface);
  unsigned char* data = cairo_image_surface_get_data(m_surface);
  int stride = cairo_image_surface_get_stride(m_surface);
  int w = cairo_image_surface_get_width(m_surface), h = cairo_image_surface_get_height(m_surface);
  const double colour[3] = {b * 255, g * 255, r * 255};  // RGB24 pixels are stored B, G, R, unused
  for (auto [cx, cy] : centres) {
    for (int dy = -reach; dy <= reach; ++dy) {
      int y = cy + dy;
      if (y < 0 || y >= h) continue;
      for (int dx = -reach; dx <= reach; ++dx) {
        int x = cx + dx;
        if (x < 0 || x >= w) continue;
        double a = cover[static_cast<size_t>((dy + reach) * side + dx + reach)];
        if (a == 0) continue;
        unsigned char* px = data + static_cast<ptrdiff_t>(y) * stride + 4 * x;
        for (int k = 0; k < 3; ++k) px[k] = static_cast<unsigned char>(std::lround(px[k] * (1 - a) + colour[k] * a));
      }
    }
  }
  cairo_surface_mark_dirty(m_surface);
}

Rgb rgb255(int r, int g, int b) { return Rgb{r / 255.0, g / 255.0, b / 255.0}; }

void setColour(cairo_t* cr, Rgb c) { cairo_set_source_rgb(cr, c.r, c.g, c.b); }

namespace {
void selectFont(cairo_t* cr, double size, bool bold) {
  cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                         bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, size);
}
}  // namespace

double textWidth(cairo_t* cr, const std::string& text, double size, bool bold) {
  selectFont(cr, size, bold);
  cairo_text_extents_t e;
  cairo_text_extents(cr, text.c_str(), &e);
  return e.x_advance;
}

void drawText(cairo_t* cr, const std::string& text, double x, double y, double size, Anchor anchor, double angle,
              bool bold) {
  double w = textWidth(cr, text, size, bold);
  cairo_save(cr);
  cairo_translate(cr, x, y);
  if (angle != 0) cairo_rotate(cr, angle);
  double dx = anchor == Anchor::kLeft ? 0 : anchor == Anchor::kCentre ? -w / 2 : -w;
  cairo_move_to(cr, dx, 0);
  cairo_show_text(cr, text.c_str());
  cairo_new_path(cr);
  cairo_restore(cr);
}

double niceStep(double span, int count) {
  if (!(span > 0)) return 1;
  double raw = span / count;
  double power = std::pow(10.0, std::floor(std::log10(raw)));
  double f = raw / power;
  double step = f < 1.5 ? 1 : f < 3.5 ? 2 : f < 7.5 ? 5 : 10;
  return step * power;
}

std::string tickLabel(double value) {
  char buf[64];
  double r = std::round(value * 1e6) / 1e6;
  if (r == 0) r = 0;  // no "-0"
  std::snprintf(buf, sizeof buf, "%g", r);
  return buf;
}

}  // namespace plot
