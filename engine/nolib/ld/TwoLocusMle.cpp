#include "ld/TwoLocusMle.h"

#include <cfloat>
#include <cmath>
#include <limits>

namespace {

// The table as haplotype counts: x11, x12, x21, x22 from the classes that
// fix their phase, h double heterozygotes. Kept as doubles: integers well
// below 2^53, so sums and products of two are exact.
struct PhaseCounts {
  double x11, x12, x21, x22, h;

  double p11(double t) const { return x11 + t; }
  double p12(double t) const { return x12 + h - t; }
  double p21(double t) const { return x21 + h - t; }
  double p22(double t) const { return x22 + t; }
};

constexpr double kMinusInfinity = -std::numeric_limits<double>::infinity();

// n ln(p) with the conventions of a likelihood: nothing observed adds
// nothing, an impossible observation makes it -infinity.
inline double term(double n, double p, double& magnitude) {
  if (n == 0.0) return 0.0;
  if (!(p > 0.0)) return kMinusInfinity;
  const double x = n * std::log(p);
  magnitude += std::fabs(x);
  return x;
}

// The log-likelihood in haplotype counts (the constant left out); magnitude
// gets the sum of the absolute terms, the scale of its rounding error.
double logLikelihood(const PhaseCounts& c, double t, double& magnitude) {
  magnitude = 0.0;
  const double a = c.p11(t), b = c.p12(t), d = c.p21(t), e = c.p22(t);
  double s = term(c.x11, a, magnitude) + term(c.x12, b, magnitude) + term(c.x21, d, magnitude) +
             term(c.x22, e, magnitude);
  // Both products are non-negative: the sum loses nothing to cancellation.
  s += term(c.h, a * e + b * d, magnitude);
  return s;
}

// g(t) = 2 t^3 + c2 t^2 + c1 t + c0 and its derivative, by Horner's rule.
struct Cubic {
  double c2, c1, c0;
  double value(double t) const { return ((2.0 * t + c2) * t + c1) * t + c0; }
  double slope(double t) const { return (6.0 * t + 2.0 * c2) * t + c1; }
  // Sum of the absolute terms: the scale of the rounding error of value(t).
  double magnitude(double t) const {
    const double a = std::fabs(t);
    return ((2.0 * a + std::fabs(c2)) * a + std::fabs(c1)) * a + std::fabs(c0);
  }
};

// Newton's method on g from a closed-form root, while |g| is above the
// rounding of its own evaluation and shrinks: the closed forms are accurate
// to rounding relative to the largest root, which a small root may need
// refined.
double polish(const Cubic& g, double t) {
  double gt = g.value(t);
  for (int k = 0; k < 6 && std::fabs(gt) > 4.0 * DBL_EPSILON * g.magnitude(t); ++k) {
    const double s = g.slope(t);
    if (s == 0.0 || !std::isfinite(s)) break;
    const double next = t - gt / s;
    const double gn = g.value(next);
    if (!(std::fabs(gn) < std::fabs(gt))) break;
    t = next;
    gt = gn;
  }
  return t;
}

// Stable roots of 2 t^2 + b t + c (none when complex), the larger-magnitude
// one first so that the other follows from the product without cancelling.
int quadraticRoots(double b, double c, double roots[2]) {
  const double disc = b * b - 8.0 * c;
  if (disc < 0.0) return 0;
  const double q = -0.5 * (b + std::copysign(std::sqrt(disc), b));
  if (q == 0.0) {
    roots[0] = 0.0;
    return 1;
  }
  roots[0] = q / 2.0;
  roots[1] = c / q;
  return 2;
}

// The roots of g that can be maxima (g rising), before polishing: closed
// forms for a monic cubic, one root (Cardano, the sign chosen so that
// nothing nearly equal is subtracted) or three (trigonometric form; the
// middle one, where a cubic with a positive leading coefficient falls, is
// not needed). A pair of nearly equal roots that rounding turns complex is
// lost, which costs nothing: the likelihood barely changes between them, and
// the rising root elsewhere is still found.
int risingRootCandidates(const Cubic& g, double roots[3]) {
  const double a = g.c2 / 2.0, b = g.c1 / 2.0, c = g.c0 / 2.0;
  const double a3 = a / 3.0;
  const double Q = (a * a - 3.0 * b) / 9.0;
  const double R = (2.0 * a * a * a - 9.0 * a * b + 27.0 * c) / 54.0;
  const double Q3 = Q * Q * Q;
  if (R * R < Q3) {
    const double sq = std::sqrt(Q);
    double ratio = R / (sq * Q);
    if (ratio > 1.0) ratio = 1.0;
    if (ratio < -1.0) ratio = -1.0;
    // theta / 3 lies in [0, pi / 3]: the second cosine from the first.
    const double co = std::cos(std::acos(ratio) / 3.0);
    const double si = std::sqrt(std::fmax(0.0, 1.0 - co * co));
    constexpr double kHalfRoot3 = 0.86602540378443864676;
    roots[0] = -2.0 * sq * co - a3;                              // smallest
    roots[1] = -2.0 * sq * (-0.5 * co - kHalfRoot3 * si) - a3;  // largest, cos((theta + 2 pi) / 3)
    return 2;
  }
  const double S = -std::copysign(std::cbrt(std::fabs(R) + std::sqrt(R * R - Q3)), R);
  const double T = S == 0.0 ? 0.0 : Q / S;
  roots[0] = S + T - a3;
  return 1;
}

}  // namespace

