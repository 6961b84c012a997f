#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "numeric/allocation.h"
#include "numeric/nonlinear_least_squares.h"
#include "numeric/status.h"

using namespace tallowfit;

namespace {

typedef std::vector<std::vector<double>> Rows;
typedef std::vector<double> Values;

long modelCalls = 0;

// c0 + c1 x + c2 x^2 ... (as many terms as coefficients), counting its calls.
int32_t polynomial(double x, const ModelEvaluation* e, double* y) {
    ++modelCalls;
    double power = 1.0;
    *y = 0.0;
    for (int k = 0; k < e->count; ++k) {
        *y += e->parameters[k] * power;
        if (e->derivatives) e->derivatives[k] = power;
        power *= x;
    }
    return kStatusOk;
}

// c0 exp(c1 x), counting its calls.
int32_t exponential(double x, const ModelEvaluation* e, double* y) {
    ++modelCalls;
    const double growth = std::exp(e->parameters[1] * x);
    *y = e->parameters[0] * growth;
    e->derivatives[0] = growth;
    e->derivatives[1] = e->parameters[0] * x * growth;
    return kStatusOk;
}

// Ignores its coefficient: the k-th call yields k x drift with derivative 1,
// so against y = 100 every trial improves the chi-square by about 200 x drift.
double drift = 0.0;
int32_t drifting(double, const ModelEvaluation* e, double* y) {
    *y = static_cast<double>(++modelCalls) * drift;
    e->derivatives[0] = 1.0;
    return kStatusOk;
}

int32_t failsBelowZero(double x, const ModelEvaluation* e, double* y) {
    return x < 0 ? kStatusNoConvergence : polynomial(x, e, y);
}
int32_t notANumber(double, const ModelEvaluation* e, double* y) {
    *y = std::nan("");
    for (int k = 0; k < e->count; ++k) e->derivatives[k] = 1.0;
    return kStatusOk;
}
// Always 1 whatever the coefficient: no step changes the chi-square.
int32_t constant(double, const ModelEvaluation* e, double* y) {
    ++modelCalls;
    *y = 1.0;
    e->derivatives[0] = 1.0;
    return kStatusOk;
}
// c1 has no effect: the curvature matrix is singular.
int32_t ignoresSlope(double, const ModelEvaluation* e, double* y) {
    *y = e->parameters[0];
    e->derivatives[0] = 1.0;
    e->derivatives[1] = 0.0;
    return kStatusOk;
}

struct Fit {
    Values x, y, yUnc, values;
    std::vector<unsigned char> mask;
    Rows covariance;
    std::vector<double*> table;
    FitData data;
    FitParameters parameters;
    FitSolution solution;

