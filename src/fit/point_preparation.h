// Carrying the measured points to a model's transformed space and back:
// validation, the range figures, the transformation and its inverse.
#ifndef TALLOWFIT_FIT_POINT_PREPARATION_H
#define TALLOWFIT_FIT_POINT_PREPARATION_H

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "numeric/least_squares.h"
#include "fit/models.h"

namespace tallowfit {

// The message of the first validation test that the point fails for the model,
// or null when it passes them all. Reads only allowZeroUncertainty.
const char* pointRefusal(ModelId modelId, const FitOptions& options, const DataPoint& point);

struct RangeFigures {
    double smallestX;
    double largestX;
    double largestY;
    double yScale;
    double xMiddle;
};

// The valid points in input order, each point tested once: `points` itself when
// every one passes (a long run is not copied), otherwise the passing ones,
// copied into `kept`; their range figures to `range`, from the same walk.
// Throws std::invalid_argument with the first refusal unless
// options.dropInvalidPoints, which drops the point instead.
const PointVector<DataPoint>& validatePoints(ModelId modelId, const FitOptions& options,
                                             const PointVector<DataPoint>& points,
                                             PointVector<DataPoint>& kept, RangeFigures& range);

// The records of the valid points in the model's split form, prepared once
// for a whole fit and read by every pass that evaluates the model: the
// transformation, the linear fit, the refinement, the chi-square and the
// statistics. None (split null) when the model has no split form, the
// coefficients are more than the bound, or the model refuses a point.
struct FitPointRecords {
    const PointInvariantModel* split = nullptr;
    uint32_t width = 0;
    PointVector<double> records;
    const WorkSharing* sharing = nullptr;  // for the passes that read them
    // What a curvature pass hands over (PointRecords): nothing until reserved.
    mutable uint32_t handStart = 0;
    mutable PointVector<double> handed;
    mutable std::unique_ptr<std::atomic<bool>[]> evaluated;
    // Room for what a curvature pass hands over, before a refinement, in the
    // view that table() gave; none without records.
    void reserveHandOver() const;
    // The solvers' view, or null when there are none.
    const PointRecords* table() const {
        view_ = PointRecords{split, records.data(), width, sharing, handStart, handed.data(),
                             evaluated.get()};
        return split ? &view_ : nullptr;
    }

private:
    mutable PointRecords view_ = {nullptr, nullptr, 0, nullptr, 0, nullptr, nullptr};
};

// `coefficients` are the count start values, the held ones already in place.
// With sharing, the records of the later points are prepared on its thread.
FitPointRecords preparePointRecords(ModelId modelId, const PointVector<DataPoint>& valid,
                                    const double* coefficients, int32_t count,
                                    const WorkSharing* sharing = nullptr);

// t, u and sigma of every valid point, in place of what the three held;
// throws std::invalid_argument for a model without a linear transformation
// (at the first point). The records,
// when given, hold what t would be computed from.
void transformPoints(ModelId modelId, const PointVector<DataPoint>& valid, double yScale,
                     double xMiddle, PointVector<double>& t, PointVector<double>& u,
                     PointVector<double>& sigma, const PointRecords* records = nullptr);

// Takes the y scale out of the constant coefficient (of coefficientCount).
void removeYScale(ModelId modelId, double yScale, double* coefficients,
                  uint32_t coefficientCount);

// Refills t, u, sigma with x, y, yUnc, takes the y scale out of the constant
// coefficient and returns the data-space FitData.
FitData restoreDataSpace(const PointVector<DataPoint>& valid, ModelId modelId, double yScale,
                         double* coefficients, uint32_t coefficientCount, PointVector<double>& t,
                         PointVector<double>& u, PointVector<double>& sigma);

}  // namespace tallowfit

#endif
