#include "fit/fit_report.h"

#include <algorithm>
#include <stdexcept>

#include "fit/dual_model.h"
#include "fit/fit_driver.h"
#include "fit/messages.h"

namespace tallowfit {

namespace {


// The reduced chi-square stands in for the unknown scale of the uncertainties
// only when no point brought one (flag 32 and every yUnc 0.0, which holds for
// no points at all); otherwise the covariance is returned as fitted.
double covarianceFactor(const std::vector<DataPoint>& points, const FitResult& fit, int32_t flags) {
    const bool allZero = std::all_of(points.begin(), points.end(),
                                     [](const DataPoint& point) { return point.yUnc == 0.0; });
    return (flags & kFitAllowZeroUncertainty) != 0 && allZero ? fit.covariance.reducedChiSquare
                                                              : 1.0;
}

// The statistics of a fit are taken over the points it was given, with its
// own model.
FitReport reportOf(const std::vector<DataPoint>& points, ModelId modelId, const FitResult& fit,
                   int32_t flags) {
    FitReport report;
    report.coefficients = fit.coefficients;
    const double factor = covarianceFactor(points, fit, flags);
    report.covariance = fit.covariance.rows;
    for (std::vector<double>& row : report.covariance) {
        for (double& value : row) value = factor * value;
    }
    report.reducedChiSquare = fit.covariance.reducedChiSquare;
    FitStatistics statistics = computeFitStatistics(points, fit.coefficients, modelId, flags);
    report.averageError = statistics.averageError;
    report.deviations = std::move(statistics.deviations);
    return report;
}

}  // namespace

FitReport reportModelFit(const std::vector<DataPoint>& points, ModelId modelId, int32_t order,
                         int32_t flags) {
    // Refused before any test of the fit, even for an empty point list.
    if (modelId == Dual) throw std::invalid_argument(kDualModelRefused);
    return reportOf(points, modelId, fitModel(points, modelId, order, flags), flags);
}

// Both ranges are fitted before either's statistics, as the two fits may each
// refuse and the first refusal met is the one reported.
DualFitReport reportDualFit(const std::vector<DataPoint>& points, double threshold,
                            int32_t lowerOrder, int32_t upperOrder, int32_t flags) {
    const std::vector<FitResult> fits =
        fitDualModel(points, threshold, lowerOrder, upperOrder, flags);
    const ThresholdSplit split = splitAtThreshold(points, threshold);
    DualFitReport report;
    report.hasLower = fits.size() == 2;
    if (report.hasLower) report.lower = reportOf(split.lower, LogLog, fits.front(), flags);
    report.upper = reportOf(split.upper, LogLog, fits.back(), flags);
    return report;
}

}  // namespace tallowfit
