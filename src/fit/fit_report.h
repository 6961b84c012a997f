// What the module layer hands back for a fit: every figure finished, the
// covariance scaled, the two ranges of a two-range fit already assigned.
#ifndef TALLOWFIT_FIT_FIT_REPORT_H
#define TALLOWFIT_FIT_FIT_REPORT_H

#include <cstdint>
#include <vector>

#include "fit/fit_statistics.h"
#include "fit/models.h"

namespace tallowfit {

struct FitReport {
    std::vector<double> coefficients;
    std::vector<std::vector<double>> covariance;  // scaled as returned to the caller
    double reducedChiSquare = 0.0;
    double averageError = 0.0;
    // Only from the overloads taking FitOptions: the refusal's text in place of
    // averageError when no point counts for the average; null otherwise.
    const char* averageErrorRefusal = nullptr;
    PointVector<PointDeviation> deviations;  // one per point where the curve has a value
};

struct DualFitReport {
    bool hasLower = false;  // false when no point lies at or below the threshold
    FitReport lower;
    FitReport upper;
};

// Throws what the fit and the statistics throw: std::invalid_argument,
// std::runtime_error, std::bad_alloc, or a solver status as an unsigned int;
// the average error's refusal is left in the report instead of thrown: a
// caller that builds its answer item by item raises it where the average goes,
// so that what fails while the items before it are built still comes first.
// (The array engine's forms, which throw it, are in engine_report.h.)
FitReport reportModelFit(const PointVector<DataPoint>& points, ModelId modelId, int32_t order,
                         const FitOptions& options);

DualFitReport reportDualFit(const PointVector<DataPoint>& points, double threshold,
                            int32_t lowerOrder, int32_t upperOrder, const FitOptions& options);

}  // namespace tallowfit

#endif
