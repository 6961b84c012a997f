#include "fit/fit_statistics.h"
#include "test_support.h"

using namespace tallowfit;

namespace {

const std::string kNoAverage = "There are too few points, 0 == ndata, to compute average error.";

// Average error: 100 x the mean of |y - f(x)| / y over points with y != 0
// where the model evaluates, so a negative y lowers it (|-2 - (-1)| / -2 =
// -0.5, then with f = -3 + 2x, |4 - 1| / 4 = 0.75 more). Deviation:
// sqrt(residual^2 + yUnc^2), yUnc taken as 0 with kFitAllowZeroUncertainty.
// The points are those of a fit that succeeded, so validity is not asked
// again: (2, 3, -1) counts for LogLog (f(2) = 2); the model refuses x <= 1 at
// (0.5, 3, 0.1). NaN: no average for want of points.
TEST(FitStatistics, AverageErrorAndDeviations) {
    const DataPoint badUnc = point(2, 3, -1), belowOne = point(0.5, 3, 0.1);
    const struct { std::vector<DataPoint> points; Values c; ModelId id; int32_t flags; double average;
                   Values deviations; } cases[] = {
        {{point(1, 2, 0.1), point(2, 4, 0.1)}, {0, 2}, Polynomial, 0, 0.0, {0.1, 0.1}},
        {{point(1, 2, 0.1), point(2, 4, 0.1)}, {0, 2}, Polynomial, kFitAllowZeroUncertainty, 0.0, {0, 0}},
        {{point(3, 10, 4)}, {1, 2}, Polynomial, 0, 3.0 / 10 * 100, {5}},
        {{point(1, -2, 0.1)}, {-1}, Polynomial, 0, -50.0, {std::sqrt(1.01)}},
        {{point(1, -2, 0.1), point(2, 4, 0.1)}, {-3, 2}, Polynomial, 0, 12.5, {std::sqrt(1.01), std::sqrt(9.01)}},
        {{point(1, 0, 0.1)}, {0.5}, Polynomial, 0, NAN, {std::sqrt(0.26)}},
        {{}, {1}, Polynomial, 0, NAN, {}},
        {{badUnc, belowOne}, {0, 1}, LogLog, kFitDropInvalidPoints, (3 - 2.0) / 3 * 100, {std::sqrt(2.0)}},
        {{belowOne}, {0, 1}, LogLog, 0, NAN, {}},
        {{}, {1}, Dual, 0, NAN, {}},  // no point: no model looked up
    };
    for (const auto& k : cases) {
        FitStatistics s;
        ASSERT_EQ(outcome([&] { s = computeFitStatistics(k.points, k.c, k.id, k.flags); }), "ok");
        EXPECT_EQ(s.averageErrorRefusal ? s.averageErrorRefusal : "", std::isnan(k.average) ? kNoAverage : "");
        EXPECT_TRUE(std::isnan(k.average) || s.averageError == k.average) << s.averageError;
        ASSERT_EQ(s.deviations.size(), k.deviations.size()) << k.average;
        for (size_t i = 0; i < s.deviations.size(); ++i)
            EXPECT_NEAR(s.deviations[i].deviation, k.deviations[i], 1e-15) << k.average;
    }
    // A deviation carries its point and the curve's value there.
    const PointDeviation d = computeFitStatistics({DataPoint{3, 0.25, 10, 4}}, {1, 2}, Polynomial, 0).deviations[0];
    EXPECT_TRUE(d.deviation == 5.0 && d.y == 10.0 && d.yUnc == 4.0 && d.x == 3.0 && d.xUnc == 0.25 && d.yModel == 7.0);
}

TEST(FitStatistics, ModelWithoutFunctionThrowsAtFirstPoint) {
    EXPECT_THROW(computeFitStatistics({point(2, 3, 1)}, {1, 1}, Dual, 0), std::invalid_argument);
    EXPECT_THROW(computeFitStatistics({point(-1, 1, 1)}, {1, 1}, 9, 0), std::invalid_argument);
}

}  // namespace
