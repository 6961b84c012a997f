#include "fit_statistics.h"

#include <cmath>
#include <stdexcept>

#include "../numeric/status.h"
#include "point_preparation.h"

namespace tallowfit {

namespace {

const char* const kNoAverage = "There are too few points, 0 == ndata, to compute average error.";

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

}  // namespace

// A point counts when the fit would have accepted it on its own; under
// kFitDropInvalidPoints validation refuses nothing, so every point counts and
// the model evaluation alone decides.
bool isPointUsable(const DataPoint& point, ModelId modelId, int32_t flags) {
    return (flags & kFitDropInvalidPoints) != 0 || pointRefusal(modelId, flags, point) == nullptr;
}

// Mean relative deviation in percent. The divisor is y itself, so a point
// with negative y lowers the figure.
double computeAverageError(const std::vector<DataPoint>& points,
                           const std::vector<double>& coefficients, ModelId modelId,
                           int32_t flags) {
    double sum = 0.0;
    int32_t count = 0;
    for (const DataPoint& point : points) {
        double yModel = 0.0;
        if (fittedValueAt(point, coefficients, modelId, flags, &yModel) && point.y != 0.0) {
            sum = sum + std::fabs(point.y - yModel) / point.y;
            ++count;
        }
    }
    if (count == 0) throw std::runtime_error(kNoAverage);
    return (sum * 100) / count;
}

// Distance of each point from the curve, its own uncertainty included unless
// zero uncertainties are allowed (then none is).
std::vector<PointDeviation> computeDeviations(const std::vector<DataPoint>& points,
                                              const std::vector<double>& coefficients,
                                              ModelId modelId, int32_t flags) {
    const bool withoutUncertainty = (flags & kFitAllowZeroUncertainty) != 0;
    std::vector<PointDeviation> deviations;
    deviations.reserve(points.size());
    for (const DataPoint& point : points) {
        double yModel = 0.0;
        if (fittedValueAt(point, coefficients, modelId, flags, &yModel)) {
            const double residual = point.y - yModel;
            const double uncertaintySquare = withoutUncertainty ? 0.0 : point.yUnc * point.yUnc;
            const double deviation = std::sqrt(residual * residual + uncertaintySquare);
            deviations.push_back({deviation, point.y, point.yUnc, point.x, point.xUnc});
        }
    }
    return deviations;
}

}  // namespace tallowfit
