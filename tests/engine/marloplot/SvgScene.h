#pragma once
// The filled and stroked paths of an SVG file written by Cairo, outside its
// glyph definitions: enough to check a picture's geometry without looking.
#include <cmath>
#include <fstream>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace svgtest {

struct Point {
  double x, y;
};

struct SubPath {
  std::vector<Point> points;  // M and L ends, C end points
  int curves = 0;
  bool closed = false;
};

struct Path {
  int fill = -1;    // 0xRRGGBB, -1 for none
  int stroke = -1;
  bool dashed = false;
  std::vector<SubPath> subpaths;
};

inline int colourOf(const std::string& style, const std::string& key) {
  // "<key>:rgb(R%,G%,B%)" at the start of the style or after ";" or " ".
  for (size_t at = style.find(key + ":rgb("); at != std::string::npos; at = style.find(key + ":rgb(", at + 1)) {
    if (at > 0 && style[at - 1] != ';' && style[at - 1] != ' ') continue;
    double pct[3];
    const char* p = style.c_str() + at + key.size() + 5;
    for (double& v : pct) {
      char* end = nullptr;
      v = std::strtod(p, &end);
      p = end + 2;  // past "%," or "%)"
    }
    int c = 0;
    for (double v : pct) c = c * 256 + static_cast<int>(std::lround(v * 2.55));
    return c;
  }
  return -1;
}

inline std::vector<Path> readPaths(const std::string& file) {
  std::ifstream in(file);
  std::stringstream ss;
  ss << in.rdbuf();
  std::string text = ss.str();
  size_t body = text.find("</defs>");
  text = text.substr(body == std::string::npos ? 0 : body);
  std::vector<Path> paths;
  const std::string open = "<path style=\"";
  for (size_t at = text.find(open); at != std::string::npos; at = text.find(open, at + 1)) {
    size_t styleEnd = text.find('"', at + open.size());
    if (text.compare(styleEnd, 5, "\" d=\"") != 0) continue;
    size_t dEnd = text.find('"', styleEnd + 5);
    Path p;
    std::string style = text.substr(at + open.size(), styleEnd - at - open.size());
    p.fill = colourOf(style, "fill");
    p.stroke = colourOf(style, "stroke");
    p.dashed = style.find("stroke-dasharray") != std::string::npos;
    std::istringstream d(text.substr(styleEnd + 5, dEnd - styleEnd - 5));
    std::string tok;
    while (d >> tok) {
      if (tok == "M") {
        SubPath s;
        double x, y;
        d >> x >> y;
        s.points.push_back({x, y});
        p.subpaths.push_back(s);
      } else if (tok == "L") {
        double x, y;
        d >> x >> y;
        p.subpaths.back().points.push_back({x, y});
      } else if (tok == "C") {
        double v[6];
        for (double& x : v) d >> x;
        p.subpaths.back().points.push_back({v[4], v[5]});
        ++p.subpaths.back().curves;
      } else if (tok == "Z") {
        p.subpaths.back().closed = true;
      }
    }
    // Cairo ends a closed path with a lone move; it draws nothing.
    std::erase_if(p.subpaths, [](const SubPath& s) { return s.points.size() < 2; });
    paths.push_back(p);
  }
  return paths;
}

// A square turned 45 degrees: left, top, right, bottom corners.
struct Diamond {
  double cx, cy, h;
  int fill;
};

// Cairo writes coordinates to 1/256 of a unit.
inline bool near(double a, double b) { return std::fabs(a - b) < 0.01; }

inline std::vector<Diamond> diamonds(const std::vector<Path>& paths) {
  std::vector<Diamond> out;
  for (const Path& p : paths) {
    if (p.fill < 0) continue;
    for (const SubPath& s : p.subpaths) {
      if (s.points.size() != 4 || s.curves || !s.closed) continue;
      const Point &l = s.points[0], &t = s.points[1], &r = s.points[2], &b = s.points[3];
      double h = (r.x - l.x) / 2;
      if (h > 0 && near(l.y, r.y) && near(t.x, b.x) && near(t.x, l.x + h) && near(t.y, l.y - h) && near(b.y, l.y + h)) {
        out.push_back({l.x + h, l.y, h, p.fill});
      }
    }
  }
  return out;
}

// Even-odd point-in-polygon.
inline bool inside(const SubPath& s, double x, double y) {
  bool in = false;
  for (size_t i = 0, j = s.points.size() - 1; i < s.points.size(); j = i++) {
    const Point &a = s.points[i], &b = s.points[j];
    if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x) in = !in;
  }
  return in;
}

}  // namespace svgtest
