#include "numeric/power_series.h"

#include "numeric/status.h"

namespace tallowfit {

int32_t evalPowerSeries(double x, const ModelEvaluation* evaluation, double* y) {
    if (evaluation == nullptr || y == nullptr || evaluation->count < 1)
        return kStatusInvalidArgument;
    *y = hornerFrom(evaluation->parameters, 0, evaluation->count, x);
    if (evaluation->derivatives) storePowerBasis(evaluation->derivatives, evaluation->count, x);
    return kStatusOk;
}

}  // namespace tallowfit
