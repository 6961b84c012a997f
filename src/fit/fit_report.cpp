#include "fit/fit_report.h"

#include <algorithm>
#include <stdexcept>

#include "fit/dual_model.h"
#include "fit/fit_driver.h"
#include "fit/messages.h"

namespace tallowfit {

namespace {

// The reduced chi-square stands in for the unknown scale of the uncertainties
// only when no point brought one (zero uncertainties allowed and every yUnc
// 0.0, which holds for no points at all); otherwise the covariance is returned
// as fitted.
double covarianceFactor(const PointVector<DataPoint>& points, const FitResult& fit,
                        const FitOptions& options) {
    const bool allZero = std::all_of(points.begin(), points.end(),
                                     [](const DataPoint& point) { return point.yUnc == 0.0; });
    return options.allowZeroUncertainty && allZero ? fit.covariance.reducedChiSquare : 1.0;
}

// The statistics of a fit are taken over the points it was given, with its
// own model.
FitReport reportOf(const PointVector<DataPoint>& points, ModelId modelId, const FitResult& fit,
                   const FitOptions& options) {
    FitReport report;
    report.coefficients = fit.coefficients;
    const double factor = covarianceFactor(points, fit, options);
    report.covariance = fit.covariance.rows;
    for (std::vector<double>& row : report.covariance) {
        for (double& value : row) value = factor * value;
    }
    report.reducedChiSquare = fit.covariance.reducedChiSquare;
    // No point was dropped when the fit's curve has a value for each of them.
    const double* curve = fit.curve.size() == points.size() ? fit.curve.data() : nullptr;
    FitStatistics statistics =
        computeFitStatistics(points, fit.coefficients, modelId, options, curve);
    report.averageError = statistics.averageError;
    report.averageErrorRefusal = statistics.averageErrorRefusal;
    report.deviations = std::move(statistics.deviations);
    return report;
}

}  // namespace

FitReport reportModelFit(const PointVector<DataPoint>& points, ModelId modelId, int32_t order,
                         const FitOptions& options) {
    // Refused before any test of the fit, even for an empty point list.
    if (modelId == Dual) throw std::invalid_argument(kDualModelRefused);
    return reportOf(points, modelId, fitModel(points, modelId, order, options), options);
}

// Both ranges are fitted before either's statistics, as the two fits may each
// refuse and the first refusal met is the one reported.
DualFitReport reportDualFit(const PointVector<DataPoint>& points, double threshold,
                            int32_t lowerOrder, int32_t upperOrder, const FitOptions& options) {
    const ThresholdSplit split = splitAtThreshold(points, threshold);
    const std::vector<FitResult> fits = fitDualModel(split, lowerOrder, upperOrder, options);
    DualFitReport report;
    report.hasLower = fits.size() == 2;
    if (report.hasLower) report.lower = reportOf(split.lower, LogLog, fits.front(), options);
    report.upper = reportOf(split.upper, LogLog, fits.back(), options);
    return report;
}

}  // namespace tallowfit
