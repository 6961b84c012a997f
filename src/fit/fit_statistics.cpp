#include "fit/fit_statistics.h"

#include <cmath>
#include <new>
#include <stdexcept>

#include "fit/messages.h"
#include "numeric/status.h"
#include "fit/point_preparation.h"

namespace tallowfit {

namespace {


// The fitted curve at a usable point, when the model can be evaluated there.
// The model function is looked up for every usable point, so a model without
// one is refused at the first such point and an empty list passes.
bool fittedValueAt(const DataPoint& point, const std::vector<double>& coefficients,
                   ModelId modelId, int32_t flags, double* yModel) {
    if (!isPointUsable(point, modelId, flags)) return false;
    const ModelFunction model = dataModelFunction(modelId);
    const ModelEvaluation evaluation = {coefficients.data(), nullptr,
                                        static_cast<int32_t>(coefficients.size())};
    *yModel = 0.0;
    return model(point.x, &evaluation, yModel) == kStatusOk;
}

// Calls visit(point, yModel) for every point where the curve has a value.
template <typename Visit>
void forEachFittedPoint(const std::vector<DataPoint>& points,
                        const std::vector<double>& coefficients, ModelId modelId, int32_t flags,
                        Visit visit) {
    for (const DataPoint& point : points) {
        double yModel = 0.0;
        if (fittedValueAt(point, coefficients, modelId, flags, &yModel)) visit(point, yModel);
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
    return {deviation, point.y, point.yUnc, point.x, point.xUnc, yModel};
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
    forEachFittedPoint(points, coefficients, modelId, flags,
                       [&](const DataPoint& point, double yModel) { average.add(point, yModel); });
    return average.percent();
}

std::vector<PointDeviation> computeDeviations(const std::vector<DataPoint>& points,
                                              const std::vector<double>& coefficients,
                                              ModelId modelId, int32_t flags) {
    std::vector<PointDeviation> deviations;
    deviations.reserve(points.size());
    forEachFittedPoint(points, coefficients, modelId, flags,
                       [&](const DataPoint& point, double yModel) {
                           deviations.push_back(deviationAt(point, yModel, flags));
                       });
    return deviations;
}

// The two in one walk: the curve's value at a point is the same for both. A
// table that cannot be had leaves the average's own refusal to go first.
FitStatistics computeFitStatistics(const std::vector<DataPoint>& points,
                                   const std::vector<double>& coefficients, ModelId modelId,
                                   int32_t flags) {
    FitStatistics statistics;
    try {
        statistics.deviations.reserve(points.size());
    } catch (const std::bad_alloc&) {
        computeAverageError(points, coefficients, modelId, flags);
        throw;
    }
    AverageError average;
    forEachFittedPoint(points, coefficients, modelId, flags,
                       [&](const DataPoint& point, double yModel) {
                           average.add(point, yModel);
                           statistics.deviations.push_back(deviationAt(point, yModel, flags));
                       });
    statistics.averageError = average.percent();
    return statistics;
}

}  // namespace tallowfit
