// The two-range 'Dual' model: a LogLog fit on each side of a threshold of x.
#ifndef TALLOWFIT_FIT_DUAL_MODEL_H
#define TALLOWFIT_FIT_DUAL_MODEL_H

#include <cstdint>
#include <vector>

#include "fit/fit_driver.h"
#include "fit/models.h"

namespace tallowfit {

struct ThresholdSplit {
    PointVector<DataPoint> lower;  // x below the threshold or on it
    PointVector<DataPoint> upper;  // x above the threshold or on it
};

ThresholdSplit splitAtThreshold(const PointVector<DataPoint>& points, double threshold);

// One or two results: the lower side's (when it has points), then the upper's.
std::vector<FitResult> fitDualModel(const ThresholdSplit& split, int32_t lowerOrder,
                                    int32_t upperOrder, const FitOptions& options);

}  // namespace tallowfit

#endif
