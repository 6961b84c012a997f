#include "fit_statistics.h"

#include <cmath>
#include <new>
#include <stdexcept>

#include "../numeric/status.h"
#include "point_preparation.h"

namespace tallowfit {

namespace {

const char* const kNoAverage = "There are too few points, 0 == ndata, to compute average error.";

// Calls visit(point, yModel) for every usable point where the curve has a
// value. Without records the model function is looked up for every usable
// point, so a model without one is refused at the first such point and an
// empty list passes; records are only had for a model with one.
template <typename Visit>
void forEachFittedPoint(const std::vector<DataPoint>& points,
                        const std::vector<double>& coefficients, ModelId modelId, int32_t flags,
                        const PointRecords* records, Visit visit) {
    const ModelEvaluation evaluation = {coefficients.data(), nullptr,
                                        static_cast<int32_t>(coefficients.size())};
    auto lookedUp = [modelId](double x, const ModelEvaluation* e, double* y) {
        return dataModelFunction(modelId)(x, e, y);
    };
    auto walk = [&](auto valueAt) {
        for (std::size_t i = 0; i < points.size(); ++i) {
            double yModel = 0.0;
            if (isPointUsable(points[i], modelId, flags) &&
                valueAt(points[i].x, i, &evaluation, &yModel) == kStatusOk)
                visit(points[i], yModel);
        }
    };
    if (records) {
        withModelValues(nullptr, records, walk);
    } else {
        walk([&](double x, std::size_t, const ModelEvaluation* e, double* y) {
            return lookedUp(x, e, y);
        });
    }
}

// Mean relative deviation in percent. The divisor is y itself, so a point
// with negative y lowers the figure; a point with y = 0 does not count.
struct AverageError {
    double sum = 0.0;
    int32_t count = 0;
    void add(const DataPoint& point, double yModel) {
        if (point.y != 0.0) {
            sum = sum + std::fabs(point.y - yModel) / point.y;
            ++count;
        }
    }
    double percent() const {
        if (count == 0) throw std::runtime_error(kNoAverage);
        return (sum * 100) / count;
    }
};

// Distance of the point from the curve, its own uncertainty included unless
// zero uncertainties are allowed (then none is).
PointDeviation deviationAt(const DataPoint& point, double yModel, int32_t flags) {
    const double residual = point.y - yModel;
    const double uncertaintySquare =
        (flags & kFitAllowZeroUncertainty) != 0 ? 0.0 : point.yUnc * point.yUnc;
    const double deviation = std::sqrt(residual * residual + uncertaintySquare);
    return {deviation, point.y, point.yUnc, point.x, point.xUnc};
}

}  // namespace

// A point counts when the fit would have accepted it on its own; under
// kFitDropInvalidPoints validation refuses nothing, so every point counts and
// the model evaluation alone decides.
bool isPointUsable(const DataPoint& point, ModelId modelId, int32_t flags) {
    return (flags & kFitDropInvalidPoints) != 0 || pointRefusal(modelId, flags, point) == nullptr;
}

double computeAverageError(const std::vector<DataPoint>& points,
                           const std::vector<double>& coefficients, ModelId modelId,
                           int32_t flags) {
    AverageError average;
    forEachFittedPoint(points, coefficients, modelId, flags, nullptr,
                       [&](const DataPoint& point, double yModel) { average.add(point, yModel); });
    return average.percent();
}

std::vector<PointDeviation> computeDeviations(const std::vector<DataPoint>& points,
                                              const std::vector<double>& coefficients,
                                              ModelId modelId, int32_t flags) {
    std::vector<PointDeviation> deviations;
    deviations.reserve(points.size());
    forEachFittedPoint(points, coefficients, modelId, flags, nullptr,
                       [&](const DataPoint& point, double yModel) {
                           deviations.push_back(deviationAt(point, yModel, flags));
                       });
    return deviations;
}

// The two in one walk: the curve's value at a point is the same for both. A
// table that cannot be had leaves the average's own refusal to go first.
FitStatistics computeFitStatistics(const std::vector<DataPoint>& points,
                                   const std::vector<double>& coefficients, ModelId modelId,
                                   int32_t flags, const PointRecords* records) {
    FitStatistics statistics;
    try {
        statistics.deviations.reserve(points.size());
    } catch (const std::bad_alloc&) {
        computeAverageError(points, coefficients, modelId, flags);
        throw;
    }
    AverageError average;
    forEachFittedPoint(points, coefficients, modelId, flags, records,
                       [&](const DataPoint& point, double yModel) {
                           average.add(point, yModel);
                           statistics.deviations.push_back(deviationAt(point, yModel, flags));
                       });
    statistics.averageError = average.percent();
    return statistics;
}

}  // namespace tallowfit
