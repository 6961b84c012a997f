#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <new>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "fit/fit_driver.h"
#include "numeric/allocation.h"
#include "numeric/status.h"

using namespace tallowfit;

namespace {

const std::string kZeroPoints = "Invalid argument.  There are zero points to fit.";
const std::string kDual =
    "Invalid argument.  This method 'optimizeModel' does not optimize the 'Dual' model.  "
    "Please invoke 'optimizeDualModel' instead";
const std::string kNoOrder =
    "Invalid argument.  There is no way to determine optimal order for this model";
const std::string kFewer =
    "Invalid argument.  There are fewer points than coefficients for this model.";
const std::string kRemoved =
    "Invalid argument.  There are fewer points than coefficients for this model because invalid "
    "points have been removed.";
const std::string kNoTransformation =
    "Invalid argument.  There is no linear transformation defined for this model.";
const std::string kXPoint =
    "Encountered an x-point less than equal to zero.  This mathematical model cannot be "
    "evaluated at that point.  Potential divide by zero.";
const std::string kDof =
    "There are too few points or too many mathematical exceptions to compute reduced "
    "chi-square, mfreedom <= ndata.";

DataPoint point(double x, double y, double yUnc) { return DataPoint{x, 0.0, y, yUnc}; }

// Points of y = f(x) at the given x with a 1 % uncertainty.
std::vector<DataPoint> sampled(std::vector<double> xs, std::function<double(double)> f) {
    std::vector<DataPoint> points;
    for (double x : xs) points.push_back(point(x, f(x), 0.01 * f(x)));
    return points;
}

std::vector<DataPoint> positivePoints(int count) {
    std::vector<DataPoint> points;
    for (int i = 0; i < count; ++i) points.push_back(point(2.0 + i, 1.0 + 0.5 * i, 0.1));
    return points;
}

// What a fit ends with, as text: "ok", the exception's kind and message, or
// the thrown status.
std::string outcome(const std::vector<DataPoint>& points, ModelId id, int32_t order,
                    int32_t flags) {
    try {
        fitModel(points, id, order, flags);
        return "ok";
    } catch (const std::invalid_argument& e) {
        return std::string("invalid_argument: ") + e.what();
    } catch (const std::runtime_error& e) {
        return std::string("runtime_error: ") + e.what();
    } catch (const std::bad_alloc&) {
        return "bad_alloc";
    } catch (uint32_t status) {
        std::ostringstream text;
        text << "status: " << std::hex << status;
        return text.str();
    }
}

std::string statusText(int32_t status) {
    std::ostringstream text;
    text << "status: " << std::hex << static_cast<uint32_t>(status);
    return text.str();
}

TEST(OptimalOrder, Table) {
    const uint32_t counts[] = {1, 4, 5, 6, 7, 8, 9, 10, 100};
    const std::vector<std::pair<ModelId, std::vector<int32_t>>> table = {
        {LogInverse, {2, 2, 3, 3, 4, 4, 5, 5, 5}},
        {LogLog, {2, 2, 3, 3, 4, 4, 5, 5, 5}},
        {Polynomial, {2, 2, 3, 3, 4, 4, 5, 5, 5}},
        {LogRatio, {2, 2, 2, 3, 3, 4, 4, 5, 5}},
        {HalfPower, {2, 2, 2, 2, 2, 2, 2, 2, 2}},
        {RootPolynomial, {2, 2, 3, 3, 3, 3, 3, 3, 3}},
    };
    for (const auto& row : table)
        for (std::size_t i = 0; i < row.second.size(); ++i)
            EXPECT_EQ(optimalOrder(row.first, counts[i]), row.second[i])
                << row.first << " N=" << counts[i];
    EXPECT_THROW(optimalOrder(Dual, 5), std::invalid_argument);
    EXPECT_THROW(optimalOrder(9, 5), std::invalid_argument);
}

struct FailureCase {
    const char* name;
    std::vector<DataPoint> points;
    ModelId id;
    int32_t order;
    int32_t flags;
    std::string expected;
};

// Each refusal in the order the driver tests them; where two apply, the
// earlier one wins.
TEST(FitModel, RefusalsInStepOrder) {
    const DataPoint bad = point(-1, 2, 0.1);
    const std::vector<DataPoint> lineWithNegativeStart = {point(0, 0, 1), point(1, 0, 1),
                                                          point(2, 3, 1)};
    const FailureCase cases[] = {
        {"no points, Dual", {}, Dual, 2, 0, "invalid_argument: " + kZeroPoints},
        {"no points, LogLog", {}, LogLog, 2, 0, "invalid_argument: " + kZeroPoints},
        {"Dual before order", positivePoints(1), Dual, 0, 0, "invalid_argument: " + kDual},
        {"no order table", positivePoints(1), 9, 0, 0, "invalid_argument: " + kNoOrder},
        {"no transformation", positivePoints(3), 9, 2, 0,
         "invalid_argument: " + kNoTransformation},
        {"fewer points", positivePoints(2), Polynomial, 3, 0, "invalid_argument: " + kFewer},
        {"as many points", positivePoints(3), Polynomial, 3, 0, "invalid_argument: " + kFewer},
        {"count before validity", {bad, bad}, LogLog, 2, 0, "invalid_argument: " + kFewer},
        {"bad point", {point(2, 2, 0.1), bad, point(3, 2, 0.1)}, LogLog, 2, 0,
         "invalid_argument: " + kXPoint},
        {"bad point before transformation", {bad, bad, bad}, 9, 2, 0,
         "invalid_argument: " + kXPoint},
        {"points removed", {bad, bad, point(2, 2, 0.1), point(3, 3, 0.1), point(4, 1, 0.1)},
         LogLog, 3, kFitDropInvalidPoints, "invalid_argument: " + kRemoved},
        {"all points removed", {bad, bad, bad}, 9, 2, kFitDropInvalidPoints,
         "invalid_argument: " + kRemoved},
        {"LogLog below x = 1", {point(0.5, 2, 0.1), point(2, 2, 0.1), point(3, 2, 0.1)}, LogLog, 2,
         0, statusText(kStatusInvalidArgument)},
        {"singular normal matrix", {point(1, 2, 1), point(1, 3, 1), point(1, 4, 1)}, Polynomial, 2,
         0, statusText(kStatusIllConditioned)},
        // A NaN uncertainty makes every normal-matrix entry NaN, and the pivot
        // search never takes a NaN.
        {"NaN uncertainty", {point(1, 2, 1), point(2, 3, NAN), point(3, 4, 1)}, Polynomial, 2, 0,
         statusText(kStatusIllConditioned)},
        // u = y^2 is fitted by -1.5 + 4.5 x, negative at x = 0: that point drops
        // out of the data-space chi-square and leaves no degree of freedom.
        {"no degree of freedom", lineWithNegativeStart, RootPolynomial, 2, 0,
         "runtime_error: " + kDof},
        {"exact fit allowed", lineWithNegativeStart, RootPolynomial, 2, kFitAllowExactFit, "ok"},
    };
    for (const FailureCase& k : cases)
        EXPECT_EQ(outcome(k.points, k.id, k.order, k.flags), k.expected) << k.name;
}

void expectNear(const std::vector<double>& actual, const std::vector<double>& expected,
                double tolerance) {
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < actual.size(); ++i)
        EXPECT_NEAR(actual[i], expected[i], tolerance) << i;
}

