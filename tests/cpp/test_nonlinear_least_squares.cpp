#include <cmath>

#include "numeric/nonlinear_least_squares.h"
#include "test_support.h"

using namespace tallowfit;

namespace {

// c0 exp(c1 x).
int32_t exponential(double x, const ModelEvaluation* e, double* y) {
    e->derivatives[0] = std::exp(e->parameters[1] * x);
    e->derivatives[1] = e->parameters[0] * x * e->derivatives[0];
    *y = e->parameters[0] * e->derivatives[0];
    return kStatusOk;
}
// Ignores its coefficient: the k-th call yields k x 2.5e-6 with derivative 1,
// so against y = 100 every trial improves the chi-square by about 5e-4.
int32_t drifting(double, const ModelEvaluation* e, double* y) {
    *y = static_cast<double>(++modelCalls) * 2.5e-6;
    e->derivatives[0] = 1.0;
    return kStatusOk;
}
// Always 1: no step changes the chi-square.
int32_t constant(double, const ModelEvaluation* e, double* y) {
    ++modelCalls;
    *y = e->derivatives[0] = 1.0;
    return kStatusOk;
}
int32_t failsBelowZero(double x, const ModelEvaluation* e, double* y) {
    return x < 0 ? kStatusNoConvergence : polynomialModel(x, e, y);
}

int32_t run(FitRecords& f, ModelFunction model, int stallLimit = 10, double tolerance = 1e-4, int check = 0) {
    modelCalls = 0;
    return fitNonlinear(&f.data, &f.parameters, &f.solution, model, check, stallLimit, tolerance);
}

// Counted passes: one per damped call plus the start call's pass at the start
// values; the final call evaluates nothing. At the minimum of y = 1 + 2x every
// comparison stalls: stallLimit + 1 damped calls (a limit of 0 or below
// standing for 4). The drifting model's 5e-4 per step is below the 0.001 that
// a tolerance of 0 or less stands for (limit 3: 4 damped calls), above 1e-4,
// where it never stalls and ends at the bound of 100 damped calls. Against
// y = 2 the constant model's trials only equal the accepted chi-square: every
// one is rejected and the value stays.
TEST(FitNonlinear, StallRuleAndBoundOnSteps) {
    const Rows line = {{7.0 / 3, -1}, {-1, 0.5}};  // inverse of [[3, 6], [6, 14]]
    const struct { ModelFunction model; Values x, y, start; int stallLimit; double tolerance; long passes;
                   Rows covariance; double chi; } cases[] = {
        {polynomialModel, {1, 2, 3}, {3, 5, 7}, {1, 2}, 10, 1e-4, 3 * 12, line, 0},
        {polynomialModel, {1, 2, 3}, {3, 5, 7}, {1, 2}, 1, 1e-4, 3 * 3, line, 0},
        {polynomialModel, {1, 2, 3}, {3, 5, 7}, {1, 2}, 0, 1e-4, 3 * 6, line, 0},
        {polynomialModel, {1, 2, 3}, {3, 5, 7}, {1, 2}, -2, 1e-4, 3 * 6, line, 0},
        {polynomialModel, {1, 2, 3}, {3, 5, 7}, {1, 2}, 3, 0.0, 3 * 5, line, 0},
        {constant, {1, 2}, {2, 2}, {0.5}, 2, 1e-4, 2 * 4, {{0.5}}, 2},
        {drifting, {0}, {100}, {0}, 3, 0.0, 5, {{1}}, -1},
        {drifting, {0}, {100}, {0}, 3, -1.0, 5, {{1}}, -1},
        {drifting, {0}, {100}, {0}, 3, 1e-4, 101, {{1}}, -1},
    };
    for (int check : {0, 1})
        for (const auto& c : cases) {
            FitRecords f(c.x, c.y, Values(c.x.size(), 1.0), c.start, std::vector<unsigned char>(c.start.size(), 1));
            ASSERT_EQ(run(f, c.model, c.stallLimit, c.tolerance, check), kStatusOk);
            EXPECT_EQ(modelCalls, c.passes) << c.stallLimit << " " << c.tolerance;
            EXPECT_TRUE(c.chi < 0 || (f.values == c.start && f.solution.chiSquare == c.chi)) << c.chi;
            expectNear(f.covariance.rows, c.covariance, 1e-13);
        }
}

// The start call allocates the state and makes the first step: from (0, 0) it
// improves and lambda shrinks below its start 0.001; at the minimum it is
// rejected and lambda grows. The final call (lambda 0) leaves the covariance
// and releases the state.
TEST(MarquardtStep, StartStepAndFinalCall) {
    for (bool improves : {true, false}) {
        FitRecords f({1, 2, 3}, {3, 5, 7}, {1, 1, 1}, improves ? Values{0, 0} : Values{1, 2}, {1, 1});
        Held curvature(Rows(2, Values(2)));
        const long outstanding = allocationsOutstanding();
        MarquardtState state = {};
        double lambda = -1.0;
        auto step = [&] {
            return marquardtStep(&f.data, &f.parameters, &f.solution, polynomialModel, curvature.matrix(), &lambda,
                                 &state);
        };
        ASSERT_EQ(step(), kStatusOk);
        EXPECT_TRUE((lambda < 0.001) == improves && (f.values != Values({1, 2})) == improves);
        EXPECT_EQ(state.adjustedCount, 2);
        lambda = 0.0;
        ASSERT_EQ(step(), kStatusOk);
        EXPECT_FALSE(state.trial || state.gradient || state.step || state.rightHandSide);
        EXPECT_EQ(allocationsOutstanding(), outstanding);
        EXPECT_NEAR(f.covariance.rows[0][0], 7.0 / 3, 1e-13);
    }
}

// The held linear coefficient keeps its value exactly, its row and column of
// the covariance zero, while the others fit y = 1 + 0.5x + 2x^2. Property: a
// badly seeded y = 2 exp(x / 2) (wrong sign of the rate) is found.
TEST(FitNonlinear, HeldCoefficientsAndConvergence) {
    Values x = {-2, -1, 0, 1, 2, 3}, y, growth;
    for (double v : x) y.push_back(1 + 0.5 * v + 2 * v * v), growth.push_back(2 * std::exp(0.5 * v));
    FitRecords held(x, y, Values(6, 0.5), {0, 0.7, 0}, {1, 0, 1}), seeded(x, growth, Values(6, 0.1), {1, -1}, {1, 1});
    ASSERT_EQ(run(held, polynomialModel), kStatusOk);
    EXPECT_EQ(held.values[1], 0.7);
    EXPECT_EQ(held.covariance.rows[1], Values(3, 0.0));
    EXPECT_TRUE(held.covariance.rows[0][1] == 0 && held.covariance.rows[2][1] == 0);
    EXPECT_TRUE(held.covariance.rows[0][0] > 0 && held.covariance.rows[2][2] > 0);
    ASSERT_EQ(run(seeded, exponential), kStatusOk);
    expectNear({seeded.values}, {{2, 0.5}}, 1e-6);
    EXPECT_LT(seeded.solution.chiSquare, 1e-12);
}

// At (0, 0) the residuals are the y: curvature [[3, 6], [6, 14]], gradient
// (3+5+7, 3+10+21), chi-square 9+25+49. Zero uncertainties weigh 1, exactly as
// unit ones; uncertainties 2 weigh 1/4; with c0 held the block is the slope's.
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
        Held curvature(Rows(2, Values(2, 9.0)));
        Values gradient(2, 9.0), sums = {-1, -1};  // chi-square, sum of squares
        ASSERT_EQ(computeCurvature(x, y, unc, 3, start, c.mask, 2, curvature.matrix(), gradient.data(), &sums[0],
                                   &sums[1], polynomialModel), kStatusOk);
        EXPECT_TRUE(curvature.rows == c.curvature && gradient == c.gradient && sums == Values({c.chi, 83})) << c.unc;
    }
}

