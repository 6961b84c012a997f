// One fit of a catalogue model: order, point preparation, the linear seed, the
// optional refinement and the reduced chi-square.
#ifndef TALLOWFIT_FIT_FIT_DRIVER_H
#define TALLOWFIT_FIT_FIT_DRIVER_H

#include <cstdint>
#include <vector>

#include "fit/models.h"

namespace tallowfit {

struct FitCovariance {
    std::vector<std::vector<double>> rows;
    double reducedChiSquare;
};

struct FitResult {
    std::vector<double> coefficients;
    FitCovariance covariance;
    // The fitted curve at each of the points that passed validation, in
    // order, or empty when it has no value at one of them; the statistics
    // over the same points take their values from here.
    PointVector<double> curve;
};

// Throws std::invalid_argument for a model without an order table.
int32_t optimalOrder(ModelId modelId, uint32_t pointCount);

// Throws std::invalid_argument, std::runtime_error, std::bad_alloc, or a
// nonzero solver status as an unsigned int.
FitResult fitModel(const PointVector<DataPoint>& points, ModelId modelId, int32_t order,
                   const FitOptions& options);

}  // namespace tallowfit

#endif
