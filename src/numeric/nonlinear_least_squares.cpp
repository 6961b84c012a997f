// Levenberg-Marquardt refinement: damped Gauss-Newton steps on the weighted
// chi-square until it stops improving.
#include "numeric/nonlinear_least_squares.h"

#include <cmath>
#include <cstddef>

#include "numeric/allocation.h"
#include "numeric/fit_mask.h"
#include "numeric/matrix_inversion.h"
#include "numeric/status.h"

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

// What a pass over the records reads of a point besides its record: its
// weight, which every pass of the refinement would otherwise divide out
// anew, and y, a single-precision value as every point the module reads,
// kept as such, so that a pass streams as few bytes a point as it can.
struct PassPoint {
    double weight;
    float y;
};

// How the curvature passes evaluate the model, with their working arrays;
// set up once for a whole refinement.
struct CurvaturePass {
    ModelFunction model;
    const PointRecords* records;  // when set, read with points instead of x
    PassPoint* points;            // set with records
    uint32_t m;                   // the coefficients
    double* derivatives;          // m
    uint32_t* adjusted;           // the f adjusted indices (listAdjusted)
    uint32_t f;
};

void copyBlockRow(double* target, const double* source, int32_t f) {
    for (int32_t q = 0; q < f; ++q) target[q] = source[q];
}

int32_t openPass(const unsigned char* fitMask, uint32_t m, ModelFunction model,
                 CurvaturePass* pass) {
    *pass = CurvaturePass{model, nullptr, nullptr, m, allocateArray<double>(m),
                          allocateArray<uint32_t>(m), 0};
    if (pass->derivatives == nullptr || pass->adjusted == nullptr) return kStatusOutOfMemory;
    pass->f = listAdjusted(fitMask, m, pass->adjusted);
    return kStatusOk;
}

void closePass(CurvaturePass* pass) {
    releaseStorage(pass->points);
    releaseStorage(pass->derivatives);
    releaseStorage(pass->adjusted);
    *pass = CurvaturePass{};
}

// A value that single precision holds exactly; NaN, whose payload the pass
// never shows, counts as held.
bool isSingle(double value) {
    return static_cast<double>(static_cast<float>(value)) == value || value != value;
}

// Gives the pass the fit's point records when they can serve, with the weight
// and y of every point beside them; like any working storage, an array that
// cannot be had fails the fit. Otherwise every pass calls the model function:
// without records, above the bound on the order, when a coefficient the
// records read is adjusted, or when a y is not a single-precision value.
int32_t keepPointRecords(const FitData* data, const FitParameters* parameters,
                         const PointRecords* records, CurvaturePass* pass) {
    const uint32_t m = parameters->count;
    if (records == nullptr || m > kMaxRecordedCoefficients) return kStatusOk;
    for (uint32_t l = 0; l < records->split->heldPrefix && l < m; ++l)
        if (parameters->fitMask[l]) return kStatusOk;
    for (uint32_t i = 0; i < data->count; ++i)
        if (!isSingle(data->y[i])) return kStatusOk;
    pass->points = allocateArray<PassPoint>(data->count);
    if (pass->points == nullptr) return kStatusOutOfMemory;
    for (uint32_t i = 0; i < data->count; ++i) {
        pass->points[i] = PassPoint{pointWeight(data->yUnc[i]), static_cast<float>(data->y[i])};
    }
    pass->records = records;
    return kStatusOk;
}

// Where a pass sums the curvature and the gradient: the caller's rows.
struct RowSums {
    RowMatrix curvature;
    double* gradient;
    uint32_t f;
    double* operator[](uint32_t j) { return curvature[j]; }
    uint32_t count() const { return f; }
    void store(RowMatrix, double*) const {}
};

// Or, for the few coefficients that most fits adjust, the sums in registers
// (LocalSums).

// Points evaluated per call of a split form: their values and derivatives
// wait on the stack (4.5 KiB at the bound on the order) for the sums.
constexpr uint32_t kRunPoints = 64;

