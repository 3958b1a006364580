#pragma once

// Regularized incomplete beta function and its inverse, for quantiles of
// beta distributions (the order statistics of uniform p-values). Unlike the
// functions of Distributions.h these print nothing: an argument outside the
// domain gives NaN.
namespace stats {

// I_x(a, b) = B(x; a, b) / B(a, b) for a > 0, b > 0, 0 <= x <= 1.
double incomplete_beta(double a, double b, double x);
// The x in [0, 1] with I_x(a, b) = y, for a > 0, b > 0, 0 <= y <= 1.
double incomplete_beta_inverse(double a, double b, double y);

}  // namespace stats
