// Gauss-Jordan inversion with full pivoting, optionally behind a condition test.
#ifndef TALLOWFIT_NUMERIC_MATRIX_INVERSION_H
#define TALLOWFIT_NUMERIC_MATRIX_INVERSION_H

#include <cstdint>

#include "numeric/row_matrix.h"

namespace tallowfit {

// A matrix whose condition figure (log10) reaches this is refused.
constexpr double kConditionLimitLog10 = 16.0;

// a (n x n) becomes its inverse; b (n x m, or null) becomes the solution of
// A X = B. kStatusOk, kStatusIllConditioned or kStatusOutOfMemory.
int32_t invertMatrix(RowMatrix a, int n, RowMatrix b, int m);

// invertMatrix behind the eigenvalue condition test (norm test as fallback).
// Orders up to 32767: the test runs on 16-bit loop counters.
int32_t invertMatrixChecked(RowMatrix a, int n, RowMatrix b, int m);

// The solvers' choice between the two: invertMatrixChecked when
// checkConditioning is non-zero, invertMatrix otherwise.
int32_t invertForSolver(RowMatrix a, int n, RowMatrix b, int m, int checkConditioning);

// Exchanges of two rows (over the given number of columns) or of two columns
// (over the given number of rows), element by element: the row table of the
// matrix never changes.
void exchangeRows(RowMatrix matrix, int first, int second, int columns);
void exchangeColumns(RowMatrix matrix, int first, int second, int rows);

}  // namespace tallowfit

#endif