double twoLocusLogLikelihood(const int counts[9], const double f[4]) {
  const double p[9] = {f[0] * f[0],        2.0 * f[0] * f[1],
                       f[1] * f[1],        2.0 * f[0] * f[2],
                       2.0 * (f[0] * f[3] + f[1] * f[2]), 2.0 * f[1] * f[3],
                       f[2] * f[2],        2.0 * f[2] * f[3],
                       f[3] * f[3]};
  double s = 0.0, magnitude = 0.0;
  for (int g = 0; g < 9; ++g) s += term(static_cast<double>(counts[g]), p[g], magnitude);
  return s;
}

TwoLocusEstimate twoLocusMle(const int n[9]) {
  TwoLocusEstimate e;
  long long total = 0;
  for (int g = 0; g < 9; ++g) total += n[g] > 0 ? n[g] : 0;
  auto count = [&](int g) { return n[g] > 0 ? static_cast<double>(n[g]) : 0.0; };
  e.numIndividuals = static_cast<int>(total);
  e.doubleHeterozygous = n[4] > 0 ? n[4] : 0;
  if (total == 0) return e;

  PhaseCounts c;
  c.x11 = 2.0 * count(0) + count(1) + count(3);
  c.x12 = 2.0 * count(2) + count(1) + count(5);
  c.x21 = 2.0 * count(6) + count(3) + count(7);
  c.x22 = 2.0 * count(8) + count(5) + count(7);
  c.h = count(4);
  const double twoN = 2.0 * static_cast<double>(total);

  double best = 0.0;
  if (c.h > 0.0) {
    // g(t) = t (P11 P22 + P12 P21) - h P11 P22 expanded.
    const double u = c.x11 + c.x22, v = c.x12 + c.x21 + 2.0 * c.h;
    const double A = c.x11 * c.x22, B = (c.x12 + c.h) * (c.x21 + c.h);
    const Cubic g{u - v - c.h, A + B - c.h * u, -c.h * A};

    // The log-likelihood rises where g < 0 and falls where g > 0
    // (its slope is -g times a positive factor), so its maxima on [0, H] are
    // the roots where g turns from negative to positive, ends included
    // (g(0) = -H x11 x22 <= 0 <= g(H) = H x12 x21: an end is a maximum only
    // as such a root). Roots where g falls are minima and are left out.
    double points[3 + 2];
    int m = 0;
    auto keep = [&](double t) {
      if (g.slope(t) < 0.0) return;
      for (int q = 0; q < m; ++q)
        if (points[q] == t) return;
      points[m++] = t;
    };
    // Rounding may put a root at an end just outside; it is then that end.
    const double slack = 1e-9 * (c.h > 1.0 ? c.h : 1.0);
    auto polishAndKeep = [&](double t) {
      if (!std::isfinite(t)) return;
      t = polish(g, t);
      if (t < -slack || t > c.h + slack) return;
      keep(t < 0.0 ? 0.0 : t > c.h ? c.h : t);
    };
    double roots[3];
    if (A == 0.0) {
      // g(0) = 0: t (2 t^2 + c2 t + c1), a quadratic for the rest.
      keep(0.0);
      const int k = quadraticRoots(g.c2, g.c1, roots);
      for (int r = 0; r < k; ++r) polishAndKeep(roots[r]);
    } else if (c.x12 * c.x21 == 0.0) {
      // g(H) = 0: (t - H)(2 t^2 + (c2 + 2H) t + x11 x22).
      keep(c.h);
      const int k = quadraticRoots(g.c2 + 2.0 * c.h, A, roots);
      for (int r = 0; r < k; ++r) polishAndKeep(roots[r]);
    } else {
      const int k = risingRootCandidates(g, roots);
      for (int r = 0; r < k; ++r) polishAndKeep(roots[r]);
    }
    // Should rounding ever leave no rising root, both ends stand in.
    if (m == 0) {
      points[m++] = 0.0;
      points[m++] = c.h;
    }
    e.candidates = m;

    if (m == 1) {
      best = points[0];
    } else {
      double value[5], magnitude[5];
      double top = kMinusInfinity, scale = 0.0;
      for (int p = 0; p < m; ++p) {
        value[p] = logLikelihood(c, points[p], magnitude[p]);
        if (value[p] > top) {
          top = value[p];
          scale = magnitude[p];
        }
      }
      // Within a few rounding units of the largest value: a tie, settled by
      // the smaller |D| (proportional to A - B + 2N t), then the smaller t.
      const double tolerance = 4.0 * DBL_EPSILON * scale;
      int chosen = -1;
      double chosenD = 0.0;
      for (int p = 0; p < m; ++p) {
        if (!(value[p] >= top - tolerance)) continue;
        const double d = std::fabs(A - B + twoN * points[p]);
        if (chosen < 0 || d < chosenD || (d == chosenD && points[p] < points[chosen])) {
          chosen = p;
          chosenD = d;
        }
      }
      // Some point has a finite likelihood whenever N > 0, so one is
      // chosen; t = 0 stands in should rounding ever say otherwise.
      best = chosen >= 0 ? points[chosen] : 0.0;
    }
  }
  e.phaseCount = best;
  e.freq[0] = c.p11(best) / twoN;
  e.freq[1] = c.p12(best) / twoN;
  e.freq[2] = c.p21(best) / twoN;
  e.freq[3] = c.p22(best) / twoN;
  return e;
}
