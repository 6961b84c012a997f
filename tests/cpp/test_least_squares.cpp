#include <gtest/gtest.h>

#include <vector>

#include "numeric/allocation.h"
#include "numeric/least_squares.h"
#include "numeric/status.h"

using namespace tallowfit;

namespace {

typedef std::vector<std::vector<double>> Rows;

// y = c0 + c1 x with derivatives (1, x).
int32_t line(double x, const ModelEvaluation* e, double* y) {
    *y = e->parameters[0] + e->parameters[1] * x;
    if (e->derivatives) {
        e->derivatives[0] = 1;
        e->derivatives[1] = x;
    }
    return kStatusOk;
}

// The line, except that it cannot be evaluated at x = failX, in every pass
// or, with failOnlyForValues, in the value-only (chi-square) pass.
double failX = 0;
bool failOnlyForValues = false;
int32_t failing(double x, const ModelEvaluation* e, double* y) {
    const bool fails = x == failX && !(failOnlyForValues && e->derivatives);
    return fails ? kStatusNoConvergence : line(x, e, y);
}

// One straight-line fit with its own storage; the covariance starts as 9s.
struct LineFit {
    std::vector<double> x, y, yUnc, values;
    std::vector<unsigned char> mask;
    Rows covariance;
    std::vector<double*> table;
    FitData data;
    FitParameters parameters;
    FitSolution solution;