TEST(FitModel, StraightLineThroughThreePoints) {
    const std::vector<DataPoint> points = {point(1, 1, 1), point(2, 3, 1), point(3, 5, 1)};
    const FitResult fit = fitModel(points, Polynomial, 2, 0);
    expectNear(fit.coefficients, {-1, 2}, 1e-12);
    // The inverse of the normal matrix [[3, 6], [6, 14]].
    ASSERT_EQ(fit.covariance.rows.size(), 2u);
    expectNear(fit.covariance.rows[0], {14.0 / 6.0, -1}, 1e-12);
    expectNear(fit.covariance.rows[1], {-1, 0.5}, 1e-12);
    EXPECT_NEAR(fit.covariance.reducedChiSquare, 0.0, 1e-20);
    EXPECT_TRUE(fit.covariance.hasReducedChiSquare);
}

TEST(FitModel, PolynomialIgnoresRefinement) {
    const std::vector<DataPoint> points = {point(1, 1.1, 0.1), point(2, 2.9, 0.2),
                                           point(3, 5.2, 0.1), point(4, 6.8, 0.3)};
    const FitResult plain = fitModel(points, Polynomial, 2, 0);
    failAllocationAt(0);
    const FitResult refined = fitModel(points, Polynomial, 2, kFitRefineNonlinear);
    const long refinedAllocations = allocationsMade();
    EXPECT_EQ(refined.coefficients, plain.coefficients);
    EXPECT_EQ(refined.covariance.rows, plain.covariance.rows);
    EXPECT_EQ(refined.covariance.reducedChiSquare, plain.covariance.reducedChiSquare);
    failAllocationAt(0);
    fitModel(points, Polynomial, 2, 0);
    EXPECT_EQ(refinedAllocations, allocationsMade());
    // HalfPower is refined: the nonlinear solver's working storage shows.
    failAllocationAt(0);
    fitModel(points, HalfPower, 2, 0);
    const long linearOnly = allocationsMade();
    failAllocationAt(0);
    fitModel(points, HalfPower, 2, kFitRefineNonlinear);
    EXPECT_GT(allocationsMade(), linearOnly);
}

