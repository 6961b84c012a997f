// Gauss-Jordan inversion with full pivoting, optionally behind a condition test.
#ifndef TALLOWFIT_NUMERIC_MATRIX_INVERSION_H
#define TALLOWFIT_NUMERIC_MATRIX_INVERSION_H

#include <cstdint>

#include "row_matrix.h"

namespace tallowfit {

// A matrix whose condition figure (log10) reaches this is refused.
constexpr double kConditionLimitLog10 = 16.0;

// a (n x n) becomes its inverse; b (n x m, or null) becomes the solution of
// A X = B. kStatusOk, kStatusIllConditioned or kStatusOutOfMemory.
int32_t invertMatrix(RowMatrix a, int n, RowMatrix b, int m);

// invertMatrix behind the eigenvalue condition test (norm test as fallback).
int32_t invertMatrixChecked(RowMatrix a, int n, RowMatrix b, int m);

}  // namespace tallowfit

#endif
