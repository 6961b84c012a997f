#include "fit/point_preparation.h"

#include <atomic>
#include <cmath>
#include <cstddef>
#include <stdexcept>

#include "fit/messages.h"
#include "numeric/status.h"

namespace tallowfit {

namespace {

// log10(e): the uncertainty of log10(y) is yUnc/y times this.
constexpr double kLog10E = 0.4342944819032518;

// The largest y that the logarithmic models see under scaleSmallY.
constexpr double kScaledLargestY = 0.5;

struct TransformedPoint {
    double t;
    double u;
    double sigma;
};

// One point in the model's linear transformation; the uncertainty of a
// logarithm is relative, so it is taken from the unscaled y. A record holds t,
// by the same operation on the same argument: first for LogLog, LogRatio (its
// held c[0] is the middle of the x range) and HalfPower, second for LogInverse.
inline TransformedPoint transformPoint(ModelId modelId, const DataPoint& p, double yScale,
                                double xMiddle, const double* record) {
    switch (modelId) {
        case LogInverse:
            return {record ? record[1] : 1.0 / p.x, std::log10(p.y * yScale),
                    p.yUnc * kLog10E / p.y};
        case LogLog:
            return {record ? record[0] : std::log(p.x), std::log(p.y * yScale), p.yUnc / p.y};
        case LogRatio:
            return {record ? record[0] : std::log(xMiddle / p.x), std::log(p.y * yScale),
                    p.yUnc / p.y};
        case HalfPower: return {record ? record[0] : std::sqrt(p.x), p.y, p.yUnc};
        case RootPolynomial: return {p.x, p.y * p.y, p.yUnc * p.yUnc};
        case Polynomial: return {p.x, p.y, p.yUnc};
        default: throw std::invalid_argument(kNoLinearTransformation);
    }
}

}  // namespace

// Each test fails only a value <= 0, so a NaN coordinate passes them all.
const char* pointRefusal(ModelId modelId, const FitOptions& options, const DataPoint& point) {
    const bool testsXAndY = modelId != RootPolynomial && modelId != Polynomial;
    if (testsXAndY && point.x <= 0.0) return kXPointRefused;
    if (testsXAndY && point.y <= 0.0) return kYPointRefused;
    const bool zeroAllowed = options.allowZeroUncertainty && point.yUnc == 0.0;
    if (point.yUnc <= 0.0 && !zeroAllowed) return kUncPointRefused;
    return nullptr;
}

namespace {

// The extremes of the points added so far, in their order: a NaN taken first
// stays, as no comparison replaces it.
struct RangeTally {
    bool any = false;
    double smallestX = 0.0;
    double largestX = 0.0;
    double largestY = 0.0;

    void add(const DataPoint& p) {
        if (!any || p.x < smallestX) smallestX = p.x;
        if (!any || p.x > largestX) largestX = p.x;
        if (!any || p.y > largestY) largestY = p.y;
        any = true;
    }

    // The y scale that lifts a small largest y to 0.5 for the logarithms, and
    // the middle of the x range.
    RangeFigures figures(const FitOptions& options) const {
        RangeFigures result = {smallestX, largestX, largestY, 1.0, 0.0};
        if (options.scaleSmallY && largestY != 0.0 && largestY < kScaledLargestY)
            result.yScale = kScaledLargestY / largestY;
        result.xMiddle = (largestX + smallestX) * 0.5;
        return result;
    }
};

// The points from the first refused one, `first`, on: throws its refusal, or
// drops it, copying the points before it to `kept` and after it the ones that
// pass.
void keepValidFrom(std::size_t first, const char* refusal, ModelId modelId,
                   const FitOptions& options, const PointVector<DataPoint>& points,
                   PointVector<DataPoint>& kept, RangeTally& tally) {
    if (!options.dropInvalidPoints) throw std::invalid_argument(refusal);
    kept.reserve(points.size());
    kept.assign(points.begin(), points.begin() + static_cast<std::ptrdiff_t>(first));
    for (std::size_t i = first + 1; i < points.size(); ++i) {
        if (pointRefusal(modelId, options, points[i]) == nullptr) {
            tally.add(points[i]);
            kept.push_back(points[i]);
        }
    }
}

}  // namespace

// One walk: the test of each point, the range of those that pass. Up to the
// first refusal, which most fits never meet, the walk calls nothing.
const PointVector<DataPoint>& validatePoints(ModelId modelId, const FitOptions& options,
                                             const PointVector<DataPoint>& points,
                                             PointVector<DataPoint>& kept, RangeFigures& range) {
    RangeTally tally;
    const PointVector<DataPoint>* valid = &points;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const char* refusal = pointRefusal(modelId, options, points[i]);
        if (refusal != nullptr) {
            keepValidFrom(i, refusal, modelId, options, points, kept, tally);
            valid = &kept;
            break;
        }
        tally.add(points[i]);
    }
    range = tally.figures(options);
    return *valid;
}

