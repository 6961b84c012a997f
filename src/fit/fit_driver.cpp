#include "fit/fit_driver.h"

#include <algorithm>
#include <cstddef>
#include <new>
#include <stdexcept>

#include "fit/messages.h"
#include "fit/point_preparation.h"
#include "numeric/fit_mask.h"
#include "numeric/least_squares.h"
#include "numeric/nonlinear_least_squares.h"
#include "numeric/power_series.h"
#include "numeric/row_matrix.h"
#include "numeric/status.h"
#include "numeric/work_sharing.h"

namespace tallowfit {

namespace {

// The refinement ends after this many steps that improve the chi-square by
// less than the tolerance.
constexpr int kStallLimit = 10;
constexpr double kStallTolerance = 1e-4;

// The covariance storage of one fit, released on every way out of the driver.
class CovarianceStorage {
public:
    explicit CovarianceStorage(int order)
        : matrix_(allocateRowMatrix(order, order)), rows_(order) {
        if (!matrix_) throw std::bad_alloc();
    }
    ~CovarianceStorage() { release(); }
    CovarianceStorage(const CovarianceStorage&) = delete;
    CovarianceStorage& operator=(const CovarianceStorage&) = delete;

    RowMatrix matrix() const { return matrix_; }
    void release() {
        releaseRowMatrix(matrix_, rows_);
        matrix_ = nullptr;
    }

private:
    RowMatrix matrix_;
    int rows_;
};

// A solver's failure ends the fit with its status.
void requireSolverSuccess(int32_t status) {
    if (status != kStatusOk) throw static_cast<uint32_t>(status);
}

// Too few points for n coefficients: fewer, or exactly as many unless an exact
// fit is allowed.
bool tooFewPoints(std::size_t pointCount, int32_t order, const FitOptions& options) {
    const std::size_t n = static_cast<std::size_t>(order);
    return pointCount < n || (pointCount == n && !options.allowExactFit);
}

std::vector<std::vector<double>> copyRows(RowMatrix matrix, int32_t order) {
    std::vector<std::vector<double>> rows;
    for (int32_t i = 0; i < order; ++i) rows.emplace_back(matrix[i], matrix[i] + order);
    return rows;
}

// valueAt(x, i, evaluation, y) of a fit that keeps records: the model's value
// at point i from its record.
auto recordValues(const PointRecords* records) {
    return [records](double, std::size_t i, const ModelEvaluation* evaluation, double* y) {
        *y = records->split->value(records->records + i * records->width, evaluation->parameters,
                                   evaluation->count);
        return kStatusOk;
    };
}

// Runs pass(valueAt) with valueAt(x, i, evaluation, y) storing the model's
// value (no derivatives) at point i of a fit: from its record when the fit
// keeps records, inline for the power series (which refuses no point of a fit
// with coefficients), else from model(x). Chosen once for a whole pass.
template <typename Pass>
auto withModelValues(ModelFunction model, const PointRecords* records, Pass pass) {
    if (records) return pass(recordValues(records));
    if (model == evalPowerSeries) {
        return pass([](double x, std::size_t, const ModelEvaluation* evaluation, double* y) {
            *y = hornerFrom(evaluation->parameters, 0, evaluation->count, x);
            return kStatusOk;
        });
    }
    return pass([model](double x, std::size_t, const ModelEvaluation* evaluation, double* y) {
        return model(x, evaluation, y);
    });
}

// The sums of the chi-square pass, and whether the model had a value at
// every point.
struct ChiSquareSums {
    double chiSquare;
    int32_t counted;
    bool everywhere;
};

// The points [from, to) of the pass: the curve's value at each to curveAt,
// the weighted squares of the residuals where it has one added to sums; a
// zero uncertainty counts as 1 when allowed, else the point is left out. The
// sums are copied into locals for the loop, so that they stay in registers.
template <typename ValueAt>
void sumChiSquare(const PointVector<DataPoint>& valid, const FitOptions& options,
                  const ModelEvaluation& evaluation, ValueAt valueAt, double* curveAt,
                  std::size_t from, std::size_t to, ChiSquareSums& sums) {
    double chiSquare = sums.chiSquare;
    int32_t counted = sums.counted;
    bool everywhere = sums.everywhere;
    for (std::size_t i = from; i < to; ++i) {
        const DataPoint& point = valid[i];
        double sigma = point.yUnc;
        if (point.yUnc == 0.0 && options.allowZeroUncertainty) sigma = 1.0;
        double yModel = 0.0;
        const bool hasValue = valueAt(point.x, i, &evaluation, &yModel) == kStatusOk;
        everywhere = everywhere && hasValue;
        curveAt[i] = yModel;
        if (hasValue && sigma != 0.0) {
            const double residual = point.y - yModel;
            chiSquare = chiSquare + residual * residual / (sigma * sigma);
            ++counted;
        }
    }
    sums = {chiSquare, counted, everywhere};
}

// The pass over the points of a refined fit's records: the other thread
// stores the curve's values from the hand-over point on, while this one sums
// the points before, then the rest in order as their values come. False,
// having summed nothing, when the fit hands nothing over.
bool sumSharedChiSquare(const PointVector<DataPoint>& valid, const FitOptions& options,
                        const ModelEvaluation& evaluation, const PointRecords* records,
                        double* curveAt, ChiSquareSums& sums) {
    const uint32_t n = static_cast<uint32_t>(valid.size());
    if (records == nullptr || records->handStart == n) return false;
    const auto valueAt = recordValues(records);
    auto stored = [curveAt](double, std::size_t i, const ModelEvaluation*, double* y) {
        *y = curveAt[i];
        return kStatusOk;
    };
    const uint32_t handStart = records->handStart;
    return pipelineChunks(
        records->sharing, handStart, n, records->evaluated,
        [&]() { sumChiSquare(valid, options, evaluation, valueAt, curveAt, 0, handStart, sums); },
        [&](uint32_t from, uint32_t to) {
            for (uint32_t i = from; i < to; ++i) valueAt(0.0, i, &evaluation, &curveAt[i]);
        },
        [&](uint32_t from, uint32_t to) {
            sumChiSquare(valid, options, evaluation, stored, curveAt, from, to, sums);
        });
}

// Weighted chi-square in data space over the points the model can evaluate.
// The curve's value at each point goes to `curve`, which is left empty when
// the model cannot be evaluated at some point.
double dataSpaceChiSquare(const PointVector<DataPoint>& valid, ModelId modelId,
                          const FitParameters& parameters, const FitOptions& options,
                          const PointRecords* records, int32_t* counted,
                          PointVector<double>& curve) {
    const ModelEvaluation evaluation = {parameters.values, nullptr,
                                        static_cast<int32_t>(parameters.count)};
    curve.resize(valid.size());
    ChiSquareSums sums = {0.0, 0, true};
    if (!sumSharedChiSquare(valid, options, evaluation, records, curve.data(), sums)) {
        withModelValues(dataModelFunction(modelId), records, [&](auto valueAt) {
            sumChiSquare(valid, options, evaluation, valueAt, curve.data(), 0, valid.size(), sums);
        });
    }
    if (!sums.everywhere) curve = PointVector<double>();
    *counted = sums.counted;
    return sums.chiSquare;
}

}  // namespace

// Order chosen from the point count: more points afford more coefficients,
// five at most.
int32_t optimalOrder(ModelId modelId, uint32_t pointCount) {
    // Columns: N <= 4, 5, 6, 7, 8, 9, >= 10.
    static const int32_t kLogarithmicOrPolynomial[] = {2, 3, 3, 4, 4, 5, 5};
    static const int32_t kRatio[] = {2, 2, 3, 3, 4, 4, 5};
    static const int32_t kHalfPower[] = {2, 2, 2, 2, 2, 2, 2};
    static const int32_t kRootPolynomial[] = {2, 3, 3, 3, 3, 3, 3};
    const uint32_t column = pointCount <= 4 ? 0 : std::min<uint32_t>(pointCount, 10) - 4;
    switch (modelId) {
        case LogInverse:
        case LogLog:
        case Polynomial: return kLogarithmicOrPolynomial[column];
        case LogRatio: return kRatio[column];
        case HalfPower: return kHalfPower[column];
        case RootPolynomial: return kRootPolynomial[column];
        default: throw std::invalid_argument(kNoOptimalOrder);
    }
}

// Weighted linear least squares in the model's transformed space, optionally
// refined by Levenberg-Marquardt in data space, then the reduced chi-square.
FitResult fitModel(const PointVector<DataPoint>& points, ModelId modelId, int32_t order,
                   const FitOptions& options) {
    if (points.empty()) throw std::invalid_argument(kZeroPoints);
    const int32_t n =
        order < 1 ? optimalOrder(modelId, static_cast<uint32_t>(points.size())) : order;
    if (tooFewPoints(points.size(), n, options)) throw std::invalid_argument(kFewerPoints);

    PointVector<DataPoint> kept;
    RangeFigures figures;
    const PointVector<DataPoint>& valid = validatePoints(modelId, options, points, kept, figures);
    // LogRatio holds its reference x at the middle of the x range.
    std::vector<double> values(static_cast<std::size_t>(n), 0.0);
    std::vector<unsigned char> fitMask(static_cast<std::size_t>(n), 1);
    if (modelId == LogRatio) {
        values[0] = figures.xMiddle;
        fitMask[0] = 0;
    }
    const FitPointRecords pointRecords = preparePointRecords(modelId, valid, values.data(), n, options.sharing);
    const PointRecords* records = pointRecords.table();
    PointVector<double> t, u, sigma;
    transformPoints(modelId, valid, figures.yScale, figures.xMiddle, t, u, sigma, records);
    CovarianceStorage covariance(n);
    if (tooFewPoints(valid.size(), n, options)) throw std::invalid_argument(kFewerValidPoints);
    FitParameters parameters = {values.data(), fitMask.data(), static_cast<uint32_t>(n)};
    FitSolution solution = {covariance.matrix(), 0.0, 0.0};
    const int checkConditioning = options.checkConditioning ? 1 : 0;

    const FitData transformed = {t.data(), nullptr, u.data(), sigma.data(),
                                 static_cast<uint32_t>(valid.size())};
    // The transformed models refuse the same points with or without
    // derivatives, so the sums of residuals, which no figure of the fit
    // reads, could not fail where the coefficients did not.
    requireSolverSuccess(fitLinearCoefficients(&transformed, &parameters, &solution,
                                               transformedModelFunction(modelId),
                                               checkConditioning));
    // Only a refinement reads the points in data space again.
    if (options.refineNonlinear && modelId != Polynomial) {
        const FitData data = restoreDataSpace(valid, modelId, figures.yScale, values.data(),
                                              parameters.count, t, u, sigma);
        pointRecords.reserveHandOver();
        requireSolverSuccess(fitNonlinear(&data, &parameters, &solution,
                                          dataModelFunction(modelId), records, checkConditioning,
                                          kStallLimit, kStallTolerance));
    } else {
        removeYScale(modelId, figures.yScale, values.data(), parameters.count);
    }

    FitResult result;
    result.covariance.rows = copyRows(covariance.matrix(), n);
    covariance.release();

    int32_t counted = 0;
    const double chiSquare = dataSpaceChiSquare(valid, modelId, parameters, options, records,
                                                &counted, result.curve);
    const int32_t adjusted = static_cast<int32_t>(countAdjusted(fitMask.data(), parameters.count));
    const int32_t dof = counted - adjusted;
    if (dof > 0)
        result.covariance.reducedChiSquare = chiSquare / dof;
    else if (dof == 0 && options.allowExactFit)
        result.covariance.reducedChiSquare = chiSquare / 1.0;
    else
        throw std::runtime_error(kTooFewDegreesOfFreedom);
    result.coefficients = values;
    return result;
}

}  // namespace tallowfit
