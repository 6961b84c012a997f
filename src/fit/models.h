// The model catalogue: model ids, the flag word and its options, the measured
// point, and the model functions in data space and in each model's transformed
// space.
#ifndef TALLOWFIT_FIT_MODELS_H
#define TALLOWFIT_FIT_MODELS_H

#include <cstdint>

#include "fit/point_storage.h"
#include "numeric/model_function.h"
#include "numeric/power_series.h"

namespace tallowfit {

typedef int32_t ModelId;

enum : ModelId {
    LogInverse = 0,
    LogLog = 1,
    LogRatio = 2,
    Dual = 3,
    HalfPower = 4,
    RootPolynomial = 5,
    Polynomial = 6,
};

// Bits of the flag word passed with every fit; other bits are ignored.
constexpr int32_t kFitDropInvalidPoints = 1;
constexpr int32_t kFitRefineNonlinear = 2;
constexpr int32_t kFitScaleSmallY = 4;
constexpr int32_t kFitCheckConditioning = 8;
constexpr int32_t kFitAllowExactFit = 16;
constexpr int32_t kFitAllowZeroUncertainty = 32;

// The flag word decoded, once per call; the fit reads only these.
struct FitOptions {
    bool dropInvalidPoints = false;
    bool refineNonlinear = false;
    bool scaleSmallY = false;
    bool checkConditioning = false;
    bool allowExactFit = false;
    bool allowZeroUncertainty = false;
    // Not of the flag word: a second thread for the passes, or null.
    const WorkSharing* sharing = nullptr;

    constexpr FitOptions() = default;
    // Not explicit: wherever options are taken, a flag word reads as its own.
    constexpr FitOptions(int32_t flags)
        : dropInvalidPoints((flags & kFitDropInvalidPoints) != 0),
          refineNonlinear((flags & kFitRefineNonlinear) != 0),
          scaleSmallY((flags & kFitScaleSmallY) != 0),
          checkConditioning((flags & kFitCheckConditioning) != 0),
          allowExactFit((flags & kFitAllowExactFit) != 0),
          allowZeroUncertainty((flags & kFitAllowZeroUncertainty) != 0) {}
};

// One measured point; xUnc is carried along and read by no computation.
struct DataPoint {
    double x;
    double xUnc;
    double y;
    double yUnc;
};

// Data space; Polynomial's is the power series, evalPowerSeries. A missing
// record or output, or no coefficients, is refused with the status of a
// domain refusal: the caller cannot tell them apart and need not.
int32_t evalLogInverse(double x, const ModelEvaluation* evaluation, double* y);
int32_t evalLogLog(double x, const ModelEvaluation* evaluation, double* y);
int32_t evalLogRatio(double x, const ModelEvaluation* evaluation, double* y);
int32_t evalHalfPower(double x, const ModelEvaluation* evaluation, double* y);
int32_t evalRootPolynomial(double x, const ModelEvaluation* evaluation, double* y);

// Transformed space (evalPowerSeries serves HalfPower, RootPolynomial, Polynomial).
int32_t evalLogInverseTransformed(double t, const ModelEvaluation* evaluation, double* y);
int32_t evalLogLogTransformed(double t, const ModelEvaluation* evaluation, double* y);
int32_t evalLogRatioTransformed(double t, const ModelEvaluation* evaluation, double* y);

// Throw std::invalid_argument for Dual and for ids outside the catalogue.
ModelFunction dataModelFunction(ModelId id);
ModelFunction transformedModelFunction(ModelId id);

// The split form of a data-space model function, or null for the models that
// compute nothing from x alone worth keeping (the polynomials in x) and for
// ids outside the catalogue.
const PointInvariantModel* dataModelSplit(ModelId id);

}  // namespace tallowfit

#endif
