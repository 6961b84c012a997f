// Eigenvalues of a square matrix and the condition figure taken from them:
// log10 of the ratio of the largest to the smallest eigenvalue modulus.
#ifndef TALLOWFIT_NUMERIC_EIGEN_CONDITION_H
#define TALLOWFIT_NUMERIC_EIGEN_CONDITION_H

#include <cstdint>

#include "numeric/row_matrix.h"

namespace tallowfit {

// The figure given when the smallest (or largest) eigenvalue modulus is zero.
constexpr double kSingularConditionFigure = 1e10;

// Reads matrix (n x n) only. On kStatusOk eigenvalues holds the n eigenvalues
// (symmetric method) or their moduli (general method) and *figure is written.
// kStatusOk, kStatusOutOfMemory or kStatusNoConvergence.
int32_t computeEigenvalueCondition(RowMatrix matrix, double* eigenvalues, int n, double* figure,
                                   int32_t symmetric);

// Householder reduction of a symmetric matrix (lower triangle read) to
// tridiagonal form; offDiagonal[i] couples rows i-1 and i, offDiagonal[0] = 0.
void tridiagonalizeSymmetric(RowMatrix matrix, int n, double* diagonal, double* offDiagonal);

// QL iteration with implicit shifts; diagonal becomes the eigenvalues.
// kStatusOk or kStatusNoConvergence.
int32_t tridiagonalQlEigenvalues(double* diagonal, double* offDiagonal, int n);

// Reduction to upper Hessenberg form by elimination with pivoting; the
// multipliers stay below the sub-diagonal.
void reduceToHessenberg(RowMatrix matrix, int n);

}  // namespace tallowfit

#endif
