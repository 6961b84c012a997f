#include "fit/fit_statistics.h"
#include "test_support.h"

using namespace tallowfit;

namespace {

const std::string kNoAverage = "There are too few points, 0 == ndata, to compute average error.";

Values deviationsOf(const std::vector<DataPoint>& points, const Values& c, ModelId id, int32_t flags) {
    Values values;
    for (const PointDeviation& d : computeDeviations(points, c, id, flags)) values.push_back(d.deviation);
    return values;
}
// The average error, or NaN where it throws for want of points.
double averageOf(const std::vector<DataPoint>& points, const Values& c, ModelId id, int32_t flags) {
    double average = NAN;
    const std::string result = outcome([&] { average = computeAverageError(points, c, id, flags); });
    EXPECT_TRUE(result == "ok" || result == "runtime_error: " + kNoAverage) << result;
    return average;
}

// Average error: 100 x the mean of |y - f(x)| / y over usable points with
// y != 0 where the model evaluates, so a negative y lowers it (|-2 - (-1)| / -2
// = -0.5, then with f = -3 + 2x, |4 - 1| / 4 = 0.75 more). Deviation:
// sqrt(residual^2 + yUnc^2), yUnc taken as 0 with kFitAllowZeroUncertainty.
// LogLog (2, 3, -1) is refused by validation but evaluates under
// kFitDropInvalidPoints (f(2) = 2); (0.5, 3, 0.1) validates but the model
// refuses x <= 1. NaN: no average for want of points.
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
        {{badUnc, belowOne}, {0, 1}, LogLog, 0, NAN, {}},
        {{point(-1, 1, 1)}, {1}, Dual, 0, NAN, {}},  // no usable point: no model looked up
    };
    for (const auto& k : cases) {
        const double average = averageOf(k.points, k.c, k.id, k.flags);
        EXPECT_TRUE(average == k.average || (std::isnan(average) && std::isnan(k.average))) << average;
        const Values deviations = deviationsOf(k.points, k.c, k.id, k.flags);
        ASSERT_EQ(deviations.size(), k.deviations.size()) << k.average;
        for (size_t i = 0; i < deviations.size(); ++i) EXPECT_NEAR(deviations[i], k.deviations[i], 1e-15) << k.average;
        // Both in one walk: the same figures, or the same refusal.
        FitStatistics both = {NAN, {}};
        const std::string result = outcome([&] { both = computeFitStatistics(k.points, k.c, k.id, k.flags); });
        EXPECT_EQ(result, std::isnan(k.average) ? "runtime_error: " + kNoAverage : "ok") << k.average;
        Values walked;
        for (const PointDeviation& d : both.deviations) walked.push_back(d.deviation);
        EXPECT_TRUE(std::isnan(k.average) || (both.averageError == average && walked == deviations)) << k.average;
    }
    // A deviation carries its point.
    const PointDeviation d = computeDeviations({DataPoint{3, 0.25, 10, 4}}, {1, 2}, Polynomial, 0)[0];
    EXPECT_TRUE(d.deviation == 5.0 && d.y == 10.0 && d.yUnc == 4.0 && d.x == 3.0 && d.xUnc == 0.25);
    EXPECT_EQ(deviationsOf({point(1, 2, 0.1), point(2, 4, 0.1)}, {0, 2}, Polynomial, 0), Values({0.1, 0.1}));
}

TEST(FitStatistics, ModelWithoutFunctionThrowsAtFirstUsablePoint) {
    EXPECT_THROW(computeDeviations({point(2, 3, 1)}, {1, 1}, Dual, 0), std::invalid_argument);
    EXPECT_THROW(computeAverageError({point(2, 3, 1)}, {1, 1}, 9, 0), std::invalid_argument);
    EXPECT_THROW(computeFitStatistics({point(2, 3, 1)}, {1, 1}, Dual, 0), std::invalid_argument);
}

}  // namespace
