// What the golden record cannot pin of the fit layer: its parts and refusal order.
#include <cstring>
#include <thread>

#include "fit/dual_model.h"
#include "fit/engine_report.h"
#include "fit/fit_driver.h"
#include "fit/messages.h"
#include "fit/point_preparation.h"
#include "test_support.h"

using namespace tallowfit;

namespace {

const std::string kInvalid = "invalid_argument: ";

// The split forms give the model functions' values, derivatives and refusals to
// the bit: from one record (value()) and from a run of records count doubles
// apart (nothing written past them). LogRatio holds its first coefficient.
TEST(ModelSplits, MatchTheirModelFunctions) {
    const struct { ModelId id; Values c; Values xs; } cases[] = {
        {LogLog, {0.5, 0.3, 0.05}, {2.7, 1e5, 0.5, NAN, 1.0, 3.5}}, {LogLog, {-1, 2, -0.3, 0.01, 1e-3, 0, 0, 2}, {1.5, 40.0, INFINITY}},
        {LogInverse, {1, 2, 3}, {0.24285714285714285, 7.0, -1.0, 0.0, 2.0}}, {LogInverse, {0.1}, {7.0}},
        {LogRatio, {2.5, 1.0, 0.7, -0.2}, {3.3, -2.0, 0.0, 2.5}}, {LogRatio, {2.5, 1.0}, {3.3, -2.0}}, {LogRatio, {2.5}, {2.0}},
        {HalfPower, {0.5, -2, 0.25}, {3.3, -2.0, 0.0, 1e10}}, {HalfPower, {0.5}, {3.3}}};
    for (const auto& k : cases) {
        const PointInvariantModel* split = dataModelSplit(k.id);
        ASSERT_NE(split, nullptr);
        const uint32_t n = static_cast<uint32_t>(k.c.size());
        const ModelEvaluation values = {k.c.data(), nullptr, static_cast<int32_t>(n)};
        Values records, ys, ds;
        for (double x : k.xs) {
            Values record(n + 1, -1.0), d(n + 1, -1.0);
            const ModelEvaluation e = {k.c.data(), d.data(), static_cast<int32_t>(n)};
            double y = 0.0, value = 0.0;
            const int32_t status = dataModelFunction(k.id)(x, &e, &y);
            ASSERT_EQ(split->prepare(x, &values, record.data()), status) << x;
            if (status == kStatusOk) value = split->value(record.data(), k.c.data(), static_cast<int32_t>(n));
            EXPECT_TRUE(record[n] == -1.0 && d[n] == -1.0 && (status || !std::memcmp(&value, &y, 8))) << x;
            if (status != kStatusOk) continue;
            records.insert(records.end(), record.begin(), record.end() - 1);
            ds.insert(ds.end(), d.begin(), d.end() - 1);
            ys.push_back(y);
        }
        Values y(ys.size()), d(ds.size() + 1, -1.0);  // bit for bit, NaN included
        split->evaluate(records.data(), static_cast<uint32_t>(ys.size()), n, k.c.data(), static_cast<int32_t>(n), y.data(), d.data());
        EXPECT_TRUE(d.back() == -1.0 && (ys.empty() || (!std::memcmp(y.data(), ys.data(), ys.size() * 8) &&
                                                          !std::memcmp(d.data(), ds.data(), ds.size() * 8)))) << k.id;
        EXPECT_EQ(split->heldPrefix, k.id == LogRatio ? 1u : 0u);
    }
}

// Without coefficients, record or output every model function refuses (the
// golden record holds their domain refusals); one coefficient has one derivative.
TEST(ModelFunctions, Refusals) {
    double y = 0.0, d[] = {-1.0, -1.0};
    const double c[] = {2.0, 1.0};
    const ModelEvaluation two = {c, nullptr, 2}, none = {c, nullptr, 0}, one = {c, d, 1};
    for (ModelFunction f : {evalPowerSeries, evalLogInverse, evalLogLog, evalLogRatio, evalHalfPower, evalRootPolynomial,
                            evalLogInverseTransformed, evalLogLogTransformed, evalLogRatioTransformed}) {
        EXPECT_TRUE(f(2.0, &none, &y) == kStatusInvalidArgument && f(2.0, nullptr, &y) == kStatusInvalidArgument &&
                    f(2.0, &two, nullptr) == kStatusInvalidArgument);
        f(2.0, &one, &y);
        EXPECT_EQ(d[1], -1.0);
    }
}

// Back in data space the scale comes out of the constant coefficient, none to
// adjust with one LogInverse or LogRatio coefficient, nothing written past count.
TEST(PointPreparation, RestoreDataSpaceTakesOutTheScale) {
    const double inverse = 2 - std::log10(2.5), log = std::log(2.5);
    const struct { ModelId id; Values c, expected; } cases[] = {
        {LogInverse, {1, 2, 9}, {1, inverse, 9}}, {LogInverse, {1, 9}, {1, 9}}, {LogLog, {1, 2, 9}, {1 - log, 2, 9}},
        {LogRatio, {3, 2, 9}, {3, 2 - log, 9}}, {LogRatio, {3, 9}, {3, 9}}, {HalfPower, {1, 2, 9}, {1, 2, 9}}};
    for (const auto& k : cases) {
        Values c = k.c;
        PointVector<double> t, u, sigma;
        restoreDataSpace({point(2, 0.1, 0.01)}, k.id, 2.5, c.data(), static_cast<uint32_t>(c.size() - 1), t, u, sigma);
        EXPECT_EQ(c, k.expected) << k.id;
    }
}

// Scaling small y up for the logarithm and taking the scale out again leaves
// the fit where it was, to rounding, in every model that scales.
TEST(FitModel, SmallYScaledFitsAsUnscaled) {
    PointVector<DataPoint> points;
    for (int i = 1; i <= 8; ++i) points.push_back(point(1.5 + 0.5 * i, 0.01 * i * std::sqrt(i) + 1e-4 * (i % 3), 1e-3));
    for (ModelId id : {LogLog, LogRatio, LogInverse}) {
        const FitResult plain = fitModel(points, id, 3, 0), scaled = fitModel(points, id, 3, kFitScaleSmallY);
        for (size_t k = 0; k < plain.coefficients.size(); ++k)
            EXPECT_NEAR(scaled.coefficients[k], plain.coefficients[k], 1e-9 * (1 + std::fabs(plain.coefficients[k]))) << id;
    }
}

PointVector<DataPoint> positivePoints(int count) {
    PointVector<DataPoint> points;
    for (int i = 0; i < count; ++i) points.push_back(point(2.0 + i, 1.0 + 0.5 * i, 0.1));
    return points;
}

// Each refusal in the order the driver tests them; where two apply, the
// earlier one wins: count before validity, validity before transformation,
// the removed-points count after both.
TEST(FitModel, RefusalsInStepOrder) {
    const DataPoint bad = point(-1, 2, 0.1);
    // u = y^2 is fitted by -1.5 + 4.5 x, negative at x = 0: that point drops out
    // of the data-space chi-square and leaves no degree of freedom.
    const PointVector<DataPoint> negativeStart = {point(0, 0, 1), point(1, 0, 1), point(2, 3, 1)};
    const PointVector<DataPoint> threeValid = {bad, bad, point(2, 2, 0.1), point(3, 3, 0.1), point(4, 1, 0.1)};
    const struct { PointVector<DataPoint> points; ModelId id; int32_t order, flags; std::string expected; } cases[] = {
        {{}, Dual, 2, 0, kInvalid + kZeroPoints}, {positivePoints(1), 9, 0, 0, kInvalid + kNoOptimalOrder},
        {positivePoints(3), 9, 2, 0, kInvalid + kNoLinearTransformation},
        {positivePoints(3), Polynomial, 3, 0, kInvalid + kFewerPoints}, {{bad, bad}, LogLog, 2, 0, kInvalid + kFewerPoints},
        {{point(2, 2, 0.1), bad, point(3, 2, 0.1)}, LogLog, 2, 0, kInvalid + kXPointRefused},
        {{bad, bad, bad}, 9, 2, 0, kInvalid + kXPointRefused}, {{bad, bad, bad}, 9, 2, kFitDropInvalidPoints, kInvalid + kFewerValidPoints},
        {{point(1, 2, 0.1), point(2, 2, 0), point(-1, 2, 0.1)}, LogLog, 2, 0, kInvalid + kUncPointRefused},
        {{point(1, 2, 0.1), point(2, 0, 0.1), point(3, 2, 0.1)}, HalfPower, 2, 0, kInvalid + kYPointRefused},
        {threeValid, LogLog, 3, kFitDropInvalidPoints, kInvalid + kFewerValidPoints},
        {threeValid, LogLog, 3, kFitDropInvalidPoints | kFitAllowExactFit, "ok"}, {negativeStart, RootPolynomial, 2, kFitAllowExactFit, "ok"},
        {negativeStart, RootPolynomial, 2, 0, std::string("runtime_error: ") + kTooFewDegreesOfFreedom}};
    for (const auto& k : cases)
        EXPECT_EQ(outcome([&] { fitModel(k.points, k.id, k.order, k.flags); }), k.expected) << k.id;
}

// The covariance storage (the first n + 1 blocks) gives bad_alloc, even before
// the removed-points check; later the solvers report their out-of-memory
// status or, inside the condition test, fall back and succeed.
TEST(FitModel, AllocationFailuresLeakNothing) {
    forEachAllocationFailure([](long k) {
        const std::string result =
            outcome([] { fitModel(positivePoints(6), LogLog, 3, kFitRefineNonlinear | kFitCheckConditioning); });
        const bool storage = k >= 1 && k <= 4, solver = k > 4 && result == "status -320234190";
        EXPECT_TRUE(storage ? result == "bad_alloc" : (solver || result == "ok")) << k << result;
    });
    EXPECT_EQ(outcome([] { failAllocationAt(1), fitModel({point(-1, 2, 0.1), point(2, 1, 1), point(3, 1, 1)}, LogLog, 2,
                                                         kFitDropInvalidPoints); }), "bad_alloc");
    failAllocationAt(0);
}

// The engine's fits: the same bits with the passes shared with the second
// thread (one fit alone) as on the caller's thread, and with two fits side by
// side; the hardening checks run this under ThreadSanitizer.
TEST(EngineFits, SameBitsOnOneThreadOrTwo) {
    const PointVector<DataPoint> points = positivePoints(20000);
    const auto bits = [](const FitReport& r) {
        std::string all(reinterpret_cast<const char*>(r.deviations.data()), r.deviations.size() * sizeof(PointDeviation));
        for (const Values& row : r.covariance) all.append(reinterpret_cast<const char*>(row.data()), row.size() * 8);
        const Values figures = {r.reducedChiSquare, r.averageError};
        for (const Values* v : {&r.coefficients, &figures}) all.append(reinterpret_cast<const char*>(v->data()), v->size() * 8);
        return all;
    };
    for (ModelId id : {LogLog, LogInverse, HalfPower}) {
        const std::string alone = bits(reportModelFit(points, id, 3, kFitRefineNonlinear, false));
        std::string beside;
        EXPECT_EQ(bits(reportModelFit(points, id, 3, kFitRefineNonlinear, true)), alone) << id;
        std::thread other([&] { beside = bits(reportModelFit(points, id, 3, kFitRefineNonlinear, true)); });
        EXPECT_EQ(bits(reportModelFit(points, id, 3, kFitRefineNonlinear, true)), alone) << id;
        other.join();
        EXPECT_EQ(beside, alone) << id;
    }
}

// Within machine epsilon of a threshold near 1 is on it (both sides); near 4
// only 4 itself is. NaN is on neither side.
TEST(DualModel, Sides) {
    const double epsilon = 2.220446049250313e-16, aboveFour = std::nextafter(4.0, 5.0);
    const struct { Values xs; double threshold; Values lower, upper; } cases[] = {
        {{2, 3, 4, 5, 6, 7}, 4.5, {2, 3, 4}, {5, 6, 7}}, {{7, 4, 2, 5}, 4, {4, 2}, {7, 4, 5}},
        {{1 + epsilon, 1 - epsilon / 2}, 1.0, {1 + epsilon, 1 - epsilon / 2}, {1 + epsilon, 1 - epsilon / 2}},
        {{aboveFour}, 4.0, {}, {aboveFour}}, {{NAN, 3}, 2.0, {}, {3}}};
    for (const auto& k : cases) {
        PointVector<DataPoint> points;
        for (double x : k.xs) points.push_back(point(x, x * x, 0.1 * x));
        const ThresholdSplit split = splitAtThreshold(points, k.threshold);
        Values sides[2];
        for (int side : {0, 1})
            for (const DataPoint& p : side ? split.upper : split.lower) sides[side].push_back(p.x);
        EXPECT_TRUE(sides[0] == k.lower && sides[1] == k.upper) << k.threshold;
    }
}

}  // namespace
