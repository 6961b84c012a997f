#include "numeric/least_squares.h"
#include "test_support.h"

using namespace tallowfit;

namespace {

// The polynomial model, failing at x = failX in every pass or, with
// failOnlyForValues, only in the value-only (chi-square) pass.
double failX = NAN;
bool failOnlyForValues = false;
int32_t failing(double x, const ModelEvaluation* e, double* y) {
    return x == failX && !(failOnlyForValues && e->derivatives) ? kStatusNoConvergence : polynomialModel(x, e, y);
}

int32_t run(FitRecords& f, ModelFunction model = polynomialModel, int check = 0) {
    return fitLinear(&f.data, &f.parameters, &f.solution, model, check);
}

// Worked by hand on x = 1, 2, 3. Both coefficients on y = 1 + 2x: the line and
// the inverse of [[3, 6], [6, 14]]. Slope alone with c0 held at 5 fits
// y - 5 = (-2, 0, 2): 4/14 = 2/7, variance 1/14, residuals -16/7, -4/7, 8/7
// squared 48/7. Nothing adjusted on y = 1 + x: residuals 1, 2, 3 give 14, over
// 2^2 each 3.5. Zero uncertainties weigh 1 and leave both sums exactly 0.
TEST(FitLinear, WorkedFits) {
    const Rows line = {{7.0 / 3, -1}, {-1, 0.5}}, none = {{0, 0}, {0, 0}};
    const struct { Values y, yUnc, start; std::vector<unsigned char> mask; Values values; Rows covariance;
                   double chi, sumSquares; bool exact; } cases[] = {
        {{3, 5, 7}, {1, 1, 1}, {0, 0}, {1, 1}, {1, 2}, line, 0, 0, false},
        {{3, 5, 7}, {1, 1, 1}, {5, 0}, {0, 1}, {5, 2.0 / 7}, {{0, 0}, {0, 1.0 / 14}}, 48.0 / 7, 48.0 / 7, false},
        {{3, 5, 7}, {1, 1, 1}, {1, 1}, {0, 0}, {1, 1}, none, 14, 14, true},
        {{3, 5, 7}, {2, 2, 2}, {1, 1}, {0, 0}, {1, 1}, none, 3.5, 14, true},
        {{3, 6, 7}, {0, 0, 0}, {0, 0}, {1, 1}, {4.0 / 3, 2}, line, 0, 0, true},
    };
    for (int check : {0, 1})
        for (const auto& c : cases) {
            FitRecords f({1, 2, 3}, c.y, c.yUnc, c.start, c.mask);
            ASSERT_EQ(run(f, polynomialModel, check), kStatusOk);
            expectNear({f.values}, {c.values}, 1e-13);
            expectNear(f.covariance.rows, c.covariance, 1e-13);
            for (int i = 0; i < 2; ++i)  // held: value kept, row and column exactly zero
                EXPECT_TRUE(c.mask[i] || (f.values[i] == c.start[i] && f.covariance.rows[i] == Values(2, 0.0) &&
                                          f.covariance.rows[1 - i][i] == 0.0)) << i;
            EXPECT_NEAR(f.solution.chiSquare, c.chi, 1e-13);
            EXPECT_NEAR(f.solution.sumSquares, c.sumSquares, 1e-13);
            EXPECT_TRUE(!c.exact || (f.solution.chiSquare == c.chi && f.solution.sumSquares == c.sumSquares));
        }
}

// Refusals change neither values nor sums: missing records or counts are
// invalid, a single point at x = 0 makes a zero row, a model failing in the
// first pass stops the fit.
TEST(FitLinear, RefusedFitsChangeNothing) {
    typedef int32_t (*Call)(FitRecords&);
    const int32_t kInvalid = kStatusInvalidArgument;
    const struct { Call call; int32_t status; } cases[] = {
        {[](FitRecords& f) { return fitLinear(nullptr, &f.parameters, &f.solution, polynomialModel, 0); }, kInvalid},
        {[](FitRecords& f) { return fitLinear(&f.data, nullptr, &f.solution, polynomialModel, 0); }, kInvalid},
        {[](FitRecords& f) { return fitLinear(&f.data, &f.parameters, nullptr, polynomialModel, 0); }, kInvalid},
        {[](FitRecords& f) { return run(f, nullptr); }, kInvalid},
        {[](FitRecords& f) { f.data.x = nullptr; return run(f); }, kInvalid},
        {[](FitRecords& f) { f.data.y = nullptr; return run(f); }, kInvalid},
        {[](FitRecords& f) { f.data.yUnc = nullptr; return run(f); }, kInvalid},
        {[](FitRecords& f) { f.data.count = 0; return run(f); }, kInvalid},
        {[](FitRecords& f) { f.parameters.values = nullptr; return run(f); }, kInvalid},
        {[](FitRecords& f) { f.parameters.fitMask = nullptr; return run(f); }, kInvalid},
        {[](FitRecords& f) { f.parameters.count = 0; return run(f); }, kInvalid},
        {[](FitRecords& f) { f.solution.covariance = nullptr; return run(f); }, kInvalid},
        {[](FitRecords& f) { f.covariance.table[0] = nullptr; return run(f); }, kInvalid},
        {[](FitRecords& f) { f.data.count = 1, f.x[0] = 0; return run(f); }, kStatusIllConditioned},
        {[](FitRecords& f) { f.data.count = 1, f.x[0] = 0; return run(f, polynomialModel, 1); }, kStatusIllConditioned},
        {[](FitRecords& f) { failX = 2, failOnlyForValues = false; return run(f, failing); }, kStatusNoConvergence},
    };
    for (const auto& c : cases) {
        FitRecords f({1, 2, 3}, {3, 5, 7}, {1, 1, 1}, {0, 0}, {1, 1});
        EXPECT_EQ(c.call(f), c.status);
        EXPECT_TRUE(f.values == Values({0, 0}) && f.solution.chiSquare == -1);
    }
}

// In the chi-square pass a failing point is left out of the sums; only a
// failure at the last point is reported, after everything is stored. Lines
// 1/3 + 2.5x and 7/3 + 1.5x; the two points kept have residuals 1/6 and -1/3.
TEST(FitLinear, ChiSquarePassSkipsFailingPoints) {
    const struct { Values y; double failAt; int32_t status; Values line; } cases[] = {
        {{3, 5, 8}, 3, kStatusNoConvergence, {1.0 / 3, 2.5}}, {{4, 5, 7}, 1, kStatusOk, {7.0 / 3, 1.5}}};
    for (const auto& c : cases) {
        FitRecords f({1, 2, 3}, c.y, {1, 1, 1}, {0, 0}, {1, 1});
        failX = c.failAt, failOnlyForValues = true;
        EXPECT_EQ(run(f, failing), c.status);
        expectNear({f.values}, {c.line}, 1e-13);
        EXPECT_NEAR(f.solution.sumSquares, 5.0 / 36, 1e-14);
        EXPECT_EQ(f.solution.chiSquare, f.solution.sumSquares);
    }
}

// The fit's own storage (row table, two rows, basis) comes first: failing
// there leaves even the covariance untouched.
TEST(FitLinear, AllocationFailuresLeakNothing) {
    forEachAllocationFailure([](long k, long) {
        FitRecords f({1, 2, 3}, {3, 5, 7}, {1, 1, 1}, {0, 0}, {1, 1});
        EXPECT_EQ(run(f), k ? kStatusOutOfMemory : kStatusOk) << k;
        EXPECT_TRUE(k == 0 || f.values == Values({0, 0})) << k;
        EXPECT_TRUE(k == 0 || k > 4 || f.covariance.rows == Rows(2, Values(2, 9.0))) << k;
    });
}

// Block entry [j][q] belongs to the j-th and q-th adjusted coefficients
// (indices 0, 2, 3); a non-symmetric block shows the orientation.
TEST(ExpandCovariance, SpreadsTheAdjustedBlockOverCoefficientIndices) {
    Held m({{1, 2, 3, 7}, {4, 5, 6, 7}, {7, 8, 9, 7}, {7, 7, 7, 7}});
    const unsigned char mask[] = {1, 0, 1, 1};
    expandCovariance(m.matrix(), 4, mask, 3);
    EXPECT_EQ(m.rows, Rows({{1, 0, 2, 3}, {0, 0, 0, 0}, {4, 0, 5, 6}, {7, 0, 8, 9}}));
}

}  // namespace