    LineFit(std::vector<double> xs, std::vector<double> ys, std::vector<double> uncs,
            std::vector<double> start, std::vector<unsigned char> fitMask)
        : x(xs), y(ys), yUnc(uncs), values(start), mask(fitMask),
          covariance(start.size(), std::vector<double>(start.size(), 9.0)) {
        for (auto& row : covariance) table.push_back(row.data());
        data = {x.data(), nullptr, y.data(), yUnc.data(), static_cast<uint32_t>(x.size())};
        parameters = {values.data(), mask.data(), static_cast<uint32_t>(values.size())};
        solution = {table.data(), -1.0, -1.0};
    }
    int32_t run(ModelFunction model = line, int check = 0) {
        return fitLinear(&data, &parameters, &solution, model, check);
    }
};

LineFit onLine(std::vector<unsigned char> mask = {1, 1}, std::vector<double> start = {0, 0}) {
    return LineFit({1, 2, 3}, {3, 5, 7}, {1, 1, 1}, start, mask);
}

TEST(FitLinear, LineThroughThreePoints) {
    for (int check : {0, 1}) {
        LineFit fit = onLine();
        ASSERT_EQ(fit.run(line, check), kStatusOk);
        EXPECT_NEAR(fit.values[0], 1, 1e-13);
        EXPECT_NEAR(fit.values[1], 2, 1e-13);
        // The inverse of the normal matrix [[3, 6], [6, 14]].
        const Rows inverse = {{7.0 / 3, -1}, {-1, 0.5}};
        for (int i = 0; i < 2; ++i)
            for (int j = 0; j < 2; ++j) EXPECT_NEAR(fit.covariance[i][j], inverse[i][j], 1e-13);
        EXPECT_NEAR(fit.solution.chiSquare, 0, 1e-24);
        EXPECT_NEAR(fit.solution.sumSquares, 0, 1e-24);
    }
}

// Slope alone through y - 5 = (-2, 0, 2): 4/14 = 2/7 with variance 1/14;
// residuals -16/7, -4/7, 8/7 give 48/7.
TEST(FitLinear, HeldInterceptFitsTheSlopeAlone) {
    LineFit fit = onLine({0, 1}, {5, 0});
    ASSERT_EQ(fit.run(), kStatusOk);
    EXPECT_EQ(fit.values[0], 5);
    EXPECT_NEAR(fit.values[1], 2.0 / 7, 1e-15);
    EXPECT_EQ(fit.covariance[0], std::vector<double>({0, 0}));
    EXPECT_EQ(fit.covariance[1][0], 0);
    EXPECT_NEAR(fit.covariance[1][1], 1.0 / 14, 1e-16);
    EXPECT_NEAR(fit.solution.chiSquare, 48.0 / 7, 1e-13);
    EXPECT_NEAR(fit.solution.sumSquares, 48.0 / 7, 1e-13);
}

// Residuals of y = 1 + x are 1, 2, 3: squares 14; over 2^2 each, 3.5.
TEST(FitLinear, NothingAdjustedKeepsValuesAndSumsTheirResiduals) {
    for (double unc : {1.0, 2.0}) {
        LineFit fit({1, 2, 3}, {3, 5, 7}, {unc, unc, unc}, {1, 1}, {0, 0});
        ASSERT_EQ(fit.run(), kStatusOk);
        EXPECT_EQ(fit.values, std::vector<double>({1, 1}));
        EXPECT_EQ(fit.covariance, Rows({{0, 0}, {0, 0}}));
        EXPECT_EQ(fit.solution.sumSquares, 14);
        EXPECT_EQ(fit.solution.chiSquare, 14 / (unc * unc));
    }
}

TEST(FitLinear, ZeroUncertaintiesWeighOneAndLeaveTheSumsEmpty) {
    LineFit zero({1, 2, 3}, {3, 6, 7}, {0, 0, 0}, {0, 0}, {1, 1});
    LineFit unit({1, 2, 3}, {3, 6, 7}, {1, 1, 1}, {0, 0}, {1, 1});
    ASSERT_EQ(zero.run(), kStatusOk);
    ASSERT_EQ(unit.run(), kStatusOk);
    EXPECT_EQ(zero.values, unit.values);
    EXPECT_EQ(zero.covariance, unit.covariance);
    EXPECT_EQ(zero.solution.chiSquare, 0);
    EXPECT_EQ(zero.solution.sumSquares, 0);
    EXPECT_GT(unit.solution.chiSquare, 0);
}

TEST(FitLinear, SinglePointAtZeroIsIllConditioned) {
    for (int check : {0, 1}) {
        LineFit fit({0}, {1}, {1}, {0, 0}, {1, 1});
        EXPECT_EQ(fit.run(line, check), kStatusIllConditioned);
        EXPECT_EQ(fit.values, std::vector<double>({0, 0}));
    }
}

TEST(FitLinear, MissingInputIsRefusedUntouched) {
    typedef void (*Spoil)(LineFit&);
    const Spoil spoils[] = {
        [](LineFit& f) { f.data.x = nullptr; }, [](LineFit& f) { f.data.y = nullptr; },
        [](LineFit& f) { f.data.yUnc = nullptr; }, [](LineFit& f) { f.data.count = 0; },
        [](LineFit& f) { f.parameters.values = nullptr; }, [](LineFit& f) { f.table[0] = nullptr; },
        [](LineFit& f) { f.parameters.fitMask = nullptr; }, [](LineFit& f) { f.parameters.count = 0; },
        [](LineFit& f) { f.solution.covariance = nullptr; }};
    for (Spoil spoil : spoils) {
        LineFit fit = onLine();
        spoil(fit);
        EXPECT_EQ(fit.run(), kStatusInvalidArgument);
        EXPECT_EQ(fit.values, std::vector<double>({0, 0}));
        EXPECT_EQ(fit.solution.chiSquare, -1);
    }
    LineFit fit = onLine();
    EXPECT_EQ(fitLinear(nullptr, &fit.parameters, &fit.solution, line, 0), kStatusInvalidArgument);
    EXPECT_EQ(fitLinear(&fit.data, nullptr, &fit.solution, line, 0), kStatusInvalidArgument);
    EXPECT_EQ(fitLinear(&fit.data, &fit.parameters, nullptr, line, 0), kStatusInvalidArgument);
    EXPECT_EQ(fitLinear(&fit.data, &fit.parameters, &fit.solution, nullptr, 0), kStatusInvalidArgument);
}

TEST(FitLinear, ModelFailures) {
    LineFit first = onLine();
    failX = 2;
    failOnlyForValues = false;
    EXPECT_EQ(first.run(failing), kStatusNoConvergence);
    EXPECT_EQ(first.values, std::vector<double>({0, 0}));
    EXPECT_EQ(first.solution.chiSquare, -1);

    // In the chi-square pass a failing point is left out of the sums; only a
    // failure at the last point is reported, after everything is stored.
    LineFit last({1, 2, 3}, {3, 5, 8}, {1, 1, 1}, {0, 0}, {1, 1});
    LineFit early({1, 2, 3}, {4, 5, 7}, {1, 1, 1}, {0, 0}, {1, 1});
    failOnlyForValues = true;
    failX = 3;
    EXPECT_EQ(last.run(failing), kStatusNoConvergence);
    failX = 1;
    EXPECT_EQ(early.run(failing), kStatusOk);
    for (LineFit* fit : {&last, &early}) {
        EXPECT_NEAR(fit->values[0], fit == &last ? 1.0 / 3 : 7.0 / 3, 1e-13);
        EXPECT_NEAR(fit->values[1], fit == &last ? 2.5 : 1.5, 1e-13);
        // Lines 1/3 + 2.5x and 7/3 + 1.5x; the two points kept have residuals
        // 1/6 and -1/3 (squares 5/36).
        EXPECT_NEAR(fit->solution.sumSquares, 5.0 / 36, 1e-14);
        EXPECT_EQ(fit->solution.chiSquare, fit->solution.sumSquares);
    }
}

TEST(FitLinear, AllocationFailuresLeakNothing) {
    LineFit probe = onLine();
    failAllocationAt(0);
    ASSERT_EQ(probe.run(), kStatusOk);
    const long made = allocationsMade();
    for (long k = 1; k <= made; ++k) {
        LineFit fit = onLine();
        const long outstanding = allocationsOutstanding();
        failAllocationAt(k);
        EXPECT_EQ(fit.run(), kStatusOutOfMemory) << k;
        failAllocationAt(0);
        EXPECT_EQ(allocationsOutstanding(), outstanding) << k;
        EXPECT_EQ(fit.values, std::vector<double>({0, 0})) << k;
        // The fit's own storage (row table, two rows, basis) comes first.
        if (k <= 4) {
            EXPECT_EQ(fit.covariance, Rows(2, std::vector<double>(2, 9.0))) << k;
        }
    }
}

// Block entry [j][q] belongs to the j-th and q-th adjusted coefficients
// (indices 0, 2, 3); a non-symmetric block shows the orientation.
TEST(ExpandCovariance, SpreadsTheAdjustedBlockOverCoefficientIndices) {
    Rows m = {{1, 2, 3, 7}, {4, 5, 6, 7}, {7, 8, 9, 7}, {7, 7, 7, 7}};
    std::vector<double*> table;
    for (auto& row : m) table.push_back(row.data());
    const unsigned char mask[] = {1, 0, 1, 1};
    expandCovariance(table.data(), 4, mask, 3);
    EXPECT_EQ(m, Rows({{1, 0, 2, 3}, {0, 0, 0, 0}, {4, 0, 5, 6}, {7, 0, 8, 9}}));
}

}  // namespace
