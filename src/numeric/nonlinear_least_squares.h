// Levenberg-Marquardt refinement of the coefficients of a nonlinear model.
#ifndef TALLOWFIT_NUMERIC_NONLINEAR_LEAST_SQUARES_H
#define TALLOWFIT_NUMERIC_NONLINEAR_LEAST_SQUARES_H

#include <cstdint>

#include "numeric/least_squares.h"
#include "numeric/model_function.h"
#include "numeric/row_matrix.h"

namespace tallowfit {

// Kept by the caller between calls of marquardtStep; zero-filled before the
// start call. The four arrays are allocated by the start call and released by
// the final call (or by releaseMarquardtState after a failure).
struct MarquardtState {
    RowMatrix rightHandSide;  // f rows of one double
    double* trial;            // m
    double* gradient;         // m, first f used
    double* step;             // m, first f used
    double previousChiSquare;
    int32_t adjustedCount;    // f
    int32_t checkConditioning;
};

// Curvature matrix (top-left f x f block), gradient, chi-square and sum of
// squares at the given coefficients.
int32_t computeCurvature(const double* x, const double* y, const double* yUnc, uint32_t n,
                         const double* coefficients, const unsigned char* fitMask, uint32_t m,
                         RowMatrix curvature, double* gradient, double* chiSquare,
                         double* sumSquares, ModelFunction model);

// One call of the iteration: *lambda < 0 starts it, *lambda == 0.0 finishes it.
int32_t marquardtStep(const FitData* data, FitParameters* parameters, FitSolution* solution,
                      ModelFunction model, RowMatrix curvature, double* lambda,
                      MarquardtState* state);

// Releases whatever arrays the state still holds and clears their pointers.
void releaseMarquardtState(MarquardtState* state);

// stallLimit <= 0 means 4, tolerance <= 0 means 0.001.
int32_t fitNonlinear(const FitData* data, FitParameters* parameters, FitSolution* solution,
                     ModelFunction model, int checkConditioning, int stallLimit,
                     double tolerance);

// The same, its passes evaluating the model through split (the split form of
// model, or null for the model function on every pass). The results are those
// of the call above to the bit.
int32_t fitNonlinear(const FitData* data, FitParameters* parameters, FitSolution* solution,
                     ModelFunction model, const PointInvariantModel* split,
                     int checkConditioning, int stallLimit, double tolerance);

}  // namespace tallowfit

#endif
