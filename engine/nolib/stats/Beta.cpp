#include "stats/Beta.h"

#include <cmath>
#include <limits>

#include "stats/Distributions.h"

namespace stats {

namespace {

constexpr double kEpsilon = 1e-15;
constexpr double kTiny = 1e-300;

// ln B(a, b) without touching the shared sign_of_gamma more than lgam does.
double log_beta(double a, double b) { return lgam(a) + lgam(b) - lgam(a + b); }

// Continued fraction of I_x(a, b) (modified Lentz), valid and fast for
// x < (a + 1) / (a + b + 2); its number of terms grows like sqrt(max(a, b)).
double beta_fraction(double a, double b, double x) {
  double qab = a + b, qap = a + 1.0, qam = a - 1.0;
  double c = 1.0;
  double d = 1.0 - qab * x / qap;
  if (std::fabs(d) < kTiny) d = kTiny;
  d = 1.0 / d;
  double h = d;
  for (int m = 1; m <= 100000; ++m) {
    double m2 = 2.0 * m;
    double aa = m * (b - m) * x / ((qam + m2) * (a + m2));
    d = 1.0 + aa * d;
    if (std::fabs(d) < kTiny) d = kTiny;
    c = 1.0 + aa / c;
    if (std::fabs(c) < kTiny) c = kTiny;
    d = 1.0 / d;
    h *= d * c;
    aa = -(a + m) * (qab + m) * x / ((a + m2) * (qap + m2));
    d = 1.0 + aa * d;
    if (std::fabs(d) < kTiny) d = kTiny;
    c = 1.0 + aa / c;
    if (std::fabs(c) < kTiny) c = kTiny;
    d = 1.0 / d;
    double del = d * c;
    h *= del;
    if (std::fabs(del - 1.0) < kEpsilon) break;
  }
  return h;
}

// ln of x^a (1-x)^b / B(a, b), the factor in front of the fraction.
double log_front(double a, double b, double x) {
  return a * std::log(x) + b * std::log1p(-x) - log_beta(a, b);
}

// A rough normal quantile (Abramowitz and Stegun 26.2.23, error < 4.5e-4):
// only a starting point for the Newton steps below.
double rough_normal_quantile(double p) {
  double q = p < 0.5 ? p : 1.0 - p;
  double t = std::sqrt(-2.0 * std::log(q));
  double z = t - (2.515517 + t * (0.802853 + t * 0.010328)) / (1.0 + t * (1.432788 + t * (0.189269 + t * 0.001308)));
  return p < 0.5 ? -z : z;
}

}  // namespace

double incomplete_beta(double a, double b, double x) {
  if (!(a > 0) || !(b > 0) || !(x >= 0) || !(x <= 1)) return std::numeric_limits<double>::quiet_NaN();
  if (x == 0) return 0;
  if (x == 1) return 1;
  // The fraction converges quickly only on the near side of the mean; the
  // far side uses I_x(a, b) = 1 - I_(1-x)(b, a).
  if (x < (a + 1.0) / (a + b + 2.0)) return std::exp(log_front(a, b, x)) * beta_fraction(a, b, x) / a;
  return 1.0 - std::exp(log_front(b, a, 1.0 - x)) * beta_fraction(b, a, 1.0 - x) / b;
}

double incomplete_beta_inverse(double a, double b, double y) {
  if (!(a > 0) || !(b > 0) || !(y >= 0) || !(y <= 1)) return std::numeric_limits<double>::quiet_NaN();
  if (y == 0) return 0;
  if (y == 1) return 1;

  // Starting point: a normal approximation of the beta distribution when
  // both shapes are at least 1, otherwise the leading term of the nearer tail.
  double x;
  if (a >= 1 && b >= 1) {
    double z = rough_normal_quantile(y);
    double mean = a / (a + b);
    double sd = std::sqrt(a * b / ((a + b) * (a + b) * (a + b + 1)));
    x = mean + z * sd;
  } else {
    double lb = log_beta(a, b);
    double low = std::exp((std::log(y * a) + lb) / a);          // I_x ~ x^a / (a B)
    double high = 1 - std::exp((std::log((1 - y) * b) + lb) / b);  // 1 - I_x ~ (1-x)^b / (b B)
    x = y < 0.5 ? low : high;
  }
  // Bracketed Newton steps: a step that leaves the bracket becomes a
  // bisection, so the search always ends.
  double lo = 0, hi = 1;
  if (!(x > 0 && x < 1)) x = 0.5;
  double lb = log_beta(a, b);
  for (int k = 0; k < 200; ++k) {
    double f = incomplete_beta(a, b, x) - y;
    if (f == 0) return x;
    if (f < 0) lo = x;
    else hi = x;
    double density = std::exp((a - 1) * std::log(x) + (b - 1) * std::log1p(-x) - lb);
    double next = density > 0 && std::isfinite(density) ? x - f / density : -1;
    if (!(next > lo && next < hi)) next = 0.5 * (lo + hi);
    if (std::fabs(next - x) <= 1e-15 * x || hi - lo <= 4 * std::numeric_limits<double>::min()) return next;
    x = next;
  }
  return x;
}

}  // namespace stats
