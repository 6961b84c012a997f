#include "fit/fit_statistics.h"

#include <cmath>
#include <new>

#include "fit/messages.h"
#include "numeric/status.h"

namespace tallowfit {

namespace {

// Calls visit(point, yModel) for every point where the curve has a value:
// each of them when the fit's values are given. Otherwise the model function
// is looked up at each point, so a model without one is refused at the first
// point and an empty list passes.
template <typename Visit>
void forEachFittedPoint(const PointVector<DataPoint>& points,
                        const std::vector<double>& coefficients, ModelId modelId,
                        const double* curve, Visit visit) {
    const ModelEvaluation evaluation = {coefficients.data(), nullptr,
                                        static_cast<int32_t>(coefficients.size())};
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (curve) {
            visit(points[i], curve[i]);
        } else {
            const ModelFunction model = dataModelFunction(modelId);
            double yModel = 0.0;
            if (model(points[i].x, &evaluation, &yModel) == kStatusOk) visit(points[i], yModel);
        }
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
        statistics.deviations.reserve(points.size());
    } catch (const std::bad_alloc&) {
        forEachFittedPoint(points, coefficients, modelId, curve,
                           [&](const DataPoint& point, double yModel) { average.add(point, yModel); });
        if (average.count != 0) throw;
        average.storeIn(statistics);
        return statistics;
    }
    forEachFittedPoint(points, coefficients, modelId, curve,
                       [&](const DataPoint& point, double yModel) {
                           average.add(point, yModel);
                           statistics.deviations.push_back(deviationAt(point, yModel, options));
                       });
    average.storeIn(statistics);
    return statistics;
}

}  // namespace tallowfit