// What a curvature pass sums: the normal equations, the chi-square and the
// sum of squares.
template <typename Sums>
struct PassTotals {
    Sums sums;
    double chi;
    double squares;

    // Residual and normal equations of one point.
    void add(const CurvaturePass& pass, double y, double w, double yModel,
             const double* derivatives) {
        const double d = y - yModel;
        accumulatePoint(pass.adjusted, sums.count(), derivatives, w, d, sums,
                        [&](uint32_t j, double term) { sums.gradient[j] = sums.gradient[j] + term; });
        chi = chi + d * d * w;
        squares = squares + d * d;
    }
};

// Adds the points [from, to) of a pass over the records, in order, their
// values at values[i - from] and derivatives from derivatives + (i - from)*m.
// The totals are copied into a local for the loop, whose address nothing
// takes, so that the sums can stay in registers.
template <typename Sums>
void addRecordPoints(const CurvaturePass& pass, uint32_t from, uint32_t to, const double* values,
                     const double* derivatives, PassTotals<Sums>& totals) {
    PassTotals<Sums> local = totals;
    for (uint32_t i = from; i < to; ++i) {
        local.add(pass, pass.points[i].y, pass.points[i].weight, values[i - from],
                  derivatives + std::size_t{i - from} * pass.m);
    }
    totals = local;
}

// Values and derivatives of the points [from, to), stored as addRecordPoints
// reads them.
void evaluateRecords(const CurvaturePass& pass, const ModelEvaluation* evaluation, uint32_t from,
                     uint32_t to, double* values, double* derivatives) {
    const uint32_t width = pass.records->width;
    for (uint32_t start = from; start < to; start += kRunPoints) {
        const uint32_t count = to - start < kRunPoints ? to - start : kRunPoints;
        pass.records->split->evaluate(pass.records->records + std::size_t{start} * width, count,
                                      width, evaluation->parameters, evaluation->count,
                                      values + (start - from),
                                      derivatives + std::size_t{start - from} * pass.m);
    }
}

// The points [0, to), evaluated a run at a time and added.
template <typename Sums>
void passOverRecords(const CurvaturePass& pass, const ModelEvaluation* evaluation, uint32_t to,
                     PassTotals<Sums>& totals) {
    double values[kRunPoints];
    double derivatives[kRunPoints * kMaxRecordedCoefficients];
    for (uint32_t start = 0; start < to; start += kRunPoints) {
        const uint32_t end = to - start < kRunPoints ? to : start + kRunPoints;
        evaluateRecords(pass, evaluation, start, end, values, derivatives);
        addRecordPoints(pass, start, end, values, derivatives, totals);
    }
}

// The points of one curvature pass. The sums are stored when the pass ends,
// however it ends.
template <typename Sums>
int32_t accumulateCurvature(const double* x, const double* y, const double* yUnc, uint32_t n,
                            const ModelEvaluation* evaluation, Sums& sums, RowMatrix curvature,
                            double* gradient, double* chiSquare, double* sumSquares,
                            const CurvaturePass& pass) {
    PassTotals<Sums> totals = {sums, 0.0, 0.0};
    int32_t status = kStatusOk;
    if (pass.records) {
        // The other thread evaluates the points from handStart on while this
        // one works through those before; then this one adds them, in order,
        // while the other evaluates further on.
        const uint32_t handStart = pass.records->handStart;
        double* values = pass.records->handed;
        double* derivatives = values + (n - handStart);
        auto evaluate = [&](uint32_t from, uint32_t to) {
            evaluateRecords(pass, evaluation, from, to, values + (from - handStart),
                            derivatives + std::size_t{from - handStart} * pass.m);
        };
        auto add = [&](uint32_t from, uint32_t to) {
            addRecordPoints(pass, from, to, values + (from - handStart),
                            derivatives + std::size_t{from - handStart} * pass.m, totals);
        };
        if (handStart == n ||
            !pipelineChunks(pass.records->sharing, handStart, n, pass.records->evaluated,
                            [&]() { passOverRecords(pass, evaluation, handStart, totals); },
                            evaluate, add))
            passOverRecords(pass, evaluation, n, totals);
    } else {
        for (uint32_t i = 0; i < n && status == kStatusOk; ++i) {
            double yModel = 0.0;
            status = pass.model(x[i], evaluation, &yModel);
            if (status == kStatusOk)
                totals.add(pass, y[i], pointWeight(yUnc[i]), yModel, evaluation->derivatives);
        }
    }
    sums = totals.sums;
    sums.store(curvature, gradient);
    *chiSquare = totals.chi;
    *sumSquares = totals.squares;
    return status;
}