    Fit(Values xs, Values ys, Values uncs, Values start, std::vector<unsigned char> fitMask)
        : x(xs), y(ys), yUnc(uncs), values(start), mask(fitMask),
          covariance(start.size(), Values(start.size(), 9.0)) {
        for (auto& row : covariance) table.push_back(row.data());
        data = {x.data(), nullptr, y.data(), yUnc.data(), static_cast<uint32_t>(x.size())};
        parameters = {values.data(), mask.data(), static_cast<uint32_t>(values.size())};
        solution = {table.data(), -1.0, -1.0};
    }
    int32_t run(ModelFunction model, int stallLimit = 10, double tolerance = 1e-4, int check = 0) {
        modelCalls = 0;
        return fitNonlinear(&data, &parameters, &solution, model, check, stallLimit, tolerance);
    }
};

// y = 1 + 2x exactly, started at the minimum.
Fit atMinimum() { return Fit({1, 2, 3}, {3, 5, 7}, {1, 1, 1}, {1, 2}, {1, 1}); }

// At the minimum no step changes the chi-square (0), so every comparison
// stalls: stallLimit + 1 damped calls, each with one curvature pass of three
// points, plus the start call's pass at the start values; the final call
// evaluates nothing.
TEST(FitNonlinear, StallRuleAtTheMinimum) {
    const struct { int stallLimit; double tolerance; long passes; } cases[] = {
        {10, 1e-4, 12}, {1, 1e-4, 3}, {0, 1e-4, 6}, {-2, 1e-4, 6}, {3, 0.0, 5}};
    for (const auto& c : cases) {
        for (int check : {0, 1}) {
            Fit fit = atMinimum();
            ASSERT_EQ(fit.run(polynomial, c.stallLimit, c.tolerance, check), kStatusOk);
            EXPECT_EQ(modelCalls, 3 * c.passes) << c.stallLimit;
            EXPECT_EQ(fit.values, Values({1, 2}));
            EXPECT_EQ(fit.solution.chiSquare, 0);
            const Rows inverse = {{7.0 / 3, -1}, {-1, 0.5}};  // of [[3, 6], [6, 14]]
            for (int i = 0; i < 2; ++i)
                for (int j = 0; j < 2; ++j) EXPECT_NEAR(fit.covariance[i][j], inverse[i][j], 1e-13);
        }
    }
}

// Improvements of about 5e-4 per step: below the default tolerance 0.001
// that a tolerance of 0 or less stands for, so stallLimit + 1 = 4 damped calls
// (5 passes); above 1e-4, so that fit never stalls and ends at the bound of
// 100 damped calls (101 passes), then the final call leaves the undamped
// inverse of the curvature 1.
TEST(FitNonlinear, DefaultToleranceAndBoundOnSteps) {
    drift = 2.5e-6;
    const struct { double tolerance; long passes; } cases[] = {{0.0, 5}, {-1.0, 5}, {1e-4, 101}};
    for (const auto& c : cases) {
        Fit fit({0}, {100}, {1}, {0}, {1});
        ASSERT_EQ(fit.run(drifting, 3, c.tolerance), kStatusOk);
        EXPECT_EQ(modelCalls, c.passes) << c.tolerance;
        EXPECT_EQ(fit.covariance, Rows({{1}}));
    }
}

// Against y = 2 the gradient asks for a step, but the trial's chi-square only
// equals the accepted one: it is rejected every time and the value stays.
TEST(FitNonlinear, EqualChiSquareIsNoImprovement) {
    Fit fit({1, 2}, {2, 2}, {1, 1}, {0.5}, {1});
    ASSERT_EQ(fit.run(constant, 2), kStatusOk);
    EXPECT_EQ(fit.values, Values({0.5}));
    EXPECT_EQ(modelCalls, 2 * 4);
    EXPECT_EQ(fit.solution.chiSquare, 2);
}

// The start call allocates the state and makes the first step: from (0, 0)
// it improves and lambda shrinks below its start 0.001, at the minimum it is
// rejected and lambda grows. The final call leaves the covariance and
// releases the state.
TEST(MarquardtStep, StartStepAndFinalCall) {
    for (bool improves : {true, false}) {
        Fit fit({1, 2, 3}, {3, 5, 7}, {1, 1, 1}, improves ? Values{0, 0} : Values{1, 2}, {1, 1});
        Rows curvature(2, Values(2));
        double* table[] = {curvature[0].data(), curvature[1].data()};
        const long outstanding = allocationsOutstanding();
        MarquardtState state = {};
        double lambda = -1.0;
        ASSERT_EQ(marquardtStep(&fit.data, &fit.parameters, &fit.solution, polynomial, table, &lambda, &state), kStatusOk);
        EXPECT_EQ(lambda < 0.001, improves);
        EXPECT_EQ(fit.values != Values({1, 2}), improves);
        EXPECT_EQ(state.adjustedCount, 2);
        EXPECT_TRUE(state.trial && state.gradient && state.step && state.rightHandSide);
        lambda = 0.0;
        ASSERT_EQ(marquardtStep(&fit.data, &fit.parameters, &fit.solution, polynomial, table, &lambda, &state), kStatusOk);
        EXPECT_FALSE(state.trial || state.gradient || state.step || state.rightHandSide);
        EXPECT_EQ(allocationsOutstanding(), outstanding);
        EXPECT_NEAR(fit.covariance[0][0], 7.0 / 3, 1e-13);
    }
}

TEST(FitNonlinear, HeldCoefficientsNeverMove) {
    Values x = {-2, -1, 0, 1, 2, 3}, y;
    for (double v : x) y.push_back(1 + 0.5 * v + 2 * v * v);
    Fit fit(x, y, Values(6, 0.5), {0, 0.7, 0}, {1, 0, 1});
    ASSERT_EQ(fit.run(polynomial), kStatusOk);
    EXPECT_EQ(fit.values[1], 0.7);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(fit.covariance[1][i], 0) << i;
        EXPECT_EQ(fit.covariance[i][1], 0) << i;
    }
    EXPECT_GT(fit.covariance[0][0], 0);
    EXPECT_GT(fit.covariance[2][2], 0);
}

