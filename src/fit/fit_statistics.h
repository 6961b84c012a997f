// Goodness-of-fit figures in data space: the average relative error and the
// per-point deviations.
#ifndef TALLOWFIT_FIT_FIT_STATISTICS_H
#define TALLOWFIT_FIT_FIT_STATISTICS_H

#include <cstdint>
#include <vector>

#include "models.h"

namespace tallowfit {

struct PointDeviation {
    double deviation;
    double y;
    double yUnc;
    double x;
    double xUnc;
};

bool isPointUsable(const DataPoint& point, ModelId modelId, int32_t flags);

// In percent; throws std::runtime_error when no point counts.
double computeAverageError(const std::vector<DataPoint>& points,
                           const std::vector<double>& coefficients, ModelId modelId,
                           int32_t flags);

std::vector<PointDeviation> computeDeviations(const std::vector<DataPoint>& points,
                                              const std::vector<double>& coefficients,
                                              ModelId modelId, int32_t flags);

struct FitStatistics {
    double averageError;
    std::vector<PointDeviation> deviations;
};

// Both of the above from one evaluation of the curve per point, with the same
// results and the same exceptions as computeAverageError then computeDeviations.
// The records, when given, are the fit's of these very points, one each.
FitStatistics computeFitStatistics(const std::vector<DataPoint>& points,
                                   const std::vector<double>& coefficients, ModelId modelId,
                                   int32_t flags, const PointRecords* records = nullptr);

}  // namespace tallowfit

#endif
