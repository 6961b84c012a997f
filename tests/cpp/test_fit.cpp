// The fit layer on hand-worked values and its edge cases; the golden record
// carries every end-to-end result, these pin what it is made of and the
// order in which refusals are met.
#include <cstring>

#include "fit/dual_model.h"
#include "fit/fit_driver.h"
#include "fit/fit_statistics.h"
#include "fit/messages.h"
#include "fit/point_preparation.h"
#include "test_support.h"

using namespace tallowfit;

namespace {

const std::string kInvalid = "invalid_argument: ";

int32_t call(ModelFunction f, double x, Values c, bool withDerivatives) {
    Values d(c.size());
    const ModelEvaluation e = {c.data(), withDerivatives ? d.data() : nullptr, static_cast<int32_t>(c.size())};
    double y = 0.0;
    return f(x, &e, &y);
}

// The transformed functions at the transformed x are the logarithms of the
// data-space values, with their derivatives where these are linear.
TEST(ModelFunctions, TransformedSpacePairsWithDataSpace) {
    const Values c = {1.5, 0.3, -0.2, 0.05};
    auto at = [&](ModelFunction f, double x) {
        Values d(c.size());
        const ModelEvaluation e = {c.data(), d.data(), static_cast<int32_t>(c.size())};
        double y = NAN;
        EXPECT_EQ(f(x, &e, &y), kStatusOk);
        return y;
    };
    for (double x : {1.5, 2.0, 3.7}) {
        EXPECT_NEAR(at(evalLogInverseTransformed, 1.0 / x), std::log10(at(evalLogInverse, x)), 1e-12);
        EXPECT_NEAR(at(evalLogLogTransformed, std::log(x)), std::log(at(evalLogLog, x)), 1e-12);
        EXPECT_NEAR(at(evalLogRatioTransformed, std::log(c[0] / x)), std::log(at(evalLogRatio, x)), 1e-12);
    }
}

// The split forms give the model functions' values and derivatives to the bit,
// and their refusals; a run of points is evaluated from records count doubles
// apart into derivatives count apart, nothing written past them; value() is
// the model's value from one record. LogRatio holds its first coefficient.
TEST(ModelSplits, MatchTheirModelFunctions) {
    const struct { ModelId id; Values c; Values xs; } cases[] = {
        {LogLog, {0.5, 0.3, 0.05}, {2.7, 1e5, 0.5, NAN, 1.0, 3.5}}, {LogLog, {-1, 2, -0.3, 0.01, 1e-3, 0, 0, 2}, {1.5, 40.0, INFINITY}},
        {LogInverse, {1, 2, 3}, {0.24285714285714285, 7.0, -1.0, 0.0, 2.0}}, {LogInverse, {0.1}, {7.0}},
        {LogRatio, {2.5, 1.0, 0.7, -0.2}, {3.3, -2.0, 0.0, 2.5}}, {LogRatio, {2.5, 1.0}, {3.3, -2.0}}, {LogRatio, {2.5}, {2.0}},
        {HalfPower, {0.5, -2, 0.25}, {3.3, -2.0, 0.0, 1e10}}, {HalfPower, {0.5}, {3.3}},
    };
    for (const auto& k : cases) {
        const PointInvariantModel* split = dataModelSplit(k.id);
        ASSERT_NE(split, nullptr);
        const uint32_t n = static_cast<uint32_t>(k.c.size());
        const ModelEvaluation values = {k.c.data(), nullptr, static_cast<int32_t>(n)};
        Values records, expected;
        for (double x : k.xs) {
            Values record(n + 1, -1.0), d(n + 1, -1.0);
            const ModelEvaluation e = {k.c.data(), d.data(), static_cast<int32_t>(n)};
            double y = 0.0;
            const int32_t status = dataModelFunction(k.id)(x, &e, &y);
            ASSERT_EQ(split->prepare(x, &values, record.data()), status) << x;
            EXPECT_TRUE(record[n] == -1.0 && d[n] == -1.0) << x;
            if (status != kStatusOk) continue;
            const double value = split->value(record.data(), k.c.data(), static_cast<int32_t>(n));
            EXPECT_EQ(std::memcmp(&value, &y, sizeof value), 0) << x;
            records.insert(records.end(), record.begin(), record.end() - 1);
            expected.insert(expected.end(), d.begin(), d.end() - 1);
            expected.push_back(y);
        }
        const uint32_t count = static_cast<uint32_t>(records.size() / n);
        Values y(count), d(count * n + 1, -1.0), actual;
        split->evaluate(records.data(), count, n, k.c.data(), static_cast<int32_t>(n), y.data(), d.data());
        for (uint32_t i = 0; i < count; ++i) {
            actual.insert(actual.end(), d.begin() + i * n, d.begin() + (i + 1) * n);
            actual.push_back(y[i]);
        }
        ASSERT_EQ(actual.size(), expected.size());  // bit for bit, NaN included
        EXPECT_TRUE(d.back() == -1.0 && (actual.empty() || std::memcmp(actual.data(), expected.data(), actual.size() * 8) == 0)) << k.id;
        EXPECT_EQ(split->heldPrefix, k.id == LogRatio ? 1u : 0u);
    }
    for (ModelId id : std::initializer_list<ModelId>{-1, Dual, RootPolynomial, Polynomial, 7})
        EXPECT_EQ(dataModelSplit(id), nullptr);
}

// Outside each model's domain, and without coefficients, record or output,
// every model function refuses.
TEST(ModelFunctions, Refusals) {
    const struct { ModelFunction f; double x; Values c; bool withDerivatives; } refused[] = {
        {evalLogLog, 1.0, {1, 1}, false}, {evalLogLog, 0.5, {1, 1}, false}, {evalLogLog, 0.0, {1, 1}, false},
        {evalLogLogTransformed, 0.0, {1, 1}, false}, {evalLogLogTransformed, -0.5, {1, 1}, false},
        {evalLogInverse, 0.0, {0, 2}, false}, {evalLogInverse, -1.0, {0, 2}, false}, {evalLogRatio, 2.0, {2}, false},
        {evalLogRatio, 0.0, {2, 1}, false}, {evalHalfPower, -1.0, {1, 1}, false},
        {evalRootPolynomial, 1.0, {-1}, false}, {evalRootPolynomial, 1.0, {0}, true},
        {evalLogInverseTransformed, 0.0, {1, 2}, false},
    };
    for (const auto& k : refused) EXPECT_EQ(call(k.f, k.x, k.c, k.withDerivatives), kStatusInvalidArgument) << k.x;
    const double c[] = {2.0, 1.0};
    const ModelEvaluation two = {c, nullptr, 2};
    double y = 0.0;
    for (ModelFunction f : {evalPolynomial, evalLogInverse, evalLogLog, evalLogRatio, evalHalfPower, evalRootPolynomial,
                            evalLogInverseTransformed, evalLogLogTransformed, evalLogRatioTransformed}) {
        EXPECT_EQ(call(f, 2.0, {}, false), kStatusInvalidArgument);
        EXPECT_TRUE(f(2.0, nullptr, &y) == kStatusInvalidArgument && f(2.0, &two, nullptr) == kStatusInvalidArgument);
    }
}

// Back in data space the scale comes out of the constant coefficient, none to
// adjust with one LogInverse or LogRatio coefficient, nothing written past count.
TEST(PointPreparation, RestoreDataSpaceTakesOutTheScale) {
    const struct { ModelId id; Values c, expected; } cases[] = {
        {LogInverse, {1, 2}, {1, 2 - std::log10(2.5)}}, {LogInverse, {1}, {1}}, {LogLog, {1, 2}, {1 - std::log(2.5), 2}},
        {LogRatio, {3, 2}, {3, 2 - std::log(2.5)}}, {LogRatio, {3}, {3}}, {HalfPower, {1, 2}, {1, 2}},
    };
    for (const auto& k : cases) {
        Values c = k.c, t = {9}, u, sigma, expected = k.expected;
        c.push_back(-99.0), expected.push_back(-99.0);
        const FitData data = restoreDataSpace({point(2, 0.1, 0.01), point(3, 0.2, 0.02)}, k.id, 2.5, c.data(),
                                              static_cast<uint32_t>(k.c.size()), t, u, sigma);
        EXPECT_EQ(c, expected) << k.id;
        EXPECT_TRUE(t == Values({2, 3}) && u == Values({0.1, 0.2}) && sigma == Values({0.01, 0.02}) && data.count == 2);
    }
}

std::vector<DataPoint> positivePoints(int count) {
    std::vector<DataPoint> points;
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
    const std::vector<DataPoint> negativeStart = {point(0, 0, 1), point(1, 0, 1), point(2, 3, 1)};
    const std::vector<DataPoint> threeValid = {bad, bad, point(2, 2, 0.1), point(3, 3, 0.1), point(4, 1, 0.1)};
    const struct { std::vector<DataPoint> points; ModelId id; int32_t order, flags; std::string expected; } cases[] = {
        {{}, Dual, 2, 0, kInvalid + kZeroPoints},
        {positivePoints(1), 9, 0, 0, kInvalid + kNoOptimalOrder},
        {positivePoints(3), 9, 2, 0, kInvalid + kNoLinearTransformation},
        {positivePoints(3), Polynomial, 3, 0, kInvalid + kFewerPoints}, {{bad, bad}, LogLog, 2, 0, kInvalid + kFewerPoints},
        {{point(2, 2, 0.1), bad, point(3, 2, 0.1)}, LogLog, 2, 0, kInvalid + kXPointRefused},
        {{bad, bad, bad}, 9, 2, 0, kInvalid + kXPointRefused},
        {{point(1, 2, 0.1), point(2, 2, 0), point(-1, 2, 0.1)}, LogLog, 2, 0, kInvalid + kUncPointRefused},
        {{point(1, 2, 0.1), point(2, 0, 0.1), point(3, 2, 0.1)}, HalfPower, 2, 0, kInvalid + kYPointRefused},
        {threeValid, LogLog, 3, kFitDropInvalidPoints, kInvalid + kFewerValidPoints},
        {{bad, bad, bad}, 9, 2, kFitDropInvalidPoints, kInvalid + kFewerValidPoints},
        {threeValid, LogLog, 3, kFitDropInvalidPoints | kFitAllowExactFit, "ok"},
        {{point(0.5, 2, 0.1), point(2, 2, 0.1), point(3, 2, 0.1)}, LogLog, 2, 0, "status -320234115"},
        // A NaN uncertainty makes every normal-matrix entry NaN: no pivot.
        {{point(1, 2, 1), point(2, 3, NAN), point(3, 4, 1)}, Polynomial, 2, 0, "status -337079102"},
        {negativeStart, RootPolynomial, 2, 0, std::string("runtime_error: ") + kTooFewDegreesOfFreedom},
        {negativeStart, RootPolynomial, 2, kFitAllowExactFit, "ok"}, {positivePoints(3), LogRatio, 3, kFitAllowExactFit, "ok"},
    };
    for (const auto& k : cases) EXPECT_EQ(outcome([&] { fitModel(k.points, k.id, k.order, k.flags); }), k.expected) << k.id;
}

// Worked fits. Polynomial line: the inverse of [[3, 6], [6, 14]]. Zero
// uncertainties counted as one: the line -1 + 1.9x leaves residuals 0.1, 0.2,
// -0.7, 0.4, chi-square 0.7 over 2 dof. LogRatio holds c0 = 2.5, the middle of
// the x range, its row and column zero; off the curve its reduced chi-square
// is divided by 4 points less the 2 adjusted coefficients.
TEST(FitModel, WorkedFits) {
    auto sampled = [](Values xs, double (*f)(double)) {
        std::vector<DataPoint> points;
        for (double x : xs) points.push_back(point(x, f(x), 0.01 * f(x)));
        return points;
    };
    const struct { std::vector<DataPoint> points; ModelId id; int32_t order, flags; Values c; Rows covariance;
                   double reduced, tolerance; } cases[] = {
        {{point(1, 1, 1), point(2, 3, 1), point(3, 5, 1)}, Polynomial, 2, 0, {-1, 2}, {{14.0 / 6, -1}, {-1, 0.5}}, 0,
         1e-12},
        {{point(1, 1, 0), point(2, 3, 0), point(3, 4, 0), point(4, 7, 0)}, Polynomial, 2, kFitAllowZeroUncertainty,
         {-1, 1.9}, {}, 0.35, 1e-12},
        {sampled({1, 2, 3}, [](double x) { return 1 + x * x; }), Polynomial, 3, kFitAllowExactFit, {1, 0, 1}, {}, 0, 1e-9},
        {sampled({1, 2, 3, 4, 5, 6}, [](double x) { return std::pow(10.0, 2 + 3 / x); }), LogInverse, 3, 0, {0, 2, 3},
         {}, 0, 1e-9},
        {sampled({1, 2, 3, 4}, [](double x) { return 3 * std::pow(2.5 / x, 2); }), LogRatio, 3, 0,
         {2.5, std::log(3.0), 2}, {}, 0, 1e-12},
    };
    for (const auto& k : cases) {
        const FitResult fit = fitModel(k.points, k.id, k.order, k.flags);
        for (size_t i = 0; i < k.c.size(); ++i) {
            EXPECT_NEAR(fit.coefficients[i], k.c[i], k.tolerance) << k.id;
            for (size_t j = 0; j < k.covariance.size(); ++j)
                EXPECT_NEAR(fit.covariance.rows[i][j], k.covariance[i][j], k.tolerance);
            EXPECT_TRUE(k.id != LogRatio || (fit.covariance.rows[0][i] == 0 && fit.covariance.rows[i][0] == 0));
        }
        EXPECT_NEAR(fit.covariance.reducedChiSquare, k.reduced, k.tolerance) << k.id;
        EXPECT_TRUE(k.id != LogRatio || fit.coefficients[0] == 2.5);
    }
    const std::vector<DataPoint> off = {point(1, 19.0, 0.5), point(2, 4.4, 0.1), point(3, 2.1, 0.05), point(4, 1.1, 0.02)};
    const FitResult fit = fitModel(off, LogRatio, 3, 0);
    double chiSquare = 0.0;
    for (const DataPoint& p : off)
        chiSquare += std::pow((p.y - std::exp(fit.coefficients[1] + fit.coefficients[2] *
                                                                       std::log(fit.coefficients[0] / p.x))) / p.yUnc, 2);
    EXPECT_NEAR(fit.covariance.reducedChiSquare, chiSquare / 2, 1e-9 * chiSquare);
    // A NaN y leaves no reduced chi-square.
    std::vector<DataPoint> withNan = positivePoints(4);
    withNan[2].y = NAN;
    const FitCovariance nan = fitModel(withNan, Polynomial, 2, 0).covariance;
    EXPECT_TRUE(std::isnan(nan.reducedChiSquare));
}

// The covariance storage (the first n + 1 blocks) gives bad_alloc, even before
// the removed-points check; later the solvers report their out-of-memory
// status or, inside the condition test, fall back and succeed.
TEST(FitModel, AllocationFailuresLeakNothing) {
    forEachAllocationFailure([](long k) {
        const std::string result = outcome([] {
            fitModel(positivePoints(6), LogLog, 3, kFitRefineNonlinear | kFitCheckConditioning);
        });
        const bool storage = k >= 1 && k <= 4, solver = k > 4 && result == "status -320234190";
        EXPECT_TRUE(storage ? result == "bad_alloc" : (solver || result == "ok")) << k << result;
    });
    failAllocationAt(1);
    EXPECT_EQ(outcome([] { fitModel({point(-1, 2, 0.1), point(2, 1, 1), point(3, 1, 1)}, LogLog, 2,
                                    kFitDropInvalidPoints); }), "bad_alloc");
    failAllocationAt(0);
}

// Average error: 100 x the mean of |y - f(x)| / y over points with y != 0
// where the model evaluates, so a negative y lowers it (|-2 - (-1)| / -2 =
// -0.5, then with f = -3 + 2x, |4 - 1| / 4 = 0.75 more). Deviation:
// sqrt(residual^2 + yUnc^2), yUnc taken as 0 with kFitAllowZeroUncertainty.
// The points are those of a fit that succeeded, so validity is not asked
// again: (2, 3, -1) counts for LogLog (f(2) = 2); the model refuses x <= 1 at
// (0.5, 3, 0.1). NaN: no average for want of points, the refusal in its place.
TEST(FitStatistics, AverageErrorAndDeviations) {
    const DataPoint badUnc = point(2, 3, -1), belowOne = point(0.5, 3, 0.1);
    const struct { std::vector<DataPoint> points; Values c; ModelId id; int32_t flags; double average;
                   Values deviations; } cases[] = {
        {{point(1, 2, 0.1), point(2, 4, 0.1)}, {0, 2}, Polynomial, 0, 0.0, {0.1, 0.1}},
        {{point(1, 2, 0.1), point(2, 4, 0.1)}, {0, 2}, Polynomial, kFitAllowZeroUncertainty, 0.0, {0, 0}},
        {{point(3, 10, 4)}, {1, 2}, Polynomial, 0, 3.0 / 10 * 100, {5}},
        {{point(1, -2, 0.1), point(2, 4, 0.1)}, {-3, 2}, Polynomial, 0, 12.5, {std::sqrt(1.01), std::sqrt(9.01)}},
        {{point(1, 0, 0.1)}, {0.5}, Polynomial, 0, NAN, {std::sqrt(0.26)}}, {{}, {1}, Polynomial, 0, NAN, {}},
        {{badUnc, belowOne}, {0, 1}, LogLog, 0, (3 - 2.0) / 3 * 100, {std::sqrt(2.0)}},
        {{belowOne}, {0, 1}, LogLog, 0, NAN, {}}, {{}, {1}, Dual, 0, NAN, {}},  // no point: no model looked up
    };
    for (const auto& k : cases) {
        const FitStatistics s = computeFitStatistics(k.points, k.c, k.id, k.flags);
        EXPECT_EQ(s.averageErrorRefusal ? s.averageErrorRefusal : "", std::isnan(k.average) ? kNoAverage : "");
        EXPECT_TRUE(std::isnan(k.average) || s.averageError == k.average) << s.averageError;
        ASSERT_EQ(s.deviations.size(), k.deviations.size()) << k.average;
        for (size_t i = 0; i < k.deviations.size(); ++i) EXPECT_NEAR(s.deviations[i].deviation, k.deviations[i], 1e-15);
    }
    EXPECT_THROW(computeFitStatistics({point(2, 3, 1)}, {1, 1}, Dual, 0), std::invalid_argument);
}

// Within machine epsilon of a threshold near 1 is on it (both sides); near 4
// only 4 itself is. NaN is on neither side.
TEST(DualModel, Sides) {
    auto pointsAt = [](const Values& xs) {
        std::vector<DataPoint> points;
        for (double x : xs) points.push_back(point(x, x * x, 0.1 * x));
        return points;
    };
    auto xsOf = [](const std::vector<DataPoint>& points) {
        Values xs;
        for (const DataPoint& p : points) xs.push_back(p.x);
        return xs;
    };
    const double epsilon = 2.220446049250313e-16, aboveFour = std::nextafter(4.0, 5.0);
    const struct { Values xs; double threshold; Values lower, upper; } cases[] = {
        {{2, 3, 4, 5, 6, 7}, 4.5, {2, 3, 4}, {5, 6, 7}}, {{7, 4, 2, 5}, 4, {4, 2}, {7, 4, 5}},
        {{1 + epsilon, 1 - epsilon / 2}, 1.0, {1 + epsilon, 1 - epsilon / 2}, {1 + epsilon, 1 - epsilon / 2}},
        {{aboveFour}, 4.0, {}, {aboveFour}}, {{NAN, 3}, 2.0, {}, {3}},
    };
    for (const auto& k : cases) {
        const ThresholdSplit split = splitAtThreshold(pointsAt(k.xs), k.threshold);
        EXPECT_TRUE(xsOf(split.lower) == k.lower && xsOf(split.upper) == k.upper) << k.threshold;
    }
    // All x below the threshold: no upper points. x = 0.5 is valid but outside LogLog's domain.
    EXPECT_EQ(outcome([&] { fitDualModel(splitAtThreshold(pointsAt({2, 3, 4, 5}), 10), 2, 2, 0); }),
              kInvalid + kZeroPoints);
    EXPECT_EQ(outcome([&] { fitDualModel(splitAtThreshold(pointsAt({0.5, 2, 3, 5, 6, 7}), 4), 2, 2, 0); }), "status -320234115");
}

}  // namespace
