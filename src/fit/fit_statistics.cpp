#include "fit/fit_statistics.h"

#include <cmath>
#include <new>

#include "fit/messages.h"
#include "numeric/status.h"

namespace tallowfit {

namespace {

// Calls visit(point, yModel) for every point where the curve has a value:
// each of them when the fit's values are given. Otherwise the model function
// is looked up for the first point, so a model without one is refused there
// and an empty list passes.
template <typename Visit>
void forEachFittedPoint(const PointVector<DataPoint>& points,
                        const std::vector<double>& coefficients, ModelId modelId,
                        const double* curve, Visit visit) {
    if (curve) {
        for (std::size_t i = 0; i < points.size(); ++i) visit(points[i], curve[i]);
        return;
    }
    if (points.empty()) return;
    const ModelFunction model = dataModelFunction(modelId);
    const ModelEvaluation evaluation = {coefficients.data(), nullptr,
                                        static_cast<int32_t>(coefficients.size())};
    for (const DataPoint& point : points) {
        double yModel = 0.0;
        if (model(point.x, &evaluation, &yModel) == kStatusOk) visit(point, yModel);
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
    void storeIn(FitStatistics& statistics) const {
        if (count == 0)
            statistics.averageErrorRefusal = kNoAverage;
        else
            statistics.averageError = (sum * 100) / count;
    }
};

// Distance of the point from the curve, its own uncertainty included unless
// zero uncertainties are allowed (then none is).
PointDeviation deviationAt(const DataPoint& point, double yModel, const FitOptions& options) {
    const double residual = point.y - yModel;
    const double uncertaintySquare = options.allowZeroUncertainty ? 0.0 : point.yUnc * point.yUnc;
    const double deviation = std::sqrt(residual * residual + uncertaintySquare);
    return {deviation, point.y, point.yUnc, point.x, point.xUnc, yModel};
}

}  // namespace

// Both figures in one walk: the curve's value at a point is the same for
// both. A table that cannot be had leaves the average's own refusal to go
// first, and with it the table is not needed.
FitStatistics computeFitStatistics(const PointVector<DataPoint>& points,
                                   const std::vector<double>& coefficients, ModelId modelId,
                                   const FitOptions& options, const double* curve) {
    FitStatistics statistics;
    AverageError average;
    try {
        statistics.deviations.resize(points.size());
    } catch (const std::bad_alloc&) {
        forEachFittedPoint(points, coefficients, modelId, curve,
                           [&](const DataPoint& point, double yModel) { average.add(point, yModel); });
        if (average.count != 0) throw;
        average.storeIn(statistics);
        return statistics;
    }
    PointDeviation* deviation = statistics.deviations.data();
    forEachFittedPoint(points, coefficients, modelId, curve,
                       [&](const DataPoint& point, double yModel) {
                           average.add(point, yModel);
                           *deviation++ = deviationAt(point, yModel, options);
                       });
    statistics.deviations.resize(static_cast<std::size_t>(deviation - statistics.deviations.data()));
    average.storeIn(statistics);
    return statistics;
}

}  // namespace tallowfit
