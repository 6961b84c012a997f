// The power series c[0] + c[1] x + ... + c[n-1] x^(n-1): the model of a
// polynomial fit and of the linear fits that transform to one. Its
// derivatives are the powers of x; the solvers recognise its model function
// and evaluate it inline, as the same products and sums in the same order,
// where they would otherwise call it once per point.
#ifndef TALLOWFIT_NUMERIC_POWER_SERIES_H
#define TALLOWFIT_NUMERIC_POWER_SERIES_H

#include <cstdint>

#include "numeric/model_function.h"

namespace tallowfit {

// Horner's rule over c[first] .. c[n-1]: c[first] + x*(c[first+1] + ... + x*c[n-1]).
inline double hornerFrom(const double* c, int32_t first, int32_t n, double x) {
    double sum = c[n - 1];
    for (int32_t k = n - 2; k >= first; --k) sum = c[k] + x * sum;
    return sum;
}

// d[k] = x*d[k-1] for k = first+1 .. n-1; d[first] is already set.
inline void continueGeometric(double* d, int32_t first, int32_t n, double x) {
    for (int32_t k = first + 1; k < n; ++k) d[k] = x * d[k - 1];
}

// The derivatives of the series: 1, x, x*x, ... as successive products.
inline void storePowerBasis(double* d, int32_t n, double x) {
    d[0] = 1.0;
    continueGeometric(d, 0, n, x);
}

// The series as a model function: *y, and the derivatives when asked for.
int32_t evalPowerSeries(double x, const ModelEvaluation* evaluation, double* y);

}  // namespace tallowfit

#endif
