#include "stats/Distributions.h"

#include <array>
#include <cmath>
#include <cstdio>

namespace stats {

thread_local int sign_of_gamma = 1;
thread_local int last_math_error = 0;

int lastMathError() { return last_math_error; }
void clearMathError() { last_math_error = 0; }

namespace {

constexpr double MAXLOG = 709.782712893383996843;
constexpr double MACHEP = 1.38777878078144567553e-17;
constexpr double MAXNUM = 1.79769313486231570815e308;
constexpr double BIG = 4503599627370496.0;
constexpr double BIGINV = 2.22044604925031308085e-16;
constexpr double PI = 3.14159265358979323846;
constexpr double LOGPI = 1.14472988584940017414;
constexpr double LS2PI = 0.91893853320467274178;
constexpr double MAXLGM = 2.556348e305;

const double LGAM_A[] = {8.11614167470508450300E-4, -5.95061904284301438324E-4, 7.93650340457716943945E-4,
                         -2.77777777730099687205E-3, 8.33333333333331927722E-2};
const double LGAM_B[] = {-1.37825152569120859100E3, -3.88016315134637840924E4, -3.31612992738871184744E5,
                         -1.16237097492762307383E6, -1.72173700820839662146E6, -8.53555664245765465627E5};
const double LGAM_C[] = {-3.51815701436523470549E2, -1.70642106651881159223E4, -2.20528590553854454839E5,
                         -1.13933444367982507207E6, -2.53252307177582951285E6, -2.01889141433532773231E6};

const char* const kErrorWords[7] = {"unknown",  "domain", "singularity", "overflow", "underflow",
                                    "total loss of precision", "partial loss of precision"};

// The underflow diagnostic is written in the CP949 code page: the two byte
// pairs below spell the word for "error".
#define ERROR_WORD_CP949 "\xBF\xA1\xB7\xAF"

}  // namespace

double poly_eval(double x, const double coef[], int n) {
  const double* p = coef;
  double ans = *p++;
  int i = n;
  do {
    ans = ans * x + *p++;
  } while (--i);
  return ans;
}

double poly_eval1(double x, const double coef[], int n) {
  const double* p = coef;
  double ans = x + *p++;
  int i = n - 1;
  do {
    ans = ans * x + *p++;
  } while (--i);
  return ans;
}

int math_error(const char* name, int code) {
  printf("\n%s ", name);
  last_math_error = code;
  if (code <= 0 || code >= 7) code = 0;
  printf("%s error\n", kErrorWords[code]);
  fflush(stdout);
  return 0;
}

double lgam(double x) {
  double p, q, u, w, z;
  int i;

  sign_of_gamma = 1;

  if (x < -34.0) {
    q = -x;
    w = lgam(q);
    p = std::floor(q);
    if (p == q) goto lgsing;
    i = static_cast<int>(p);
    if ((i & 1) == 0)
      sign_of_gamma = -1;
    else
      sign_of_gamma = 1;
    z = q - p;
    if (z > 0.5) {
      p += 1.0;
      z = p - q;
    }
    z = q * std::sin(PI * z);
    if (z == 0.0) goto lgsing;
    z = LOGPI - std::log(z) - w;
    return z;
  }

  if (x < 13.0) {
    z = 1.0;
    p = 0.0;
    u = x;
    while (u >= 3.0) {
      p -= 1.0;
      u = x + p;
      z *= u;
    }
    while (u < 2.0) {
      if (u == 0.0) goto lgsing;
      z /= u;
      p += 1.0;
      u = x + p;
    }
    if (z < 0.0) {
      sign_of_gamma = -1;
      z = -z;
    } else {
      sign_of_gamma = 1;
    }
    if (u == 2.0) return std::log(z);
    p -= 2.0;
    x = x + p;
    p = x * poly_eval(x, LGAM_B, 5) / poly_eval1(x, LGAM_C, 6);
    return std::log(z) + p;
  }

  if (x > MAXLGM) goto lgsing;

  q = (x - 0.5) * std::log(x) - x + LS2PI;
  if (x > 1.0e8) return q;

  p = 1.0 / (x * x);
  if (x >= 1000.0)
    q += ((7.9365079365079365079365e-4 * p - 2.7777777777777777777778e-3) * p + 0.0833333333333333333333) / x;
  else
    q += poly_eval(p, LGAM_A, 4) / x;
  return q;

lgsing:
  math_error("lgam", kMathOverflow);
  return sign_of_gamma * MAXNUM;
}

namespace {
// lgamA, when given, is lgam(a) worked out before; otherwise it is worked out
// where it is needed, as before.
double igamcKnown(double a, double x, const double* lgamA);

double igamKnown(double a, double x, const double* lgamA) {
  if (x <= 0.0 || a <= 0.0) return 0.0;
  if (x > 1.0 && x > a) return 1.0 - igamcKnown(a, x, lgamA);

  double ax = a * std::log(x) - x - (lgamA ? *lgamA : lgam(a));
  if (ax < -MAXLOG) {
    printf("igam " ERROR_WORD_CP949 " : ax->%f   -MAXLOG->%f \n", ax, -MAXLOG);
    math_error("igam", kMathUnderflow);
    return 0.0;
  }
  ax = std::exp(ax);

  double r = a, c = 1.0, ans = 1.0;
  do {
    r += 1.0;
    c *= x / r;
    ans += c;
  } while (c / ans > MACHEP);
  return ans * ax / a;
}

double igamcKnown(double a, double x, const double* lgamA) {
  if (x <= 0.0 || a <= 0.0) return 1.0;
  if (x < 1.0 || x < a) return 1.0 - igamKnown(a, x, lgamA);

  double ax = a * std::log(x) - x - (lgamA ? *lgamA : lgam(a));
  if (ax < -MAXLOG) {
#ifndef STATS_ENGINE_BUILD
    printf("igamc " ERROR_WORD_CP949 " : ax->%f   -MAXLOG->%f \n", ax, -MAXLOG);
    math_error("igamc", kMathUnderflow);
#endif
    return 0.0;
  }
  ax = std::exp(ax);

  double y = 1.0 - a;
  double z = x + y + 1.0;
  double c = 0.0;
  double pkm2 = 1.0;
  double qkm2 = x;
  double pkm1 = x + 1.0;
  double qkm1 = z * x;
  double ans = pkm1 / qkm1;
  double t;
  do {
    c += 1.0;
    y += 1.0;
    z += 2.0;
    double yc = y * c;
    double pk = pkm1 * z - pkm2 * yc;
    double qk = qkm1 * z - qkm2 * yc;
    if (qk != 0) {
      double r = pk / qk;
      t = std::fabs((ans - r) / r);
      ans = r;
    } else {
      t = 1.0;
    }
    pkm2 = pkm1;
    pkm1 = pk;
    qkm2 = qkm1;
    qkm1 = qk;
    if (std::fabs(pk) > BIG) {
      pkm2 *= BIGINV;
      pkm1 *= BIGINV;
      qkm2 *= BIGINV;
      qkm1 *= BIGINV;
    }
  } while (t > MACHEP);
  return ans * ax;
}
}  // namespace

double igam(double a, double x) { return igamKnown(a, x, nullptr); }
double igamc(double a, double x) { return igamcKnown(a, x, nullptr); }

// Nearly every test has a few degrees of freedom: lgam of their halves is
// worked out once (the same values, so the same p-values).
double chi_square_p(int df, double x) {
  constexpr int kKept = 16;
  if (df >= 1 && df <= kKept) {
    static const auto halfLgam = [] {
      std::array<double, kKept + 1> t{};
      for (int d = 1; d <= kKept; ++d) t[d] = lgam(d * 0.5);
      return t;
    }();
    return igamcKnown(df * 0.5, x * 0.5, &halfLgam[df]);
  }
  return igamc(df * 0.5, x * 0.5);
}

double chi_square_p_checked(int df, double x) {
  if (x < 0.0) return 1.0;
  return chi_square_p(df, x);
}

#ifndef STATS_ENGINE_BUILD

namespace {

constexpr double SQTPI = 2.50662827463100050242;
constexpr double S2PI = 2.50662827463100050242;
constexpr double MAXSTIR = 143.01608;

const double GAMMA_P[] = {1.60119522476751861407E-4, 1.19135147006586384913E-3, 1.04213797561761569935E-2,
                          4.76367800457137231464E-2, 2.07448227648435975150E-1, 4.94214826801497100753E-1,
                          9.99999999999999996796E-1};
const double GAMMA_Q[] = {-2.31581873324120129819E-5, 5.39605580493303397842E-4, -4.45641913851797240494E-3,
                          1.18139785222060435552E-2,  3.58236398605498653373E-2, -2.34591795718243348568E-1,
                          7.14304917030273074085E-2,  1.00000000000000000320E0};
const double STIR[] = {7.87311395793093628397E-4, -2.29549961613378126380E-4, -2.68132617805781232825E-3,
                       3.47222221605458667310E-3, 8.33333333333482257126E-2};

const double NDTRI_P0[] = {-5.99633501014107895267E1, 9.80010754185999661536E1, -5.66762857469070293439E1,
                           1.39312609387279679503E1, -1.23916583867381258016E0};
const double NDTRI_Q0[] = {1.95448858338141759834E0,  4.67627912898881538453E0,  8.63602421390890590575E1,
                           -2.25462687854119370527E2, 2.00260212380060660359E2,  -8.20372256168333339912E1,
                           1.59056225126211695515E1,  -1.18331621121330003142E0};
const double NDTRI_P1[] = {4.05544892305962419923E0,  3.15251094599893866154E1,  5.71628192246421288162E1,
                           4.40805073893200834700E1,  1.46849561928858024014E1,  2.18663306850790267539E0,
                           -1.40256079171354495875E-1, -3.50424626827848203418E-2, -8.57456785154685413611E-4};
const double NDTRI_Q1[] = {1.57799883256466749731E1,  4.53907635128879210584E1,  4.13172038254672030440E1,
                           1.50425385692907503408E1,  2.50464946208309415979E0,  -1.42182922854787788574E-1,
                           -3.80806407691578277194E-2, -9.33259480895457427372E-4};
const double NDTRI_P2[] = {3.23774891776946035970E0, 6.91522889068984211695E0, 3.93881025292474443415E0,
                           1.33303460815807542389E0, 2.01485389549179081538E-1, 1.23716634817820021358E-2,
                           3.01581553508235416007E-4, 2.65806974686737550832E-6, 6.23974539184983293730E-9};
const double NDTRI_Q2[] = {6.02427039364742014255E0, 3.67983563856160859403E0, 1.37702099489081330271E0,
                           2.16236993594496635890E-1, 1.34204006088543189037E-2, 3.28014464682127739104E-4,
                           2.89247864745380683936E-6, 6.79019408009981274425E-9};

}  // namespace

double stirling_gamma(double x) {
  double w = 1.0 / x;
  w = 1.0 + w * poly_eval(w, STIR, 4);
  double y = std::exp(x);
  if (x > MAXSTIR) {
    double v = std::pow(x, 0.5 * x - 0.25);
    y = v * (v / y);
  } else {
    y = std::pow(x, x - 0.5) / y;
  }
  return SQTPI * y * w;
}

double gamma(double x) {
  double p, q, z;
  int i;

  sign_of_gamma = 1;
  q = std::fabs(x);

  if (q > 33.0) {
    if (x < 0.0) {
      p = std::floor(q);
      if (p == q) {
        math_error("gamma", kMathOverflow);
        return sign_of_gamma * MAXNUM;
      }
      i = static_cast<int>(p);
      if ((i & 1) == 0) sign_of_gamma = -1;
      z = q - p;
      if (z > 0.5) {
        p += 1.0;
        z = q - p;
      }
      z = q * std::sin(PI * z);
      if (z == 0.0) {
        math_error("gamma", kMathOverflow);
        return sign_of_gamma * MAXNUM;
      }
      z = std::fabs(z);
      z = PI / (z * stirling_gamma(q));
      return sign_of_gamma * z;
    }
    return sign_of_gamma * stirling_gamma(x);
  }

  z = 1.0;
  while (x >= 3.0) {
    x -= 1.0;
    z *= x;
  }
  while (x < 0.0) {
    if (x > -1.E-9) goto small;
    z /= x;
    x += 1.0;
  }
  while (x < 2.0) {
    if (x < 1.e-9) goto small;
    z /= x;
    x += 1.0;
  }
  if (x == 2.0) return z;

  x -= 2.0;
  p = poly_eval(x, GAMMA_P, 6);
  q = poly_eval(x, GAMMA_Q, 7);
  return z * p / q;

small:
  if (x == 0.0) {
    math_error("gamma", kMathSingularity);
    return MAXNUM;
  }
  return z / ((1.0 + 0.5772156649015329 * x) * x);
}

double ndtri(double y0) {
  if (y0 <= 0.0) {
    math_error("ndtri", kMathDomain);
    return -MAXNUM;
  }
  if (y0 >= 1.0) {
    math_error("ndtri", kMathDomain);
    return MAXNUM;
  }
  int code = 1;
  double y = y0;
  if (y > (1.0 - 0.13533528323661269189)) {
    y = 1.0 - y;
    code = 0;
  }
  if (y > 0.13533528323661269189) {
    y = y - 0.5;
    double y2 = y * y;
    double x = y + y * (y2 * poly_eval(y2, NDTRI_P0, 4) / poly_eval1(y2, NDTRI_Q0, 8));
    return x * S2PI;
  }
  double x = std::sqrt(-2.0 * std::log(y));
  double x0 = x - std::log(x) / x;
  double z = 1.0 / x;
  double x1;
  if (x < 8.0)
    x1 = z * poly_eval(z, NDTRI_P1, 8) / poly_eval1(z, NDTRI_Q1, 8);
  else
    x1 = z * poly_eval(z, NDTRI_P2, 8) / poly_eval1(z, NDTRI_Q2, 8);
  x = x0 - x1;
  if (code != 0) x = -x;
  return x;
}

double igami(double a, double y0) {
  double x0 = MAXNUM, yl = 0.0, x1 = 0.0, yh = 1.0;
  const double dithresh = 5.0 * MACHEP;

  double d = 1.0 / (9.0 * a);
  double y = 1.0 - d - ndtri(y0) * std::sqrt(d);
  double x = a * y * y * y;
  double lgm = lgam(a);

  for (int i = 0; i < 10; ++i) {
    if (x > x0 || x < x1) goto ihalve;
    y = igamc(a, x);
    if (y < yl || y > yh) goto ihalve;
    if (y < y0) {
      x0 = x;
      yl = y;
    } else {
      x1 = x;
      yh = y;
    }
    d = (a - 1.0) * std::log(x) - x - lgm;
    if (d < -MAXLOG) goto ihalve;
    d = -std::exp(d);
    d = (y - y0) / d;
    if (std::fabs(d / x) < MACHEP) goto done;
    x = x - d;
  }

ihalve:
  d = 0.0625;
  if (x0 == MAXNUM) {
    if (x <= 0.0) x = 1.0;
    while (x0 == MAXNUM) {
      x = (1.0 + d) * x;
      y = igamc(a, x);
      if (y < y0) {
        x0 = x;
        yl = y;
        break;
      }
      d = d + d;
    }
  }
  d = 0.5;
  {
    int dir = 0;
    for (int i = 0; i < 400; ++i) {
      x = x1 + d * (x0 - x1);
      y = igamc(a, x);
      lgm = (x0 - x1) / (x1 + x0);
      if (std::fabs(lgm) < dithresh) break;
      lgm = (y - y0) / y0;
      if (std::fabs(lgm) < dithresh) break;
      if (x <= 0.0) break;
      if (y >= y0) {
        x1 = x;
        yh = y;
        if (dir < 0) {
          dir = 0;
          d = 0.5;
        } else if (dir > 1) {
          d = 0.5 * d + 0.5;
        } else {
          d = (y0 - yl) / (yh - yl);
        }
        dir += 1;
      } else {
        x0 = x;
        yl = y;
        if (dir > 0) {
          dir = 0;
          d = 0.5;
        } else if (dir < -1) {
          d = 0.5 * d;
        } else {
          d = (y0 - yl) / (yh - yl);
        }
        dir -= 1;
      }
    }
  }
  if (x == 0.0) math_error("igami", kMathUnderflow);

done:
  return x;
}

#endif

}  // namespace stats