TEST(FitModel, RefinementNeverRaisesTheDataSpaceChiSquare) {
    const std::vector<DataPoint> points = {point(1.5, 2.0, 0.1), point(2, 3.1, 0.2),
                                           point(3, 4.4, 0.2), point(4, 6.3, 0.3),
                                           point(5, 7.0, 0.3)};
    const FitResult plain = fitModel(points, LogLog, 2, 0);
    const FitResult refined = fitModel(points, LogLog, 2, kFitRefineNonlinear);
    EXPECT_LE(refined.covariance.reducedChiSquare, plain.covariance.reducedChiSquare);
    EXPECT_NE(refined.coefficients, plain.coefficients);
}

TEST(FitModel, LogInverseRecoversItsCoefficients) {
    const auto points =
        sampled({1, 2, 3, 4, 5, 6}, [](double x) { return std::pow(10.0, 2 + 3 / x); });
    const FitResult fit = fitModel(points, LogInverse, 3, 0);
    expectNear(fit.coefficients, {0, 2, 3}, 1e-9);
    EXPECT_NEAR(fit.covariance.reducedChiSquare, 0.0, 1e-12);
}

TEST(FitModel, LogRatioHoldsTheMiddleOfTheRange) {
    const auto points = sampled({1, 2, 3, 4}, [](double x) { return 3 * std::pow(2.5 / x, 2); });
    const FitResult fit = fitModel(points, LogRatio, 3, 0);
    ASSERT_EQ(fit.coefficients.size(), 3u);
    EXPECT_EQ(fit.coefficients[0], 2.5);
    EXPECT_NEAR(fit.coefficients[1], std::log(3.0), 1e-12);
    EXPECT_NEAR(fit.coefficients[2], 2.0, 1e-12);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(fit.covariance.rows[0][i], 0.0);
        EXPECT_EQ(fit.covariance.rows[i][0], 0.0);
    }
    EXPECT_GT(fit.covariance.rows[1][1], 0.0);
}

// Two degrees of freedom: 4 points less the 2 adjusted coefficients. Data off
// the curve make the chi-square nonzero; it is recomputed here from the
// definition to check the divisor.
TEST(FitModel, LogRatioDegreesOfFreedomLeaveOutTheReference) {
    const std::vector<DataPoint> points = {point(1, 19.0, 0.5), point(2, 4.4, 0.1),
                                           point(3, 2.1, 0.05), point(4, 1.1, 0.02)};
    const FitResult fit = fitModel(points, LogRatio, 3, 0);
    const std::vector<double>& c = fit.coefficients;
    double chiSquare = 0.0;
    for (const DataPoint& p : points) {
        const double ratioLog = std::log(c[0] / p.x);
        const double residual = p.y - std::exp(c[1] + c[2] * ratioLog);
        chiSquare += residual * residual / (p.yUnc * p.yUnc);
    }
    EXPECT_NEAR(fit.covariance.reducedChiSquare, chiSquare / 2, 1e-9 * chiSquare);
}

struct OrderCase {
    ModelId id;
    int pointCount;
    std::size_t coefficients;
};

TEST(FitModel, OrderZeroTakesTheOptimalOrder) {
    const OrderCase cases[] = {
        {LogLog, 4, 2}, {LogLog, 9, 5}, {HalfPower, 100, 2}, {LogRatio, 5, 2}};
    for (const OrderCase& k : cases) {
        const FitResult fit = fitModel(positivePoints(k.pointCount), k.id, 0, 0);
        EXPECT_EQ(fit.coefficients.size(), k.coefficients) << k.id << " " << k.pointCount;
        EXPECT_EQ(fit.covariance.rows.size(), k.coefficients);
    }
    EXPECT_EQ(fitModel(positivePoints(5), LogRatio, 0, 0).coefficients[0], 4.0);
}