template <uint32_t F>
int32_t accumulateLocally(const double* x, const double* y, const double* yUnc, uint32_t n,
                          const ModelEvaluation* evaluation, RowMatrix curvature,
                          double* gradient, double* chiSquare, double* sumSquares,
                          const CurvaturePass& pass) {
    LocalSums<F> sums = {};
    return accumulateCurvature(x, y, yUnc, n, evaluation, sums, curvature, gradient, chiSquare,
                               sumSquares, pass);
}

int32_t curvaturePass(const double* x, const double* y, const double* yUnc, uint32_t n,
                      const double* coefficients, RowMatrix curvature, double* gradient,
                      double* chiSquare, double* sumSquares, const CurvaturePass& pass) {
    for (uint32_t j = 0; j < pass.f; ++j) {
        for (uint32_t q = 0; q <= j; ++q) curvature[j][q] = 0.0;
        gradient[j] = 0.0;
    }
    const ModelEvaluation evaluation = {coefficients, pass.derivatives,
                                        static_cast<int32_t>(pass.m)};
    typedef int32_t (*Accumulation)(const double*, const double*, const double*, uint32_t,
                                    const ModelEvaluation*, RowMatrix, double*, double*,
                                    double*, const CurvaturePass&);
    // kLocal[f - 1] for f adjusted coefficients.
    static const Accumulation kLocal[] = {accumulateLocally<1>, accumulateLocally<2>,
                                          accumulateLocally<3>, accumulateLocally<4>};
    int32_t status;
    if (pass.f >= 1 && pass.f <= sizeof kLocal / sizeof kLocal[0]) {
        status = kLocal[pass.f - 1](x, y, yUnc, n, &evaluation, curvature, gradient, chiSquare,
                                    sumSquares, pass);
    } else {
        RowSums rows = {curvature, gradient, pass.f};
        status = accumulateCurvature(x, y, yUnc, n, &evaluation, rows, curvature, gradient,
                                     chiSquare, sumSquares, pass);
    }
    if (status == kStatusOk) mirrorLowerTriangle(curvature, pass.f);
    return status;
}