// At (0, 0) the residuals are the y: curvature [[3, 6], [6, 14]], gradient
// (3+5+7, 3+10+21), chi-square 9+25+49. Zero uncertainties weigh 1, exactly as
// unit ones; uncertainties 2 weigh 1/4.
TEST(ComputeCurvature, WeightsAndZeroUncertainties) {
    const double x[] = {1, 2, 3}, y[] = {3, 5, 7}, start[] = {0, 0};
    const unsigned char both[] = {1, 1}, slopeOnly[] = {0, 1};
    const struct { double unc; const unsigned char* mask; Rows curvature; Values gradient; double chi; } cases[] = {
        {0, both, {{3, 6}, {6, 14}}, {15, 34}, 83},
        {1, both, {{3, 6}, {6, 14}}, {15, 34}, 83},
        {2, both, {{0.75, 1.5}, {1.5, 3.5}}, {3.75, 8.5}, 20.75},
        {0, slopeOnly, {{14, 9}, {9, 9}}, {34, 9}, 83},
    };
    for (const auto& c : cases) {
        const double unc[] = {c.unc, c.unc, c.unc};
        Rows curvature(2, Values(2, 9.0));
        double* table[] = {curvature[0].data(), curvature[1].data()};
        Values gradient(2, 9.0);
        double chi = -1, sumSquares = -1;
        ASSERT_EQ(computeCurvature(x, y, unc, 3, start, c.mask, 2, table, gradient.data(), &chi,
                                   &sumSquares, polynomial), kStatusOk);
        EXPECT_EQ(curvature, c.curvature) << c.unc;
        EXPECT_EQ(gradient, c.gradient) << c.unc;
        EXPECT_EQ(chi, c.chi) << c.unc;
        EXPECT_EQ(sumSquares, 83) << c.unc;
    }
}

TEST(FitNonlinear, FailuresEndTheFitWithValuesUnchanged) {
    const double nan = std::nan(""), inf = std::numeric_limits<double>::infinity();
    const struct { ModelFunction model; Values y, yUnc; int32_t status; } cases[] = {
        {failsBelowZero, {1, 2, 3}, {1, 1, 1}, kStatusNoConvergence},  // x = -1 below
        {polynomial, {1, nan, 3}, {1, 1, 1}, kStatusInvalidArgument},
        {polynomial, {1, inf, 3}, {1, 1, 1}, kStatusInvalidArgument},
        {notANumber, {1, 2, 3}, {1, 1, 1}, kStatusInvalidArgument},
        // A NaN weight spoils every curvature element: no pivot can be found.
        {polynomial, {1, 2, 3}, {1, nan, 1}, kStatusIllConditioned},
        {ignoresSlope, {1, 2, 3}, {1, 1, 1}, kStatusIllConditioned},
    };
    for (const auto& c : cases) {
        for (int check : {0, 1}) {
            Fit fit({-1, 0, 1}, c.y, c.yUnc, {0.5, 0.25}, {1, 1});
            const long outstanding = allocationsOutstanding();
            EXPECT_EQ(fit.run(c.model, 10, 1e-4, check), c.status);
            EXPECT_EQ(allocationsOutstanding(), outstanding);
            EXPECT_EQ(fit.values, Values({0.5, 0.25}));
        }
    }
}

// y = 2 exp(x / 2) from a start with the wrong sign of the rate.
TEST(FitNonlinear, BadlySeededExponentialConverges) {
    Values x = {0, 1, 2, 3, 4, 5}, y;
    for (double v : x) y.push_back(2 * std::exp(0.5 * v));
    Fit fit(x, y, Values(6, 0.1), {1, -1}, {1, 1});
    ASSERT_EQ(fit.run(exponential), kStatusOk);
    EXPECT_NEAR(fit.values[0], 2, 1e-6);
    EXPECT_NEAR(fit.values[1], 0.5, 1e-6);
    EXPECT_LT(fit.solution.chiSquare, 1e-12);
    EXPECT_GT(modelCalls, 6 * 12);  // more passes than stalling from the start
}

TEST(FitNonlinear, RefusedInputAndAllocationFailures) {
    Fit refused = atMinimum();
    refused.data.count = 0;
    EXPECT_EQ(refused.run(polynomial), kStatusInvalidArgument);
    Fit probe({1, 2, 3}, {3, 5, 8}, {1, 1, 1}, {0, 0}, {1, 1});
    failAllocationAt(0);
    ASSERT_EQ(probe.run(polynomial), kStatusOk);
    const long made = allocationsMade();
    for (long k = 1; k <= made; ++k) {
        Fit fit({1, 2, 3}, {3, 5, 8}, {1, 1, 1}, {0, 0}, {1, 1});
        const long outstanding = allocationsOutstanding();
        failAllocationAt(k);
        EXPECT_EQ(fit.run(polynomial), kStatusOutOfMemory) << k;
        failAllocationAt(0);
        EXPECT_EQ(allocationsOutstanding(), outstanding) << k;
    }
}

}  // namespace
