// All real and complex roots of a polynomial: the eigenvalues of its balanced
// companion matrix by the double-shift Hessenberg QR iteration.
#ifndef TALLOWFIT_NUMERIC_POLYNOMIAL_ROOTS_H
#define TALLOWFIT_NUMERIC_POLYNOMIAL_ROOTS_H

#include <cstdint>

namespace tallowfit {

// Degree 24 at most.
constexpr int32_t kMaxPolynomialCoefficients = 25;

// coefficients[k] is the coefficient of x^k; realParts and imagParts have room
// for count doubles. Root k goes to element k of both (k < count - 1).
// kStatusOk, kStatusInvalidArgument, kStatusOutOfMemory or kStatusNoConvergence.
int32_t computePolynomialRoots(const double* coefficients, int32_t count, double* realParts,
                               double* imagParts);

}  // namespace tallowfit

#endif