// Start call: the state's arrays, lambda, and the curvature at the start values.
int32_t startIteration(const FitData* data, FitParameters* parameters, FitSolution* solution,
                       const CurvaturePass& pass, RowMatrix curvature, double* lambda,
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
        status = curvaturePass(data->x, data->y, data->yUnc, data->count, parameters->values,
                               curvature, state->gradient, &solution->chiSquare,
                               &solution->sumSquares, pass);
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
                const CurvaturePass& pass, RowMatrix curvature, double* lambda,
                MarquardtState* state) {
    const uint32_t m = parameters->count;
    forEachAdjusted(parameters->fitMask, m, [&](uint32_t l, uint32_t j) {
        state->trial[l] = parameters->values[l] + state->step[j];
    });
    const int32_t status =
        curvaturePass(data->x, data->y, data->yUnc, data->count, state->trial,
                      solution->covariance, state->step, &solution->chiSquare,
                      &solution->sumSquares, pass);
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

// marquardtStep with the passes evaluated as given.
int32_t stepWith(const FitData* data, FitParameters* parameters, FitSolution* solution,
                 const CurvaturePass& pass, RowMatrix curvature, double* lambda,
                 MarquardtState* state) {
    int32_t status = kStatusOk;
    if (*lambda < 0.0)
        status = startIteration(data, parameters, solution, pass, curvature, lambda, state);
    if (status == kStatusOk) status = solveDampedSystem(solution, curvature, *lambda, state);
    if (status == kStatusOk) {
        if (*lambda == 0.0) {
            // The undamped inverse is the covariance of the adjusted coefficients.
            expandCovariance(solution->covariance, parameters->count, parameters->fitMask,
                             static_cast<uint32_t>(state->adjustedCount));
            releaseMarquardtState(state);
        } else {
            status = tryStep(data, parameters, solution, pass, curvature, lambda, state);
        }
    }
    return status;
}

// A damped call whose chi-square is not a finite number ends the fit: neither
// a NaN nor an infinity can ever be improved on, so the stall rule would never
// count and the iteration would not end. A failing call keeps its own status.
int32_t dampedCall(const FitData* data, FitParameters* parameters, FitSolution* solution,
                   const CurvaturePass& pass, RowMatrix curvature, double* lambda,
                   MarquardtState* state) {
    int32_t status = stepWith(data, parameters, solution, pass, curvature, lambda, state);
    if (status == kStatusOk && !std::isfinite(solution->chiSquare))
        status = kStatusInvalidArgument;
    return status;
}

// Damped calls until the stall rule (or the bound on their number) asks for
// the final, undamped call that leaves the covariance.
int32_t iterate(const FitData* data, FitParameters* parameters, FitSolution* solution,
                const CurvaturePass& pass, RowMatrix curvature, int checkConditioning,
                int stallLimit, double tolerance) {
    MarquardtState state = {};
    state.checkConditioning = checkConditioning;
    double lambda = -1.0;
    int32_t status = dampedCall(data, parameters, solution, pass, curvature, &lambda, &state);
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
            status = stepWith(data, parameters, solution, pass, curvature, &lambda, &state);
        } else {
            status = dampedCall(data, parameters, solution, pass, curvature, &lambda, &state);
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
    CurvaturePass pass;
    int32_t status = openPass(fitMask, m, model, &pass);
    if (status == kStatusOk)
        status = curvaturePass(x, y, yUnc, n, coefficients, curvature, gradient, chiSquare,
                               sumSquares, pass);
    closePass(&pass);
    return status;
}

int32_t marquardtStep(const FitData* data, FitParameters* parameters, FitSolution* solution,
                      ModelFunction model, RowMatrix curvature, double* lambda,
                      MarquardtState* state) {
    CurvaturePass pass;
    int32_t status = openPass(parameters->fitMask, parameters->count, model, &pass);
    if (status == kStatusOk)
        status = stepWith(data, parameters, solution, pass, curvature, lambda, state);
    closePass(&pass);
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
    return fitNonlinear(data, parameters, solution, model, nullptr, checkConditioning, stallLimit,
                        tolerance);
}

int32_t fitNonlinear(const FitData* data, FitParameters* parameters, FitSolution* solution,
                     ModelFunction model, const PointRecords* records,
                     int checkConditioning, int stallLimit, double tolerance) {
    const int effectiveStallLimit = stallLimit <= 0 ? kDefaultStallLimit : stallLimit;
    const double effectiveTolerance = tolerance <= 0.0 ? kDefaultTolerance : tolerance;
    int32_t status = validateFitRecords(data, parameters, solution, model);
    if (status == kStatusOk) {
        const int m = static_cast<int>(parameters->count);
        RowMatrix curvature = allocateRowMatrix(m, m);
        CurvaturePass pass;
        status = openPass(parameters->fitMask, parameters->count, model, &pass);
        if (status == kStatusOk && curvature == nullptr) status = kStatusOutOfMemory;
        if (status == kStatusOk) status = keepPointRecords(data, parameters, records, &pass);
        if (status == kStatusOk) {
            status = iterate(data, parameters, solution, pass, curvature, checkConditioning,
                             effectiveStallLimit, effectiveTolerance);
        }
        closePass(&pass);
        releaseRowMatrix(curvature, m);
    }
    return status;
}

}  // namespace tallowfit