// A failing model, non-finite data, or a singular curvature (at x = 0 the
// slope has no say, damped or not; a NaN weight spoils every element, so no
// pivot is found) end the fit with the values unchanged; so does a refused record.
TEST(FitNonlinear, FailuresEndTheFitWithValuesUnchanged) {
    const struct { ModelFunction model; Values x, y, yUnc; int32_t status; } cases[] = {
        {failsBelowZero, {-1, 0, 1}, {1, 2, 3}, {1, 1, 1}, kStatusNoConvergence},
        {polynomialModel, {-1, 0, 1}, {1, NAN, 3}, {1, 1, 1}, kStatusInvalidArgument},
        {polynomialModel, {-1, 0, 1}, {1, INFINITY, 3}, {1, 1, 1}, kStatusInvalidArgument},
        {polynomialModel, {-1, 0, 1}, {1, 2, 3}, {1, NAN, 1}, kStatusIllConditioned},
        {polynomialModel, {0, 0, 0}, {1, 2, 3}, {1, 1, 1}, kStatusIllConditioned},
        {polynomialModel, {}, {}, {}, kStatusInvalidArgument},
    };
    for (int check : {0, 1})
        for (const auto& c : cases) {
            FitRecords f(c.x, c.y, c.yUnc, {0.5, 0.25}, {1, 1});
            const long outstanding = allocationsOutstanding();
            EXPECT_EQ(run(f, c.model, 10, 1e-4, check), c.status);
            EXPECT_EQ(allocationsOutstanding(), outstanding);
            EXPECT_EQ(f.values, Values({0.5, 0.25}));
        }
}

TEST(FitNonlinear, AllocationFailuresLeakNothing) {
    forEachAllocationFailure([](long k, long) {
        FitRecords f({1, 2, 3}, {3, 5, 8}, {1, 1, 1}, {0, 0}, {1, 1});
        EXPECT_EQ(run(f, polynomialModel), k ? kStatusOutOfMemory : kStatusOk) << k;
    });
}

}  // namespace
