#include "fit/dual_model.h"

#include <cmath>

namespace tallowfit {

namespace {

// Double-precision machine epsilon, used as an absolute tolerance: only for a
// threshold below 2 in magnitude does any x other than the threshold itself
// lie on it.
constexpr double kOnThreshold = 2.220446049250313e-16;

}  // namespace

// A point on the threshold belongs to both sides; a NaN x compares false with
// everything and so belongs to neither.
ThresholdSplit splitAtThreshold(const PointVector<DataPoint>& points, double threshold) {
    ThresholdSplit split;
    for (const DataPoint& point : points) {
        const bool near = std::fabs(point.x - threshold) <= kOnThreshold;
        if (near || point.x < threshold) split.lower.push_back(point);
        if (near || point.x > threshold) split.upper.push_back(point);
    }
    return split;
}

// Two independent LogLog fits. The lower side is skipped when empty; the upper
// side is always fitted, so an empty upper side fails the whole call.
std::vector<FitResult> fitDualModel(const ThresholdSplit& split, int32_t lowerOrder,
                                    int32_t upperOrder, const FitOptions& options) {
    std::vector<FitResult> results;
    if (!split.lower.empty()) results.push_back(fitModel(split.lower, LogLog, lowerOrder, options));
    results.push_back(fitModel(split.upper, LogLog, upperOrder, options));
    return results;
}

}  // namespace tallowfit
