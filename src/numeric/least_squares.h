// Weighted linear least squares by the normal equations, with held coefficients.
#ifndef TALLOWFIT_NUMERIC_LEAST_SQUARES_H
#define TALLOWFIT_NUMERIC_LEAST_SQUARES_H

#include <cstdint>

#include "numeric/fit_mask.h"
#include "numeric/model_function.h"
#include "numeric/row_matrix.h"

namespace tallowfit {

// The points as the solvers see them; none of the records owns its arrays.
struct FitData {
    const double* x;
    const double* xUnc;  // never read by the solvers
    const double* y;
    const double* yUnc;
    uint32_t count;
};

struct FitParameters {
    double* values;           // start values in, fitted values out
    unsigned char* fitMask;   // non-zero: adjusted; zero: held at its value
    uint32_t count;
};

struct FitSolution {
    RowMatrix covariance;  // count x count of the FitParameters, caller's storage
    double sumSquares;
    double chiSquare;
};

// kStatusInvalidArgument when a record, the model, an array or a count is
// missing (covariance with its first row included), kStatusOk otherwise.
int32_t validateFitRecords(const FitData* data, const FitParameters* parameters,
                           const FitSolution* solution, ModelFunction model);

// The weight of a point: 1 / yUnc^2, or 1 when the uncertainty is exactly 0.
inline double pointWeight(double yUnc) { return yUnc == 0.0 ? 1.0 : 1.0 / (yUnc * yUnc); }

// Adds one weighted point to the normal equations of the f adjusted
// coefficients, adjusted[j] being the index of the one numbered j (listAdjusted):
// for each j, t = weight x derivatives[adjusted[j]] adds
// t x derivatives[adjusted[q]] to matrix[j][q] for every q <= j, then
// t x residual goes to addToVector(j, term). Only the lower triangle is built.
template <typename Count, typename Matrix, typename AddToVector>
inline void accumulatePoint(const uint32_t* adjusted, Count f, const double* derivatives,
                            double weight, double residual, Matrix& matrix,
                            AddToVector addToVector) {
    // Unrolled, a fixed count lets the refinement keep its sums in registers.
#pragma GCC unroll 4
    for (uint32_t j = 0; j < f; ++j) {
        const double t = weight * derivatives[adjusted[j]];
        double* row = matrix[j];
#pragma GCC unroll 4
        for (uint32_t q = 0; q <= j; ++q) row[q] = row[q] + t * derivatives[adjusted[q]];
        addToVector(j, t * residual);
    }
}

// Copies the lower triangle of the top-left f x f block into the upper one.
void mirrorLowerTriangle(RowMatrix matrix, uint32_t f);

// kStatusOk, kStatusInvalidArgument, kStatusOutOfMemory, a solver status of
// the inversion, or a model function's status.
int32_t fitLinear(const FitData* data, FitParameters* parameters, FitSolution* solution,
                  ModelFunction model, int checkConditioning);

// Spreads the covariance of the f adjusted coefficients (top-left block, compact
// numbering) over the m x m matrix indexed by coefficient; held rows and
// columns become zero.
void expandCovariance(RowMatrix covariance, uint32_t m, const unsigned char* fitMask, uint32_t f);

}  // namespace tallowfit

#endif
