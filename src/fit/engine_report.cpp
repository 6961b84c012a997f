#include "fit/engine_report.h"

#include <stdexcept>

#include "fit/fit_helper.h"

namespace tallowfit {

namespace {

void requireAverageError(const FitReport& report) {
    if (report.averageErrorRefusal != nullptr)
        throw std::runtime_error(report.averageErrorRefusal);
}

}  // namespace

FitReport reportModelFit(const PointVector<DataPoint>& points, ModelId modelId, int32_t order,
                         int32_t flags, bool secondThread) {
    const FitHelper helper(secondThread);
    FitOptions options(flags);
    options.sharing = helper.sharing();
    FitReport report = reportModelFit(points, modelId, order, options);
    requireAverageError(report);
    return report;
}

// The lower range's refusal first, as its answer comes first.
DualFitReport reportDualFit(const PointVector<DataPoint>& points, double threshold,
                            int32_t lowerOrder, int32_t upperOrder, int32_t flags,
                            bool secondThread) {
    const FitHelper helper(secondThread);
    FitOptions options(flags);
    options.sharing = helper.sharing();
    DualFitReport report = reportDualFit(points, threshold, lowerOrder, upperOrder, options);
    if (report.hasLower) requireAverageError(report.lower);
    requireAverageError(report.upper);
    return report;
}

}  // namespace tallowfit
