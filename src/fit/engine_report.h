// The fits of the array engine: the flag word as given, every figure finished
// or the first refusal thrown, and a second thread for a fit of many points
// when one is free.
#ifndef TALLOWFIT_FIT_ENGINE_REPORT_H
#define TALLOWFIT_FIT_ENGINE_REPORT_H

#include <cstdint>

#include "fit/fit_report.h"

namespace tallowfit {

// Throw what the report functions of fit_report.h throw, and the average
// error's refusal as std::runtime_error. The results are those of the report
// functions to the bit, on one thread or two; secondThread false keeps the
// fit on the caller's.
FitReport reportModelFit(const PointVector<DataPoint>& points, ModelId modelId, int32_t order,
                         int32_t flags, bool secondThread);

DualFitReport reportDualFit(const PointVector<DataPoint>& points, double threshold,
                            int32_t lowerOrder, int32_t upperOrder, int32_t flags,
                            bool secondThread);

}  // namespace tallowfit

#endif
