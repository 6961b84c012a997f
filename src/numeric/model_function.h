// How the solvers evaluate any model: a plain function pointer called once per
// point and pass with the coefficients and, when wanted, room for the partial
// derivatives.
#ifndef TALLOWFIT_NUMERIC_MODEL_FUNCTION_H
#define TALLOWFIT_NUMERIC_MODEL_FUNCTION_H

#include <cstdint>

namespace tallowfit {

struct ModelEvaluation {
    const double* parameters;  // c[0] .. c[count-1]
    double* derivatives;       // dy/dc[k] for every k, or null for the value only
    int32_t count;
};

// kStatusOk when *y (and the derivatives, when asked for) are stored,
// kStatusInvalidArgument when the model cannot be evaluated at x.
typedef int32_t (*ModelFunction)(double x, const ModelEvaluation* evaluation, double* y);

}  // namespace tallowfit

#endif
