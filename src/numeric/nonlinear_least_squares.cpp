// Levenberg-Marquardt refinement: damped Gauss-Newton steps on the weighted
// chi-square until it stops improving.
#include "nonlinear_least_squares.h"

#include <cmath>

#include "allocation.h"
#include "fit_mask.h"
#include "matrix_inversion.h"
#include "status.h"

namespace tallowfit {
namespace {

constexpr double kStartLambda = 0.001;
constexpr double kAcceptedLambdaFactor = 0.1;
constexpr double kRejectedLambdaFactor = 10.0;
constexpr int kDefaultStallLimit = 4;
constexpr double kDefaultTolerance = 0.001;
// Damped calls before the final call at most. The stall rule alone need not
// end a fit whose chi-square keeps improving by the tolerance or more; the
// bound also keeps lambda, shrinking tenfold per accepted step, far from
// underflowing to the 0.0 that asks for the final call.
constexpr int kMaxDampedCalls = 100;

void copyBlockRow(double* target, const double* source, int32_t f) {
    for (int32_t q = 0; q < f; ++q) target[q] = source[q];
}

// The points of one curvature pass: model, weight, residual, normal equations.
int32_t accumulateCurvature(const double* x, const double* y, const double* yUnc, uint32_t n,
                            const ModelEvaluation* evaluation, const unsigned char* fitMask,
                            uint32_t m, RowMatrix curvature, double* gradient, double* chiSquare,
                            double* sumSquares, ModelFunction model) {
    int32_t status = kStatusOk;
    for (uint32_t i = 0; i < n && status == kStatusOk; ++i) {
        double yModel = 0.0;
        status = model(x[i], evaluation, &yModel);
        if (status == kStatusOk) {
            const double w = pointWeight(yUnc[i]);
            const double d = y[i] - yModel;
            accumulatePoint(fitMask, m, evaluation->derivatives, w, d, curvature,
                            [&](uint32_t j, double term) { gradient[j] = gradient[j] + term; });
            *chiSquare = *chiSquare + d * d * w;
            *sumSquares = *sumSquares + d * d;
        }
    }
    return status;
}

// Start call: the state's arrays, lambda, and the curvature at the start values.
int32_t startIteration(const FitData* data, FitParameters* parameters, FitSolution* solution,
                       ModelFunction model, RowMatrix curvature, double* lambda,
                       MarquardtState* state) {
    const uint32_t m = parameters->count;
    state->trial = allocateArray<double>(m);
    state->gradient = allocateArray<double>(m);
    state->step = allocateArray<double>(m);
    state->adjustedCount = static_cast<int32_t>(countAdjusted(parameters->fitMask, m));
    state->rightHandSide = allocateRowMatrix(state->adjustedCount, 1);
    int32_t status = kStatusOutOfMemory;
    if (state->trial && state->gradient && state->step && state->rightHandSide) {
        *lambda = kStartLambda;
        status = computeCurvature(data->x, data->y, data->yUnc, data->count, parameters->values,
                                  parameters->fitMask, m, curvature, state->gradient,
                                  &solution->chiSquare, &solution->sumSquares, model);
    }
    if (status == kStatusOk) {
        state->previousChiSquare = solution->chiSquare;
        for (uint32_t l = 0; l < m; ++l) state->trial[l] = parameters->values[l];
    }
    return status;
}

// The step from the accepted coefficients: the curvature block with its
// diagonal raised by the factor 1 + lambda, solved against the gradient in
// the solution's covariance matrix.
int32_t solveDampedSystem(FitSolution* solution, RowMatrix curvature, double lambda,
                          MarquardtState* state) {
    const int32_t f = state->adjustedCount;
    RowMatrix damped = solution->covariance;
    for (int32_t j = 0; j < f; ++j) {
        copyBlockRow(damped[j], curvature[j], f);
        damped[j][j] = curvature[j][j] * (1.0 + lambda);
        state->rightHandSide[j][0] = state->gradient[j];
    }
    const int32_t status =
        invertForSolver(damped, f, state->rightHandSide, 1, state->checkConditioning);
    if (status == kStatusOk) {
        for (int32_t j = 0; j < f; ++j) state->step[j] = state->rightHandSide[j][0];
    }
    return status;
}

// Evaluates the trial coefficients (curvature into covariance, gradient into
// step) and keeps them only when they lower the chi-square strictly.
int32_t tryStep(const FitData* data, FitParameters* parameters, FitSolution* solution,
                ModelFunction model, RowMatrix curvature, double* lambda, MarquardtState* state) {
    const uint32_t m = parameters->count;
    forEachAdjusted(parameters->fitMask, m, [&](uint32_t l, uint32_t j) {
        state->trial[l] = parameters->values[l] + state->step[j];
    });
    const int32_t status = computeCurvature(
        data->x, data->y, data->yUnc, data->count, state->trial, parameters->fitMask, m,
        solution->covariance, state->step, &solution->chiSquare, &solution->sumSquares, model);
    if (status == kStatusOk) {
        if (state->previousChiSquare > solution->chiSquare) {
            *lambda = *lambda * kAcceptedLambdaFactor;
            state->previousChiSquare = solution->chiSquare;
            forEachAdjusted(parameters->fitMask, m, [&](uint32_t l, uint32_t j) {
                copyBlockRow(curvature[j], solution->covariance[j], state->adjustedCount);
                state->gradient[j] = state->step[j];
                parameters->values[l] = state->trial[l];
            });
        } else {
            // sumSquares keeps the rejected trial's figure: it always belongs
            // to the most recent curvature pass.
            *lambda = *lambda * kRejectedLambdaFactor;
            solution->chiSquare = state->previousChiSquare;
        }
    }
    return status;
}

// A damped call whose chi-square is not a finite number ends the fit: neither
// a NaN nor an infinity can ever be improved on, so the stall rule would never
// count and the iteration would not end. A failing call keeps its own status.
int32_t dampedCall(const FitData* data, FitParameters* parameters, FitSolution* solution,
                   ModelFunction model, RowMatrix curvature, double* lambda,
                   MarquardtState* state) {
    int32_t status = marquardtStep(data, parameters, solution, model, curvature, lambda, state);
    if (status == kStatusOk && !std::isfinite(solution->chiSquare))
        status = kStatusInvalidArgument;
    return status;
}

// Damped calls until the stall rule (or the bound on their number) asks for
// the final, undamped call that leaves the covariance.
int32_t iterate(const FitData* data, FitParameters* parameters, FitSolution* solution,
                ModelFunction model, RowMatrix curvature, int checkConditioning, int stallLimit,
                double tolerance) {
    MarquardtState state = {};
    state.checkConditioning = checkConditioning;
    double lambda = -1.0;
    int32_t status = dampedCall(data, parameters, solution, model, curvature, &lambda, &state);
    int calls = 1;
    int stallCount = 0;
    bool finished = false;
    double previous = solution->chiSquare;
    while (status == kStatusOk && !finished) {
        if (calls >= 2) {
            const double current = solution->chiSquare;
            if (std::fabs(previous - current) < tolerance) ++stallCount;
            finished = stallCount >= stallLimit || calls == kMaxDampedCalls;
            previous = current;
        }
        if (finished) {
            lambda = 0.0;
            status = marquardtStep(data, parameters, solution, model, curvature, &lambda, &state);
        } else {
            status = dampedCall(data, parameters, solution, model, curvature, &lambda, &state);
            ++calls;
        }
    }
    // After the final call this finds nothing left; after a failure it
    // releases what the failing call left behind.
    releaseMarquardtState(&state);
    return status;
}

}  // namespace

int32_t computeCurvature(const double* x, const double* y, const double* yUnc, uint32_t n,
                         const double* coefficients, const unsigned char* fitMask, uint32_t m,
                         RowMatrix curvature, double* gradient, double* chiSquare,
                         double* sumSquares, ModelFunction model) {
    double* derivatives = allocateArray<double>(m);
    int32_t status = kStatusOutOfMemory;
    if (derivatives) {
        const uint32_t f = countAdjusted(fitMask, m);
        for (uint32_t j = 0; j < f; ++j) {
            for (uint32_t q = 0; q <= j; ++q) curvature[j][q] = 0.0;
            gradient[j] = 0.0;
        }
        *chiSquare = 0.0;
        *sumSquares = 0.0;
        const ModelEvaluation evaluation = {coefficients, derivatives, static_cast<int32_t>(m)};
        status = accumulateCurvature(x, y, yUnc, n, &evaluation, fitMask, m, curvature, gradient,
                                     chiSquare, sumSquares, model);
        if (status == kStatusOk) mirrorLowerTriangle(curvature, f);
    }
    releaseStorage(derivatives);
    return status;
}

int32_t marquardtStep(const FitData* data, FitParameters* parameters, FitSolution* solution,
                      ModelFunction model, RowMatrix curvature, double* lambda,
                      MarquardtState* state) {
    int32_t status = kStatusOk;
    if (*lambda < 0.0)
        status = startIteration(data, parameters, solution, model, curvature, lambda, state);
    if (status == kStatusOk) status = solveDampedSystem(solution, curvature, *lambda, state);
    if (status == kStatusOk) {
        if (*lambda == 0.0) {
            // The undamped inverse is the covariance of the adjusted coefficients.
            expandCovariance(solution->covariance, parameters->count, parameters->fitMask,
                             static_cast<uint32_t>(state->adjustedCount));
            releaseMarquardtState(state);
        } else {
            status = tryStep(data, parameters, solution, model, curvature, lambda, state);
        }
    }
    return status;
}

void releaseMarquardtState(MarquardtState* state) {
    releaseRowMatrix(state->rightHandSide, state->adjustedCount);
    releaseStorage(state->trial);
    releaseStorage(state->gradient);
    releaseStorage(state->step);
    state->rightHandSide = nullptr;
    state->trial = nullptr;
    state->gradient = nullptr;
    state->step = nullptr;
}

int32_t fitNonlinear(const FitData* data, FitParameters* parameters, FitSolution* solution,
                     ModelFunction model, int checkConditioning, int stallLimit,
                     double tolerance) {
    const int effectiveStallLimit = stallLimit <= 0 ? kDefaultStallLimit : stallLimit;
    const double effectiveTolerance = tolerance <= 0.0 ? kDefaultTolerance : tolerance;
    int32_t status = validateFitRecords(data, parameters, solution, model);
    if (status == kStatusOk) {
        const int m = static_cast<int>(parameters->count);
        RowMatrix curvature = allocateRowMatrix(m, m);
        status = curvature ? iterate(data, parameters, solution, model, curvature,
                                     checkConditioning, effectiveStallLimit, effectiveTolerance)
                           : kStatusOutOfMemory;
        releaseRowMatrix(curvature, m);
    }
    return status;
}

}  // namespace tallowfit
