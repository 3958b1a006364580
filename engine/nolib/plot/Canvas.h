#pragma once
#include <cairo.h>

#include <string>
#include <utility>
#include <vector>

// A Cairo drawing surface of the kind the output name asks for: PNG (pixels,
// written when finished), SVG or PDF (points, streamed to the file).
namespace plot {

enum class Format { kPng, kSvg, kPdf };

// The format from the name's suffix (case-insensitive); false when it is none
// of .png, .svg, .pdf.
bool formatFromName(const std::string& name, Format& format);

class Canvas {
 public:
  // Creates the file at path (the caller's temporary name). Throws
  // InputError naming displayName when Cairo cannot.
  Canvas(const std::string& path, const std::string& displayName, Format format, double width, double height);
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  cairo_t* cr() const { return m_cr; }
  Format format() const { return m_format; }
  double width() const { return m_width; }
  double height() const { return m_height; }
  // Completes the file; throws InputError when anything failed.
  void finish();
  // PNG only: anti-aliased discs at whole-pixel centres, blended straight
  // into the pixels. Cairo's path filler would take seconds for a million
  // points; this takes milliseconds.
  void stampDiscs(const std::vector<std::pair<int, int>>& centres, double radius, double r, double g, double b);

 private:
  std::string m_path, m_display;
  Format m_format;
  double m_width, m_height;
  cairo_surface_t* m_surface = nullptr;
  cairo_t* m_cr = nullptr;
};

// Small drawing helpers shared by the three pictures.
struct Rgb {
  double r, g, b;
};
Rgb rgb255(int r, int g, int b);
void setColour(cairo_t* cr, Rgb c);
enum class Anchor { kLeft, kCentre, kRight };
// Text with its baseline at y, anchored horizontally at x, optionally turned
// by angle (radians) about (x, y).
void drawText(cairo_t* cr, const std::string& text, double x, double y, double size, Anchor anchor,
              double angle = 0, bool bold = false);
double textWidth(cairo_t* cr, const std::string& text, double size, bool bold = false);
// A round step (1, 2 or 5 times a power of ten) giving about count ticks over span.
double niceStep(double span, int count);
// "%g" of a tick value without float noise.
std::string tickLabel(double value);

}  // namespace plot
