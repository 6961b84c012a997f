#include "fit/dual_model.h"
#include "test_support.h"

using namespace tallowfit;

namespace {

// Points at the given x, y a little off a power law so that each fit differs.
std::vector<DataPoint> pointsAt(const Values& xs) {
    std::vector<DataPoint> points;
    for (double x : xs) points.push_back(DataPoint{x, 0.0, 3.0 * x * x + std::sin(x), 0.1 * x});
    return points;
}

// Within machine epsilon of a threshold near 1 is on it (both sides); near 4
// only 4 itself is. NaN is on neither side.
TEST(SplitAtThreshold, Sides) {
    const double epsilon = 2.220446049250313e-16, aboveFour = std::nextafter(4.0, 5.0);
    const struct { Values xs; double threshold; Values lower, upper; } cases[] = {
        {{2, 3, 4, 5, 6, 7}, 4.5, {2, 3, 4}, {5, 6, 7}},
        {{7, 4, 2, 5}, 4, {4, 2}, {7, 4, 5}},
        {{1 + epsilon, 1 - epsilon / 2}, 1.0, {1 + epsilon, 1 - epsilon / 2}, {1 + epsilon, 1 - epsilon / 2}},
        {{aboveFour}, 4.0, {}, {aboveFour}},
        {{NAN, 3}, 2.0, {}, {3}},
    };
    for (const auto& k : cases) {
        const ThresholdSplit split = splitAtThreshold(pointsAt(k.xs), k.threshold);
        EXPECT_EQ(xsOf(split.lower), k.lower) << k.threshold;
        EXPECT_EQ(xsOf(split.upper), k.upper) << k.threshold;
    }
}

// Each side is an ordinary LogLog fit of the points on that side, at the
// given order or, for 0, that side's optimal order (here 2 and 4).
TEST(FitDualModel, FitsEachSideOnItsOwn) {
    const struct { Values xs; double threshold; int32_t order; Values lower, upper; } cases[] = {
        {{2, 3, 4, 5, 6, 7}, 4.5, 2, {2, 3, 4}, {5, 6, 7}},
        {{2, 3, 4, 5, 6, 7}, 4.0, 2, {2, 3, 4}, {4, 5, 6, 7}},
        {{2, 3, 4, 5, 6, 7}, 1.5, 2, {}, {2, 3, 4, 5, 6, 7}},
        {{2, 3, NAN, 4, 5, 6, 7}, 4.5, 2, {2, 3, 4}, {5, 6, 7}},
        {{2, 3, 4, 11, 12, 13, 14, 15, 16, 17, 18}, 10, 0, {2, 3, 4}, {11, 12, 13, 14, 15, 16, 17, 18}},
    };
    for (const auto& k : cases) {
        const std::vector<FitResult> fits = fitDualModel(splitAtThreshold(pointsAt(k.xs), k.threshold), k.order, k.order, 0);
        ASSERT_EQ(fits.size(), k.lower.empty() ? 1u : 2u) << k.threshold;
        std::vector<FitResult> expected;
        if (!k.lower.empty()) expected.push_back(fitModel(pointsAt(k.lower), LogLog, k.order, 0));
        expected.push_back(fitModel(pointsAt(k.upper), LogLog, k.order, 0));
        for (size_t i = 0; i < fits.size(); ++i)
            EXPECT_TRUE(fits[i].coefficients == expected[i].coefficients &&
                        fits[i].covariance.rows == expected[i].covariance.rows &&
                        fits[i].covariance.reducedChiSquare == expected[i].covariance.reducedChiSquare)
                << k.threshold << " fit " << i;
    }
}

// All x below the threshold: no upper points. x = 0.5 is a valid point but
// outside LogLog's domain. Two upper points for order 2 are too few.
TEST(FitDualModel, Failures) {
    EXPECT_EQ(outcome([] { fitDualModel(splitAtThreshold(pointsAt({2, 3, 4, 5}), 10), 2, 2, 0); }),
              "invalid_argument: Invalid argument.  There are zero points to fit.");
    EXPECT_EQ(outcome([] { fitDualModel(splitAtThreshold(pointsAt({0.5, 2, 3, 5, 6, 7}), 4), 2, 2, 0); }),
              statusText(kStatusInvalidArgument));
    EXPECT_EQ(outcome([] { fitDualModel(splitAtThreshold(pointsAt({2, 3, 5, 6, 7}), 4), 2, 2, 0); }).find("invalid_argument"), 0u);
}

}  // namespace
