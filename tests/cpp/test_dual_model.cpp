#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "fit/dual_model.h"
#include "numeric/status.h"

using namespace tallowfit;

namespace {

const double kNan = std::numeric_limits<double>::quiet_NaN();

// Points at the given x, y a little off a power law so that each fit differs.
std::vector<DataPoint> pointsAt(const std::vector<double>& xs) {
    std::vector<DataPoint> points;
    for (double x : xs) points.push_back(DataPoint{x, 0.0, 3.0 * x * x + std::sin(x), 0.1 * x});
    return points;
}

std::vector<double> xsOf(const std::vector<DataPoint>& points) {
    std::vector<double> xs;
    for (const DataPoint& p : points) xs.push_back(p.x);
    return xs;
}

struct SplitCase {
    std::vector<double> xs;
    double threshold;
    std::vector<double> lower;
    std::vector<double> upper;
};

TEST(SplitAtThreshold, Sides) {
    const double epsilon = 2.220446049250313e-16;
    const double aboveFour = std::nextafter(4.0, 5.0);
    const SplitCase cases[] = {
        {{2, 3, 4, 5, 6, 7}, 4.5, {2, 3, 4}, {5, 6, 7}},
        {{7, 4, 2, 5}, 4, {4, 2}, {7, 4, 5}},
        // Within epsilon of a threshold near 1 is on it; near 4 only 4 itself is.
        {{1 + epsilon, 1 - epsilon / 2}, 1.0, {1 + epsilon, 1 - epsilon / 2},
         {1 + epsilon, 1 - epsilon / 2}},
        {{aboveFour}, 4.0, {}, {aboveFour}},
        {{kNan, 3}, 2.0, {}, {3}},
    };
    for (const SplitCase& k : cases) {
        const ThresholdSplit split = splitAtThreshold(pointsAt(k.xs), k.threshold);
        EXPECT_EQ(xsOf(split.lower), k.lower) << k.threshold;
        EXPECT_EQ(xsOf(split.upper), k.upper) << k.threshold;
    }
}

void expectSameFit(const FitResult& actual, const FitResult& expected) {
    EXPECT_EQ(actual.coefficients, expected.coefficients);
    EXPECT_EQ(actual.covariance.rows, expected.covariance.rows);
    EXPECT_EQ(actual.covariance.reducedChiSquare, expected.covariance.reducedChiSquare);
}

struct DualCase {
    double threshold;
    std::vector<double> lower;  // empty: no lower fit
    std::vector<double> upper;
};

// Each side is an ordinary LogLog fit of the points on that side.
TEST(FitDualModel, FitsEachSideOnItsOwn) {
    const std::vector<double> xs = {2, 3, 4, 5, 6, 7};
    const DualCase cases[] = {
        {4.5, {2, 3, 4}, {5, 6, 7}},
        {4.0, {2, 3, 4}, {4, 5, 6, 7}},
        {1.5, {}, {2, 3, 4, 5, 6, 7}},
    };
    for (const DualCase& k : cases) {
        SCOPED_TRACE(k.threshold);
        const std::vector<FitResult> fits = fitDualModel(pointsAt(xs), k.threshold, 2, 2, 0);
        ASSERT_EQ(fits.size(), k.lower.empty() ? 1u : 2u);
        if (!k.lower.empty()) expectSameFit(fits[0], fitModel(pointsAt(k.lower), LogLog, 2, 0));
        expectSameFit(fits.back(), fitModel(pointsAt(k.upper), LogLog, 2, 0));
    }
}

TEST(FitDualModel, OrderZeroIsChosenPerSide) {
    const std::vector<FitResult> fits =
        fitDualModel(pointsAt({2, 3, 4, 11, 12, 13, 14, 15, 16, 17, 18}), 10, 0, 0, 0);
    ASSERT_EQ(fits.size(), 2u);
    EXPECT_EQ(fits[0].coefficients.size(), 2u);
    EXPECT_EQ(fits[1].coefficients.size(), 4u);
}

TEST(FitDualModel, NanXTakesNoPart) {
    const std::vector<FitResult> fits =
        fitDualModel(pointsAt({2, 3, kNan, 4, 5, 6, 7}), 4.5, 2, 2, 0);
    ASSERT_EQ(fits.size(), 2u);
    expectSameFit(fits[0], fitModel(pointsAt({2, 3, 4}), LogLog, 2, 0));
}

TEST(FitDualModel, Failures) {
    try {
        fitDualModel(pointsAt({2, 3, 4, 5}), 10, 2, 2, 0);
        FAIL() << "no throw";
    } catch (const std::invalid_argument& error) {
        EXPECT_EQ(std::string(error.what()), "Invalid argument.  There are zero points to fit.");
    }
    // x = 0.5 is a valid point but outside LogLog's domain.
    try {
        fitDualModel(pointsAt({0.5, 2, 3, 5, 6, 7}), 4, 2, 2, 0);
        FAIL() << "no throw";
    } catch (uint32_t status) {
        EXPECT_EQ(status, static_cast<uint32_t>(kStatusInvalidArgument));
    }
    EXPECT_THROW(fitDualModel(pointsAt({2, 3, 5, 6, 7}), 4, 2, 2, 0), std::invalid_argument);
}

}  // namespace
