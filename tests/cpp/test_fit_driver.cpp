#include <functional>

#include "fit/fit_driver.h"
#include "test_support.h"

using namespace tallowfit;

namespace {

const std::string kInvalid = "invalid_argument: Invalid argument.  ";
const std::string kZeroPoints = kInvalid + "There are zero points to fit.";
const std::string kFewer = kInvalid + "There are fewer points than coefficients for this model.";
const std::string kRemoved = kInvalid + "There are fewer points than coefficients for this model because invalid "
                                        "points have been removed.";
const std::string kXPoint =
    "invalid_argument: Encountered an x-point less than equal to zero.  This mathematical model "
    "cannot be evaluated at that point.  Potential divide by zero.";

const DataPoint kBad = point(-1, 2, 0.1);

// Points of y = f(x) at the given x with a 1 % uncertainty.
std::vector<DataPoint> sampled(Values xs, std::function<double(double)> f) {
    std::vector<DataPoint> points;
    for (double x : xs) points.push_back(point(x, f(x), 0.01 * f(x)));
    return points;
}
std::vector<DataPoint> positivePoints(int count) {
    std::vector<DataPoint> points;
    for (int i = 0; i < count; ++i) points.push_back(point(2.0 + i, 1.0 + 0.5 * i, 0.1));
    return points;
}
std::string fitOutcome(const std::vector<DataPoint>& points, ModelId id, int32_t order, int32_t flags) {
    return outcome([&] { fitModel(points, id, order, flags); });
}

TEST(OptimalOrder, Table) {
    const uint32_t counts[] = {1, 4, 5, 6, 7, 8, 9, 10, 100};
    const std::vector<std::pair<ModelId, std::vector<int32_t>>> table = {
        {LogInverse, {2, 2, 3, 3, 4, 4, 5, 5, 5}}, {LogLog, {2, 2, 3, 3, 4, 4, 5, 5, 5}},
        {Polynomial, {2, 2, 3, 3, 4, 4, 5, 5, 5}}, {LogRatio, {2, 2, 2, 3, 3, 4, 4, 5, 5}},
        {HalfPower, {2, 2, 2, 2, 2, 2, 2, 2, 2}},  {RootPolynomial, {2, 2, 3, 3, 3, 3, 3, 3, 3}},
    };
    for (const auto& row : table)
        for (std::size_t i = 0; i < row.second.size(); ++i)
            EXPECT_EQ(optimalOrder(row.first, counts[i]), row.second[i]) << row.first << " N=" << counts[i];
    EXPECT_THROW(optimalOrder(Dual, 5), std::invalid_argument);
    EXPECT_THROW(optimalOrder(9, 5), std::invalid_argument);
}

// Each refusal in the order the driver tests them; where two apply, the
// earlier one wins.
TEST(FitModel, RefusalsInStepOrder) {
    // u = y^2 is fitted by -1.5 + 4.5 x, negative at x = 0: that point drops out
    // of the data-space chi-square and leaves no degree of freedom.
    const std::vector<DataPoint> negativeStart = {point(0, 0, 1), point(1, 0, 1), point(2, 3, 1)};
    const std::vector<DataPoint> threeValid = {kBad, kBad, point(2, 2, 0.1), point(3, 3, 0.1), point(4, 1, 0.1)};
    const struct { std::vector<DataPoint> points; ModelId id; int32_t order, flags; std::string expected; } cases[] = {
        {{}, Dual, 2, 0, kZeroPoints}, {{}, LogLog, 2, 0, kZeroPoints},
        {positivePoints(1), 9, 0, 0, kInvalid + "There is no way to determine optimal order for this model"},
        {positivePoints(3), 9, 2, 0, kInvalid + "There is no linear transformation defined for this model."},
        {positivePoints(2), Polynomial, 3, 0, kFewer}, {positivePoints(3), Polynomial, 3, 0, kFewer},
        {{kBad, kBad}, LogLog, 2, 0, kFewer},  // count before validity
        {{point(2, 2, 0.1), kBad, point(3, 2, 0.1)}, LogLog, 2, 0, kXPoint},
        {{kBad, kBad, kBad}, 9, 2, 0, kXPoint},  // validity before transformation
        {threeValid, LogLog, 3, kFitDropInvalidPoints, kRemoved},
        {threeValid, LogLog, 3, kFitDropInvalidPoints | kFitAllowExactFit, "ok"},
        {{kBad, kBad, kBad}, 9, 2, kFitDropInvalidPoints, kRemoved},
        {{point(0.5, 2, 0.1), point(2, 2, 0.1), point(3, 2, 0.1)}, LogLog, 2, 0, statusText(kStatusInvalidArgument)},
        {{point(1, 2, 1), point(1, 3, 1), point(1, 4, 1)}, Polynomial, 2, 0, statusText(kStatusIllConditioned)},
        // A NaN uncertainty makes every normal-matrix entry NaN: no pivot.
        {{point(1, 2, 1), point(2, 3, NAN), point(3, 4, 1)}, Polynomial, 2, 0, statusText(kStatusIllConditioned)},
        {negativeStart, RootPolynomial, 2, 0, "runtime_error: There are too few points or too many mathematical "
                                              "exceptions to compute reduced chi-square, mfreedom <= ndata."},
        {negativeStart, RootPolynomial, 2, kFitAllowExactFit, "ok"},
        {positivePoints(3), LogRatio, 3, kFitAllowExactFit, "ok"},
    };
    for (const auto& k : cases) EXPECT_EQ(fitOutcome(k.points, k.id, k.order, k.flags), k.expected) << k.id;
}

// The system's worked fits. Polynomial line: the inverse of [[3, 6], [6, 14]].
// Zero uncertainties counted as one: the line -1 + 1.9x leaves residuals 0.1,
// 0.2, -0.7, 0.4 (worked by hand), chi-square 0.7 over 2 dof. LogRatio holds
// c0 = 2.5, the middle of the x range, so its row and column are zero.
TEST(FitModel, WorkedFits) {
    const struct { std::vector<DataPoint> points; ModelId id; int32_t order, flags; Values c;
                   Rows covariance; double reduced, tolerance; } cases[] = {
        {{point(1, 1, 1), point(2, 3, 1), point(3, 5, 1)}, Polynomial, 2, 0, {-1, 2},
         {{14.0 / 6, -1}, {-1, 0.5}}, 0, 1e-12},
        {{point(1, 1, 0), point(2, 3, 0), point(3, 4, 0), point(4, 7, 0)}, Polynomial, 2,
         kFitAllowZeroUncertainty, {-1, 1.9}, {}, 0.35, 1e-12},
        {sampled({1, 2, 3}, [](double x) { return 1 + x * x; }), Polynomial, 3, kFitAllowExactFit, {1, 0, 1}, {}, 0,
         1e-9},
        {sampled({1, 2, 3, 4, 5, 6}, [](double x) { return std::pow(10.0, 2 + 3 / x); }), LogInverse, 3, 0,
         {0, 2, 3}, {}, 0, 1e-9},
        {sampled({1, 2, 3, 4}, [](double x) { return 3 * std::pow(2.5 / x, 2); }), LogRatio, 3, 0,
         {2.5, std::log(3.0), 2}, {}, 0, 1e-12},
    };
    for (const auto& k : cases) {
        const FitResult fit = fitModel(k.points, k.id, k.order, k.flags);
        expectNear({fit.coefficients}, {k.c}, k.tolerance);
        if (!k.covariance.empty()) expectNear(fit.covariance.rows, k.covariance, k.tolerance);
        EXPECT_NEAR(fit.covariance.reducedChiSquare, k.reduced, k.tolerance) << k.id;
        if (k.id != LogRatio) continue;
        EXPECT_EQ(fit.coefficients[0], 2.5);
        for (int i = 0; i < 3; ++i) EXPECT_TRUE(fit.covariance.rows[0][i] == 0 && fit.covariance.rows[i][0] == 0);
        EXPECT_GT(fit.covariance.rows[1][1], 0.0);
    }
}

// LogRatio data off the curve: the reduced chi-square, recomputed from its
// definition, is divided by 4 points less the 2 adjusted coefficients.
TEST(FitModel, LogRatioDegreesOfFreedomLeaveOutTheReference) {
    const std::vector<DataPoint> points = {point(1, 19.0, 0.5), point(2, 4.4, 0.1), point(3, 2.1, 0.05),
                                           point(4, 1.1, 0.02)};
    const FitResult fit = fitModel(points, LogRatio, 3, 0);
    const Values& c = fit.coefficients;
    double chiSquare = 0.0;
    for (const DataPoint& p : points)
        chiSquare += std::pow((p.y - std::exp(c[1] + c[2] * std::log(c[0] / p.x))) / p.yUnc, 2);
    EXPECT_NEAR(fit.covariance.reducedChiSquare, chiSquare / 2, 1e-9 * chiSquare);
}

// Order 0 takes the optimal order for the point count (LogRatio: c0 = xMiddle
// of x = 2..6 besides one adjusted coefficient).
TEST(FitModel, OrderZeroTakesTheOptimalOrder) {
    const struct { ModelId id; int pointCount; std::size_t coefficients; } cases[] = {
        {LogLog, 4, 2}, {LogLog, 9, 5}, {HalfPower, 100, 2}, {LogRatio, 5, 2}};
    for (const auto& k : cases) {
        const FitResult fit = fitModel(positivePoints(k.pointCount), k.id, 0, 0);
        EXPECT_TRUE(fit.coefficients.size() == k.coefficients && fit.covariance.rows.size() == k.coefficients) << k.id;
    }
    EXPECT_EQ(fitModel(positivePoints(5), LogRatio, 0, 0).coefficients[0], 4.0);
}

// Polynomial ignores kFitRefineNonlinear (same result, same allocations);
// HalfPower runs the nonlinear solver, whose working storage shows; LogLog
// refined never has a larger chi-square. The small-y scale changes nothing
// beyond rounding. A NaN y leaves no reduced chi-square.
TEST(FitModel, RefinementScaleAndNan) {
    const std::vector<DataPoint> points = {point(1, 1.1, 0.1), point(2, 2.9, 0.2), point(3, 5.2, 0.1),
                                           point(4, 6.8, 0.3)};
    std::vector<long> allocations;
    std::vector<FitResult> fits;
    for (ModelId id : {Polynomial, HalfPower})
        for (int32_t flags : {0, kFitRefineNonlinear}) {
            failAllocationAt(0);
            fits.push_back(fitModel(points, id, 2, flags));
            allocations.push_back(allocationsMade());
        }
    EXPECT_TRUE(fits[1].coefficients == fits[0].coefficients && fits[1].covariance.rows == fits[0].covariance.rows &&
                fits[1].covariance.reducedChiSquare == fits[0].covariance.reducedChiSquare);
    EXPECT_TRUE(allocations[1] == allocations[0] && allocations[3] > allocations[2]);
    const std::vector<DataPoint> curved = {point(1.5, 2.0, 0.1), point(2, 3.1, 0.2), point(3, 4.4, 0.2),
                                           point(4, 6.3, 0.3), point(5, 7.0, 0.3)};
    const FitResult plain = fitModel(curved, LogLog, 2, 0), refined = fitModel(curved, LogLog, 2, kFitRefineNonlinear);
    EXPECT_LE(refined.covariance.reducedChiSquare, plain.covariance.reducedChiSquare);
    EXPECT_NE(refined.coefficients, plain.coefficients);
    const std::vector<DataPoint> small = {point(2, 0.1, 0.01), point(3, 0.15, 0.01), point(5, 0.2, 0.02),
                                          point(7, 0.22, 0.02)};
    expectNear({fitModel(small, LogLog, 2, kFitScaleSmallY).coefficients}, {fitModel(small, LogLog, 2, 0).coefficients},
               1e-12);
    std::vector<DataPoint> withNan = positivePoints(4);
    withNan[2].y = NAN;
    const FitCovariance nan = fitModel(withNan, Polynomial, 2, 0).covariance;
    EXPECT_TRUE(std::isnan(nan.reducedChiSquare));
}

// The covariance storage (the first n + 1 blocks) gives bad_alloc, even before
// the removed-points check; later the solvers report their out-of-memory
// status (or, inside the condition test, fall back and succeed).
TEST(FitModel, AllocationFailuresLeakNothing) {
    forEachAllocationFailure([](long k, long) {
        const std::string result =
            fitOutcome(positivePoints(6), LogLog, 3, kFitRefineNonlinear | kFitCheckConditioning);
        const bool storage = k >= 1 && k <= 4, solver = k > 4 && result == statusText(kStatusOutOfMemory);
        EXPECT_TRUE(storage ? result == "bad_alloc" : (solver || result == "ok")) << k << result;
    });
    failAllocationAt(1);
    EXPECT_EQ(fitOutcome({kBad, point(2, 1, 1), point(3, 1, 1)}, LogLog, 2, kFitDropInvalidPoints), "bad_alloc");
    failAllocationAt(0);
}

}  // namespace
