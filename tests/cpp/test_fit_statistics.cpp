#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "fit/fit_statistics.h"

using namespace tallowfit;

namespace {

const std::string kNoAverage = "There are too few points, 0 == ndata, to compute average error.";

DataPoint point(double x, double y, double yUnc) { return DataPoint{x, 0.25, y, yUnc}; }

std::vector<double> deviationsOf(const std::vector<DataPoint>& points,
                                 const std::vector<double>& c, ModelId id, int32_t flags) {
    std::vector<double> values;
    for (const PointDeviation& d : computeDeviations(points, c, id, flags))
        values.push_back(d.deviation);
    return values;
}

struct UsableCase {
    DataPoint p;
    ModelId id;
    int32_t flags;
    bool usable;
};

TEST(IsPointUsable, FollowsValidation) {
    const UsableCase cases[] = {
        {point(2, 3, -1), LogLog, 0, false},
        {point(2, 3, -1), LogLog, kFitDropInvalidPoints, true},
        {point(-2, 3, 1), Polynomial, 0, true},
        {point(2, 3, 0), Polynomial, 0, false},
        {point(2, 3, 0), Polynomial, kFitAllowZeroUncertainty, true},
        {point(2, 0, 1), HalfPower, 0, false},
        {point(-2, 3, 1), Dual, 0, false},
    };
    for (const UsableCase& k : cases)
        EXPECT_EQ(isPointUsable(k.p, k.id, k.flags), k.usable) << k.id;
}

TEST(FitStatistics, PointsOnTheLine) {
    const std::vector<DataPoint> points = {point(1, 2, 0.1), point(2, 4, 0.1)};
    EXPECT_EQ(computeAverageError(points, {0, 2}, Polynomial, 0), 0.0);
    EXPECT_EQ(deviationsOf(points, {0, 2}, Polynomial, 0), std::vector<double>({0.1, 0.1}));
    EXPECT_EQ(deviationsOf(points, {0, 2}, Polynomial, kFitAllowZeroUncertainty),
              std::vector<double>({0.0, 0.0}));
}

TEST(FitStatistics, DeviationCarriesThePoint) {
    const std::vector<PointDeviation> d =
        computeDeviations({point(3, 10, 4)}, {1, 2}, Polynomial, 0);
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].deviation, 5.0);  // sqrt(3^2 + 4^2)
    EXPECT_EQ(d[0].y, 10.0);
    EXPECT_EQ(d[0].yUnc, 4.0);
    EXPECT_EQ(d[0].x, 3.0);
    EXPECT_EQ(d[0].xUnc, 0.25);
}

// The relative error is divided by y itself: |-2 - (-1)| / -2 = -0.5.
TEST(FitStatistics, NegativeYLowersTheAverage) {
    EXPECT_EQ(computeAverageError({point(1, -2, 0.1)}, {-1}, Polynomial, 0), -50.0);
    // With f(x) = -3 + 2x the second point adds |4 - 1| / 4 = 0.75.
    EXPECT_EQ(computeAverageError({point(1, -2, 0.1), point(2, 4, 0.1)}, {-3, 2}, Polynomial, 0),
              12.5);
}

TEST(FitStatistics, ZeroYCountsOnlyInTheDeviations) {
    const std::vector<DataPoint> points = {point(1, 0, 0.1)};
    try {
        computeAverageError(points, {0.5}, Polynomial, 0);
        FAIL() << "no throw";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(error.what(), kNoAverage);
    }
    EXPECT_EQ(computeDeviations(points, {0.5}, Polynomial, 0).size(), 1u);
}

TEST(FitStatistics, EmptyList) {
    EXPECT_TRUE(computeDeviations({}, {1}, Polynomial, 0).empty());
    EXPECT_THROW(computeAverageError({}, {1}, Polynomial, 0), std::runtime_error);
    // No usable point: the missing model function is never looked up.
    EXPECT_TRUE(computeDeviations({point(-1, 1, 1)}, {1}, Dual, 0).empty());
}

// LogLog (2, 3, -1) is refused by validation but evaluates; (0.5, 3, 0.1)
// validates but the model refuses x <= 1.
TEST(FitStatistics, DroppingInvalidPointsLeavesTheModelToDecide) {
    const std::vector<double> c = {0, 1};
    const DataPoint badUncertainty = point(2, 3, -1), belowOne = point(0.5, 3, 0.1);
    const std::vector<PointDeviation> kept =
        computeDeviations({badUncertainty, belowOne}, c, LogLog, kFitDropInvalidPoints);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].x, 2.0);
    EXPECT_EQ(computeAverageError({badUncertainty, belowOne}, c, LogLog, kFitDropInvalidPoints),
              computeAverageError({badUncertainty}, c, LogLog, kFitDropInvalidPoints));
    EXPECT_TRUE(computeDeviations({badUncertainty, belowOne}, c, LogLog, 0).empty());
    EXPECT_THROW(computeAverageError({badUncertainty, belowOne}, c, LogLog, 0), std::runtime_error);
}

TEST(FitStatistics, ModelWithoutFunctionThrowsAtFirstUsablePoint) {
    const std::vector<DataPoint> points = {point(2, 3, 1)};
    EXPECT_THROW(computeDeviations(points, {1, 1}, Dual, 0), std::invalid_argument);
    EXPECT_THROW(computeAverageError(points, {1, 1}, 9, 0), std::invalid_argument);
}

}  // namespace
