// Carrying the measured points to a model's transformed space and back:
// validation, the range figures, the transformation and its inverse.
#ifndef TALLOWFIT_FIT_POINT_PREPARATION_H
#define TALLOWFIT_FIT_POINT_PREPARATION_H

#include <cstdint>
#include <vector>

#include "numeric/least_squares.h"
#include "fit/models.h"

namespace tallowfit {

// The message of the first validation test that the point fails for the model,
// or null when it passes them all. Reads only allowZeroUncertainty.
const char* pointRefusal(ModelId modelId, const FitOptions& options, const DataPoint& point);

// The valid points in input order, each point tested once: `points` itself when
// every one passes (a long run is not copied), otherwise the passing ones,
// copied into `kept`. Throws std::invalid_argument with the first refusal
// unless options.dropInvalidPoints, which drops the point instead.
const std::vector<DataPoint>& validatePoints(ModelId modelId, const FitOptions& options,
                                             const std::vector<DataPoint>& points,
                                             std::vector<DataPoint>& kept);

struct RangeFigures {
    double smallestX;
    double largestX;
    double largestY;
    double yScale;
    double xMiddle;
};

RangeFigures computeRangeFigures(const std::vector<DataPoint>& valid, const FitOptions& options);

// Appends t, u and sigma of every valid point; throws std::invalid_argument for
// a model without a linear transformation (at the first point).
void transformPoints(ModelId modelId, const std::vector<DataPoint>& valid, double yScale,
                     double xMiddle, std::vector<double>& t, std::vector<double>& u,
                     std::vector<double>& sigma);

// Refills t, u, sigma with x, y, yUnc, takes the y scale out of the constant
// coefficient (of coefficientCount) and returns the data-space FitData.
FitData restoreDataSpace(const std::vector<DataPoint>& valid, ModelId modelId, double yScale,
                         double* coefficients, uint32_t coefficientCount, std::vector<double>& t,
                         std::vector<double>& u, std::vector<double>& sigma);

}  // namespace tallowfit

#endif
