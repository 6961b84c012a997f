// Weighted linear least squares by the normal equations, with held coefficients.
#ifndef TALLOWFIT_NUMERIC_LEAST_SQUARES_H
#define TALLOWFIT_NUMERIC_LEAST_SQUARES_H

#include <cstdint>

#include "model_function.h"
#include "row_matrix.h"

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