FitPointRecords preparePointRecords(ModelId modelId, const PointVector<DataPoint>& valid,
                                    const double* coefficients, int32_t count,
                                    const WorkSharing* sharing) {
    FitPointRecords prepared;
    const PointInvariantModel* split = dataModelSplit(modelId);
    if (split == nullptr || count > static_cast<int32_t>(kMaxRecordedCoefficients))
        return prepared;
    const uint32_t width = static_cast<uint32_t>(count);
    prepared.records.resize(valid.size() * width);
    const ModelEvaluation evaluation = {coefficients, nullptr, count};
    // Cleared at a refusal, by whichever thread meets it.
    std::atomic<bool> everyRecord(true);
    auto prepareRecords = [&](uint32_t from, uint32_t to) {
        for (uint32_t i = from; i < to && everyRecord.load(std::memory_order_relaxed); ++i) {
            if (split->prepare(valid[i].x, &evaluation, &prepared.records[std::size_t{i} * width]) !=
                kStatusOk)
                everyRecord = false;
        }
    };
    const uint32_t n = static_cast<uint32_t>(valid.size());
    const uint32_t handStart = sharedPartStart(sharing, n, kStoringPass);
    if (handStart == n ||
        !shareChunks(sharing, handStart, n, [&]() { prepareRecords(0, handStart); }, prepareRecords))
        prepareRecords(0, n);
    if (!everyRecord) {
        prepared.records = PointVector<double>();
        return prepared;
    }
    prepared.split = split;
    prepared.width = width;
    prepared.sharing = sharing;
    prepared.handStart = n;
    return prepared;
}

void FitPointRecords::reserveHandOver() const {
    if (split == nullptr) return;
    const uint32_t n = static_cast<uint32_t>(records.size() / width);
    handStart = sharedPartStart(sharing, n, kSummingPass);
    handed.resize(std::size_t{n - handStart} * (1 + width));
    evaluated.reset(new std::atomic<bool>[sharedChunkCount(handStart, n)]);
    view_.handStart = handStart;
    view_.handed = handed.data();
    view_.evaluated = evaluated.get();
}

void transformPoints(ModelId modelId, const PointVector<DataPoint>& valid, double yScale,
                     double xMiddle, PointVector<double>& t, PointVector<double>& u,
                     PointVector<double>& sigma, const PointRecords* records) {
    t.resize(valid.size());
    u.resize(valid.size());
    sigma.resize(valid.size());
    auto store = [&](std::size_t i, const TransformedPoint& transformed) {
        t[i] = transformed.t;
        u[i] = transformed.u;
        sigma[i] = transformed.sigma;
    };
    // A record of one coefficient may lack t (LogInverse's second slot).
    if (records && records->width > 1) {
        for (std::size_t i = 0; i < valid.size(); ++i) {
            store(i, transformPoint(modelId, valid[i], yScale, xMiddle,
                                    records->records + i * records->width));
        }
    } else {
        for (std::size_t i = 0; i < valid.size(); ++i)
            store(i, transformPoint(modelId, valid[i], yScale, xMiddle, nullptr));
    }
}

// The logarithmic models carry the y scale in their constant coefficient; a
// fit too short to have one (LogInverse or LogRatio with c[0] alone) has
// nothing to adjust.
void removeYScale(ModelId modelId, double yScale, double* coefficients,
                  uint32_t coefficientCount) {
    if (yScale != 1.0) {
        switch (modelId) {
            case LogInverse:
                if (coefficientCount > 1) coefficients[1] = coefficients[1] - std::log10(yScale);
                break;
            case LogLog:
                if (coefficientCount > 0) coefficients[0] = coefficients[0] - std::log(yScale);
                break;
            case LogRatio:
                if (coefficientCount > 1) coefficients[1] = coefficients[1] - std::log(yScale);
                break;
            case HalfPower:
            case RootPolynomial:
            case Polynomial: break;
            default: throw std::invalid_argument(kNoLinearTransformation);
        }
    }
}

FitData restoreDataSpace(const PointVector<DataPoint>& valid, ModelId modelId, double yScale,
                         double* coefficients, uint32_t coefficientCount, PointVector<double>& t,
                         PointVector<double>& u, PointVector<double>& sigma) {
    t.clear();
    u.clear();
    sigma.clear();
    for (const DataPoint& point : valid) {
        t.push_back(point.x);
        u.push_back(point.y);
        sigma.push_back(point.yUnc);
    }
    removeYScale(modelId, yScale, coefficients, coefficientCount);
    return FitData{t.data(), nullptr, u.data(), sigma.data(), static_cast<uint32_t>(t.size())};
}

}  // namespace tallowfit
