// Goodness-of-fit figures in data space: the average relative error and the
// per-point deviations.
#ifndef TALLOWFIT_FIT_FIT_STATISTICS_H
#define TALLOWFIT_FIT_FIT_STATISTICS_H

#include <vector>

#include "fit/models.h"

namespace tallowfit {

struct PointDeviation {
    double deviation;
    double y;
    double yUnc;
    double x;
    double xUnc;
    double yModel;  // the curve's value at x, from which the deviation was taken
};

struct FitStatistics {
    double averageError = 0.0;  // in percent
    // The refusal's text in place of the average when no point counts for it;
    // null when there is one.
    const char* averageErrorRefusal = nullptr;
    PointVector<PointDeviation> deviations;  // one per point where the curve has a value
};

// Over the points of a fit that succeeded with the same model and options:
// each of them passed validation or invalid ones were dropped, so a point
// counts wherever the curve has a value. Throws std::invalid_argument for a
// model without a function (at the first point) and std::bad_alloc. The
// curve, when given, is the fit's value at each of these points, as the
// model function gives it with these coefficients.
FitStatistics computeFitStatistics(const PointVector<DataPoint>& points,
                                   const std::vector<double>& coefficients, ModelId modelId,
                                   const FitOptions& options, const double* curve = nullptr);

}  // namespace tallowfit

#endif