TEST(FitModel, ExactFits) {
    const auto parabola = sampled({1, 2, 3}, [](double x) { return 1 + x * x; });
    const FitResult fit = fitModel(parabola, Polynomial, 3, kFitAllowExactFit);
    expectNear(fit.coefficients, {1, 0, 1}, 1e-9);
    EXPECT_NEAR(fit.covariance.reducedChiSquare, 0.0, 1e-15);
    // Five LogLog points, two dropped: three left for three coefficients.
    const DataPoint bad = point(-1, 2, 0.1);
    const std::vector<DataPoint> points = {bad, point(2, 2, 0.1), bad, point(3, 3, 0.1),
                                           point(4, 1, 0.1)};
    EXPECT_EQ(outcome(points, LogLog, 3, kFitDropInvalidPoints | kFitAllowExactFit), "ok");
    // LogRatio adjusts two of three coefficients: one degree of freedom remains.
    EXPECT_TRUE(fitModel(positivePoints(3), LogRatio, 3, kFitAllowExactFit)
                    .covariance.hasReducedChiSquare);
}

TEST(FitModel, ScaleOfSmallYDoesNotChangeTheCoefficients) {
    const std::vector<DataPoint> points = {point(2, 0.1, 0.01), point(3, 0.15, 0.01),
                                           point(5, 0.2, 0.02), point(7, 0.22, 0.02)};
    const FitResult plain = fitModel(points, LogLog, 2, 0);
    const FitResult scaled = fitModel(points, LogLog, 2, kFitScaleSmallY);
    expectNear(scaled.coefficients, plain.coefficients, 1e-12);
}

// Unweighted line through these points: -1 + 1.9x, residuals 0.1, 0.2, -0.7,
// 0.4 (worked by hand), so the chi-square with unit sigmas is 0.7 over 2 dof.
TEST(FitModel, ZeroUncertaintyCountsAsOne) {
    const std::vector<DataPoint> points = {point(1, 1, 0), point(2, 3, 0), point(3, 4, 0),
                                           point(4, 7, 0)};
    const FitResult fit = fitModel(points, Polynomial, 2, kFitAllowZeroUncertainty);
    expectNear(fit.coefficients, {-1, 1.9}, 1e-12);
    EXPECT_NEAR(fit.covariance.reducedChiSquare, 0.35, 1e-12);
}

TEST(FitModel, NanYGivesNoReducedChiSquare) {
    std::vector<DataPoint> points = positivePoints(4);
    points[2].y = std::numeric_limits<double>::quiet_NaN();
    const FitResult fit = fitModel(points, Polynomial, 2, 0);
    EXPECT_TRUE(std::isnan(fit.covariance.reducedChiSquare));
    EXPECT_FALSE(fit.covariance.hasReducedChiSquare);
}

// Every allocation of a refined fit made to fail in turn: the covariance
// storage (the first n + 1 blocks) gives bad_alloc; later the solvers report
// their out-of-memory status (or, inside the condition test, fall back and
// succeed); nothing stays allocated.
TEST(FitModel, AllocationFailuresLeakNothing) {
    const std::vector<DataPoint> points = positivePoints(6);
    const int32_t flags = kFitRefineNonlinear | kFitCheckConditioning;
    const long before = allocationsOutstanding();
    failAllocationAt(0);
    fitModel(points, LogLog, 3, flags);
    const long total = allocationsMade();
    ASSERT_GT(total, 4);
    EXPECT_EQ(allocationsOutstanding(), before);
    for (long k = 1; k <= total; ++k) {
        failAllocationAt(k);
        const std::string result = outcome(points, LogLog, 3, flags);
        if (k <= 4)
            EXPECT_EQ(result, "bad_alloc") << k;
        else
            EXPECT_TRUE(result == statusText(kStatusOutOfMemory) || result == "ok") << k << result;
        EXPECT_EQ(allocationsOutstanding(), before) << k;
    }
    // Memory runs out before the removed-points check.
    failAllocationAt(1);
    const std::vector<DataPoint> oneRemoved = {point(-1, 1, 1), point(2, 1, 1), point(3, 1, 1)};
    EXPECT_EQ(outcome(oneRemoved, LogLog, 2, kFitDropInvalidPoints), "bad_alloc");
    failAllocationAt(0);
}

}  // namespace
