#pragma once

// Gamma, incomplete gamma and normal quantile functions, and the chi-square
// upper-tail probability every printed p-value comes from. IEEE double.
namespace stats {

extern thread_local int sign_of_gamma;    // sign of the gamma function at the last argument (of this thread)
extern thread_local int last_math_error;  // the code last passed to math_error (on this thread)
// The same code read and reset through the defining unit: another unit's
// access to a thread_local of a static library goes through a weak wrapper
// that the sanitizer build sees as a null pointer.
int lastMathError();
void clearMathError();

enum MathErrorCode {
  kMathDomain = 1,
  kMathSingularity = 2,
  kMathOverflow = 3,
  kMathUnderflow = 4,
  kMathTotalLoss = 5,
  kMathPartialLoss = 6
};

double poly_eval(double x, const double coef[], int n);
double poly_eval1(double x, const double coef[], int n);
int math_error(const char* name, int code);

double lgam(double x);
double igam(double a, double x);
double igamc(double a, double x);
double chi_square_p(int df, double x);
double chi_square_p_checked(int df, double x);

// Present only in the full build (snpxtab, hapxtab).
double gamma(double x);
double stirling_gamma(double x);
double igami(double a, double y0);
double ndtri(double y0);

}  // namespace stats
