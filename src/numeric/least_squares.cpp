// Weighted linear least squares by the normal equations, with any subset of
// the coefficients held at given values.
#include "numeric/least_squares.h"

#include "numeric/allocation.h"
#include "numeric/fit_mask.h"
#include "numeric/matrix_inversion.h"
#include "numeric/power_series.h"
#include "numeric/status.h"

namespace tallowfit {
namespace {

// The adjusted block of the normal matrix and its right-hand side start empty.
void clearNormalEquations(RowMatrix covariance, RowMatrix rightHandSide, uint32_t f) {
    for (uint32_t j = 0; j < f; ++j) {
        for (uint32_t q = 0; q < f; ++q) covariance[j][q] = 0.0;
        rightHandSide[j][0] = 0.0;
    }
}

// y less the part that the held coefficients account for at this point.
double adjustableResidual(double y, const FitParameters* parameters, const double* basis,
                          uint32_t f) {
    double r = y;
    if (f < parameters->count) {
        for (uint32_t k = 0; k < parameters->count; ++k)
            if (!parameters->fitMask[k]) r = r - parameters->values[k] * basis[k];
    }
    return r;
}

// Runs pass(basisAt), basisAt(x, evaluation) storing the model's derivatives
// at x, the basis functions of the normal equations, and returning the
// model's status. The power series stores its powers inline: with no call per
// point the sums stay in registers across the points.
template <typename Pass>
int32_t withBasis(ModelFunction model, Pass pass) {
    if (model == evalPowerSeries) {
        return pass([](double x, const ModelEvaluation* evaluation) {
            storePowerBasis(evaluation->derivatives, evaluation->count, x);
            return kStatusOk;
        });
    }
    return pass([model](double x, const ModelEvaluation* evaluation) {
        double yModel = 0.0;
        return model(x, evaluation, &yModel);
    });
}

// First pass: the basis at each point summed into `sums` (rows, or locals)
// with addToVector taking the right-hand side's terms. A point the model
// cannot evaluate ends the fit.
template <typename BasisAt, typename Sums, typename AddToVector>
int32_t sumNormalEquations(const FitData* data, const FitParameters* parameters, double* basis,
                           const uint32_t* adjusted, uint32_t f, BasisAt basisAt, Sums& sums,
                           AddToVector addToVector) {
    const ModelEvaluation evaluation = {parameters->values, basis,
                                        static_cast<int32_t>(parameters->count)};
    int32_t status = kStatusOk;
    for (uint32_t i = 0; i < data->count && status == kStatusOk; ++i) {
        status = basisAt(data->x[i], &evaluation);
        if (status == kStatusOk) {
            const double r = adjustableResidual(data->y[i], parameters, basis, f);
            accumulatePoint(adjusted, f, basis, pointWeight(data->yUnc[i]), r, sums, addToVector);
        }
    }
    return status;
}

// The same with the sums of F adjusted coefficients in registers, stored in
// the rows however the pass ends.
template <uint32_t F, typename BasisAt>
int32_t sumLocally(const FitData* data, const FitParameters* parameters, RowMatrix covariance,
                   RowMatrix rightHandSide, double* basis, const uint32_t* adjusted,
                   BasisAt basisAt) {
    LocalSums<F> sums = {};
    const int32_t status = sumNormalEquations(
        data, parameters, basis, adjusted, F, basisAt, sums,
        [&](uint32_t j, double term) { sums.gradient[j] = sums.gradient[j] + term; });
    double vector[F];
    sums.store(covariance, vector);
    for (uint32_t j = 0; j < F; ++j) rightHandSide[j][0] = vector[j];
    return status;
}

template <typename BasisAt>
int32_t sumBasis(const FitData* data, const FitParameters* parameters, RowMatrix covariance,
                 RowMatrix rightHandSide, double* basis, const uint32_t* adjusted, uint32_t f,
                 BasisAt basisAt) {
    typedef int32_t (*LocalSum)(const FitData*, const FitParameters*, RowMatrix, RowMatrix,
                                double*, const uint32_t*, BasisAt);
    // kLocal[f - 1] for f adjusted coefficients.
    static const LocalSum kLocal[] = {sumLocally<1, BasisAt>, sumLocally<2, BasisAt>,
                                      sumLocally<3, BasisAt>, sumLocally<4, BasisAt>};
    if (f >= 1 && f <= sizeof kLocal / sizeof kLocal[0])
        return kLocal[f - 1](data, parameters, covariance, rightHandSide, basis, adjusted, basisAt);
    return sumNormalEquations(data, parameters, basis, adjusted, f, basisAt, covariance,
                              [&](uint32_t j, double term) {
                                  rightHandSide[j][0] = rightHandSide[j][0] + term;
                              });
}

int32_t buildNormalEquations(const FitData* data, const FitParameters* parameters,
                             RowMatrix covariance, RowMatrix rightHandSide, double* basis,
                             const uint32_t* adjusted, uint32_t f, ModelFunction model) {
    return withBasis(model, [&](auto basisAt) {
        return sumBasis(data, parameters, covariance, rightHandSide, basis, adjusted, f, basisAt);
    });
}

// Chi-square pass at the fitted values. A point whose evaluation fails, or
// whose uncertainty is exactly 0, adds to neither sum. The status returned is
// that of the last point's evaluation: a failure there is reported (after the
// values, covariance and sums have been stored), failures at earlier points
// only leave those points out.
int32_t sumResiduals(const FitData* data, const FitParameters* parameters, FitSolution* solution,
                     ModelFunction model) {
    const ModelEvaluation evaluation = {parameters->values, nullptr,
                                        static_cast<int32_t>(parameters->count)};
    double chiSquare = 0.0;
    double sumSquares = 0.0;
    int32_t status = kStatusOk;
    for (uint32_t i = 0; i < data->count; ++i) {
        double yModel = 0.0;
        status = model(data->x[i], &evaluation, &yModel);
        if (status == kStatusOk && data->yUnc[i] != 0.0) {
            const double d = data->y[i] - yModel;
            sumSquares = sumSquares + d * d;
            chiSquare = chiSquare + d * d / (data->yUnc[i] * data->yUnc[i]);
        }
    }
    solution->chiSquare = chiSquare;
    solution->sumSquares = sumSquares;
    return status;
}

// The fit proper, once the working storage is there; the residual sums only
// when asked for.
int32_t solveNormalEquations(const FitData* data, FitParameters* parameters,
                             FitSolution* solution, ModelFunction model, int checkConditioning,
                             int sumsWanted, RowMatrix rightHandSide, double* basis,
                             uint32_t* adjusted) {
    const uint32_t m = parameters->count;
    const uint32_t f = listAdjusted(parameters->fitMask, m, adjusted);
    RowMatrix covariance = solution->covariance;
    clearNormalEquations(covariance, rightHandSide, f);
    int32_t status = buildNormalEquations(data, parameters, covariance, rightHandSide, basis,
                                          adjusted, f, model);
    if (status == kStatusOk) {
        mirrorLowerTriangle(covariance, f);
        status = invertForSolver(covariance, static_cast<int>(f), rightHandSide, 1,
                                 checkConditioning);
    }
    if (status == kStatusOk) {
        forEachAdjusted(parameters->fitMask, m, [&](uint32_t l, uint32_t j) {
            parameters->values[l] = rightHandSide[j][0];
        });
        expandCovariance(covariance, m, parameters->fitMask, f);
        if (sumsWanted) status = sumResiduals(data, parameters, solution, model);
    }
    return status;
}

}  // namespace

int32_t validateFitRecords(const FitData* data, const FitParameters* parameters,
                           const FitSolution* solution, ModelFunction model) {
    const bool complete = data && parameters && solution && model && data->x && data->y &&
                          data->yUnc && data->count != 0 && parameters->values &&
                          parameters->fitMask && parameters->count != 0 &&
                          solution->covariance && solution->covariance[0];
    return complete ? kStatusOk : kStatusInvalidArgument;
}

void mirrorLowerTriangle(RowMatrix matrix, uint32_t f) {
    for (uint32_t j = 1; j < f; ++j)
        for (uint32_t q = 0; q < j; ++q) matrix[q][j] = matrix[j][q];
}

void expandCovariance(RowMatrix covariance, uint32_t m, const unsigned char* fitMask, uint32_t f) {
    for (uint32_t i = f; i < m; ++i) {
        for (uint32_t j = 0; j <= i; ++j) {
            covariance[j][i] = 0.0;
            covariance[i][j] = 0.0;
        }
    }
    // Adjusted coefficients are taken from the highest index down, so each
    // compact slot is moved out before a lower coefficient needs it.
    int64_t k = static_cast<int64_t>(f) - 1;
    for (int64_t j = static_cast<int64_t>(m) - 1; j >= 0; --j) {
        if (fitMask[j]) {
            exchangeColumns(covariance, static_cast<int>(k), static_cast<int>(j),
                            static_cast<int>(m));
            exchangeRows(covariance, static_cast<int>(k), static_cast<int>(j),
                         static_cast<int>(m));
            --k;
        }
    }
}

namespace {

// fitLinear with or without the residual sums.
int32_t fitLinearWith(const FitData* data, FitParameters* parameters, FitSolution* solution,
                      ModelFunction model, int checkConditioning, int sumsWanted) {
    int32_t status = validateFitRecords(data, parameters, solution, model);
    if (status == kStatusOk) {
        const int m = static_cast<int>(parameters->count);
        RowMatrix rightHandSide = allocateRowMatrix(m, 1);
        double* basis = allocateArray<double>(parameters->count);
        uint32_t* adjusted = allocateArray<uint32_t>(parameters->count);
        status = (rightHandSide && basis && adjusted)
                     ? solveNormalEquations(data, parameters, solution, model,
                                            checkConditioning, sumsWanted, rightHandSide, basis,
                                            adjusted)
                     : kStatusOutOfMemory;
        releaseRowMatrix(rightHandSide, m);
        releaseStorage(basis);
        releaseStorage(adjusted);
    }
    return status;
}

}  // namespace

int32_t fitLinear(const FitData* data, FitParameters* parameters, FitSolution* solution,
                  ModelFunction model, int checkConditioning) {
    return fitLinearWith(data, parameters, solution, model, checkConditioning, 1);
}

int32_t fitLinearCoefficients(const FitData* data, FitParameters* parameters,
                              FitSolution* solution, ModelFunction model, int checkConditioning) {
    return fitLinearWith(data, parameters, solution, model, checkConditioning, 0);
}

}  // namespace tallowfit
