// Eigenvalues of a general real matrix: balancing, then the double-shift QR
// iteration for upper Hessenberg matrices. The root finder and the condition
// test both reach their eigenvalues through here.
#ifndef TALLOWFIT_NUMERIC_HESSENBERG_QR_H
#define TALLOWFIT_NUMERIC_HESSENBERG_QR_H

#include <cmath>
#include <cstdint>

#include "numeric/row_matrix.h"

namespace tallowfit {

// |v| carrying the sign of p; p == 0 counts as negative.
inline double signOf(double v, double p) { return p > 0.0 ? std::fabs(v) : -std::fabs(v); }

// Balances the size x size matrix in place by exact powers of two.
void balanceMatrix(RowMatrix matrix, int size);

// All eigenvalues of an upper Hessenberg matrix, which is destroyed.
// kStatusOk or kStatusNoConvergence.
int32_t hessenbergQrEigenvalues(RowMatrix matrix, int size, double* realParts,
                                double* imagParts);

}  // namespace tallowfit

#endif
