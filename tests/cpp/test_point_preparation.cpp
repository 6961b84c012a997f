#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "fit/point_preparation.h"

using namespace tallowfit;

namespace {

const std::string kX =
    "Encountered an x-point less than equal to zero.  This mathematical model cannot be "
    "evaluated at that point.  Potential divide by zero.";
const std::string kY =
    "Encountered an y-point that is less than equal to zero.  This mathematical model cannot "
    "be evaluated at that point.";
const std::string kUnc =
    "Encountered an unc-point that is less than equal to zero.  This mathematical model cannot "
    "be evaluated at that point.";
const std::string kNoTransformation =
    "Invalid argument.  There is no linear transformation defined for this model.";

DataPoint point(double x, double y, double yUnc) { return DataPoint{x, 0.0, y, yUnc}; }

std::string refusal(ModelId id, int32_t flags, const DataPoint& p) {
    const char* message = pointRefusal(id, flags, p);
    return message ? message : "";
}

struct RefusalCase {
    ModelId id;
    int32_t flags;
    DataPoint p;
    std::string expected;  // empty: accepted
};

TEST(PointRefusal, FirstFailingTestDecides) {
    const RefusalCase cases[] = {
        {Polynomial, 0, point(-1, 2, 0.1), ""},
        {LogLog, 0, point(-1, 2, 0.1), kX},
        {LogLog, 0, point(0, 2, 0.1), kX},
        {HalfPower, 0, point(1, 0, 0.1), kY},
        {RootPolynomial, 0, point(1, 0, 0.1), ""},
        {RootPolynomial, 0, point(-1, -3, 0.1), ""},
        {LogInverse, 0, point(1, 2, 0), kUnc},
        {LogInverse, kFitAllowZeroUncertainty, point(1, 2, 0), ""},
        {LogInverse, kFitAllowZeroUncertainty, point(1, 2, -0.5), kUnc},
        {Polynomial, kFitAllowZeroUncertainty, point(1, 2, -0.5), kUnc},
        {LogRatio, 0, point(-1, 2, -1), kX},
        {LogRatio, 0, point(1, -2, -1), kY},
        {9, 0, point(1, -2, 0.1), kY},  // unknown ids get the x and y tests
        {LogLog, 0, point(NAN, NAN, NAN), ""},
    };
    for (const RefusalCase& k : cases)
        EXPECT_EQ(refusal(k.id, k.flags, k.p), k.expected)
            << k.id << " (" << k.p.x << ", " << k.p.y << ", " << k.p.yUnc << ")";
}

TEST(ValidatePoints, ThrowsTheFirstBadPointInInputOrder) {
    const std::vector<DataPoint> points = {point(1, 2, 0.1), point(2, 2, 0), point(-1, 2, 0.1)};
    try {
        validatePoints(LogLog, 0, points);
        FAIL() << "no throw";
    } catch (const std::invalid_argument& error) {
        EXPECT_EQ(error.what(), kUnc);
    }
}

TEST(ValidatePoints, DropsBadPointsKeepingOrder) {
    const std::vector<DataPoint> points = {point(3, 2, 0.1), point(-1, 2, 0.1), point(2, 5, 0.2),
                                           point(4, 1, -1)};
    const std::vector<DataPoint> valid = validatePoints(LogLog, kFitDropInvalidPoints, points);
    ASSERT_EQ(valid.size(), 2u);
    EXPECT_EQ(valid[0].x, 3.0);
    EXPECT_EQ(valid[1].x, 2.0);
    EXPECT_EQ(valid[1].y, 5.0);
    EXPECT_EQ(valid[1].yUnc, 0.2);
    EXPECT_TRUE(validatePoints(LogLog, kFitDropInvalidPoints, {point(-1, 1, 1)}).empty());
}

struct RangeCase {
    std::vector<double> ys;
    int32_t flags;
    double yScale;
};

TEST(RangeFigures, YScaleLiftsOnlySmallNonzeroLargestY) {
    const RangeCase cases[] = {
        {{0.1, 0.2}, kFitScaleSmallY, 2.5}, {{0.1, 0.2}, 0, 1.0},
        {{0.5, 0.2}, kFitScaleSmallY, 1.0}, {{0.0, -1.0}, kFitScaleSmallY, 1.0},
        // Only "nonzero and below 0.5" is tested: a negative largest y (possible only
        // for the models that ignore the scale) gives a negative scale.
        {{-3.0, -1.0}, kFitScaleSmallY, -0.5},
    };
    for (const RangeCase& k : cases) {
        std::vector<DataPoint> valid;
        for (double y : k.ys) valid.push_back(point(1, y, 0.1));
        EXPECT_EQ(computeRangeFigures(valid, k.flags).yScale, k.yScale) << k.ys[1];
    }
}

TEST(RangeFigures, ExtremesAndMiddle) {
    const RangeFigures f =
        computeRangeFigures({point(3, 1, 1), point(1, 4, 1), point(2, 2, 1)}, 0);
    EXPECT_EQ(f.smallestX, 1.0);
    EXPECT_EQ(f.largestX, 3.0);
    EXPECT_EQ(f.largestY, 4.0);
    EXPECT_EQ(f.xMiddle, 2.0);
    const RangeFigures none = computeRangeFigures({}, kFitScaleSmallY);
    EXPECT_EQ(none.smallestX, 0.0);
    EXPECT_EQ(none.largestX, 0.0);
    EXPECT_EQ(none.largestY, 0.0);
    EXPECT_EQ(none.yScale, 1.0);
    EXPECT_EQ(none.xMiddle, 0.0);
}

struct TransformCase {
    ModelId id;
    DataPoint p;
    double yScale;
    double xMiddle;
    double t, u, sigma;
};

TEST(TransformPoints, ModelTable) {
    const TransformCase cases[] = {
        {LogInverse, point(0.5, 100, 10), 1.0, 0.0, 2.0, 2.0, 0.04342944819032518},
        {RootPolynomial, point(1, 3, 0.5), 2.5, 0.0, 1.0, 9.0, 0.25},
        {LogLog, point(1, 0.2, 0.1), 2.5, 0.0, 0.0, std::log(2.5 * 0.2), 0.5},
        {LogRatio, point(1, 1, 0.5), 1.0, 2.0, std::log(2.0), 0.0, 0.5},
        {LogRatio, point(2, 4, 1), 1.0, 2.0, 0.0, std::log(4.0), 0.25},
        {HalfPower, point(4, 3, 0.2), 2.5, 0.0, 2.0, 3.0, 0.2},
        {Polynomial, point(-4, -3, 0.2), 2.5, 0.0, -4.0, -3.0, 0.2},
    };
    for (const TransformCase& k : cases) {
        std::vector<double> t = {7.0}, u = {7.0}, sigma = {7.0};  // appended to
        transformPoints(k.id, {k.p}, k.yScale, k.xMiddle, t, u, sigma);
        ASSERT_EQ(t.size(), 2u);
        EXPECT_EQ(t[1], k.t) << k.id;
        EXPECT_EQ(u[1], k.u) << k.id;
        EXPECT_EQ(sigma[1], k.sigma) << k.id;
    }
}

TEST(TransformPoints, ModelWithoutTransformationThrowsOnlyWithPoints) {
    std::vector<double> t, u, sigma;
    for (ModelId id : {ModelId(Dual), ModelId(9)}) {
        EXPECT_NO_THROW(transformPoints(id, {}, 1.0, 0.0, t, u, sigma));
        try {
            transformPoints(id, {point(1, 1, 1)}, 1.0, 0.0, t, u, sigma);
            ADD_FAILURE() << "no throw for " << id;
        } catch (const std::invalid_argument& error) {
            EXPECT_EQ(error.what(), kNoTransformation);
        }
    }
}

struct RestoreCase {
    ModelId id;
    std::vector<double> c;
    std::vector<double> expected;
};

TEST(RestoreDataSpace, TakesTheScaleOutOfTheConstantCoefficient) {
    const double sentinel = -99.0;
    const RestoreCase cases[] = {
        {LogInverse, {1, 2}, {1, 2 - std::log10(2.5)}},
        {LogInverse, {1}, {1}},  // no constant coefficient to adjust
        {LogLog, {1, 2}, {1 - std::log(2.5), 2}},
        {LogRatio, {3, 2}, {3, 2 - std::log(2.5)}},
        {LogRatio, {3}, {3}},
        {HalfPower, {1, 2}, {1, 2}},
        {RootPolynomial, {1, 2}, {1, 2}},
        {Polynomial, {1, 2}, {1, 2}},
    };
    const std::vector<DataPoint> valid = {point(2, 0.1, 0.01), point(3, 0.2, 0.02)};
    for (const RestoreCase& k : cases) {
        std::vector<double> c = k.c;
        c.push_back(sentinel);
        std::vector<double> t = {9, 9, 9}, u = {9}, sigma;
        const FitData data = restoreDataSpace(valid, k.id, 2.5, c.data(),
                                              static_cast<uint32_t>(k.c.size()), t, u, sigma);
        for (std::size_t i = 0; i < k.expected.size(); ++i) EXPECT_EQ(c[i], k.expected[i]) << k.id;
        EXPECT_EQ(c.back(), sentinel);
        EXPECT_EQ(t, std::vector<double>({2, 3}));
        EXPECT_EQ(u, std::vector<double>({0.1, 0.2}));
        EXPECT_EQ(sigma, std::vector<double>({0.01, 0.02}));
        EXPECT_EQ(data.x, t.data());
        EXPECT_EQ(data.xUnc, nullptr);
        EXPECT_EQ(data.y, u.data());
        EXPECT_EQ(data.yUnc, sigma.data());
        EXPECT_EQ(data.count, 2u);
    }
}

TEST(RestoreDataSpace, UnknownModelThrowsOnlyWhenScaled) {
    double c[] = {1.0, 2.0};
    std::vector<double> t, u, sigma;
    EXPECT_NO_THROW(restoreDataSpace({}, 9, 1.0, c, 2, t, u, sigma));
    EXPECT_THROW(restoreDataSpace({}, 9, 2.5, c, 2, t, u, sigma), std::invalid_argument);
}

}  // namespace
