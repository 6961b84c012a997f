#include "fit/point_preparation.h"
#include "test_support.h"

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
    "invalid_argument: Invalid argument.  There is no linear transformation defined for this model.";


// A NaN coordinate passes every test; unknown ids get the x and y tests.
TEST(PointRefusal, FirstFailingTestDecides) {
    const struct { ModelId id; int32_t flags; DataPoint p; std::string expected; } cases[] = {
        {Polynomial, 0, point(-1, 2, 0.1), ""}, {LogLog, 0, point(-1, 2, 0.1), kX}, {LogLog, 0, point(0, 2, 0.1), kX},
        {HalfPower, 0, point(1, 0, 0.1), kY}, {RootPolynomial, 0, point(1, 0, 0.1), ""},
        {RootPolynomial, 0, point(-1, -3, 0.1), ""}, {LogInverse, 0, point(1, 2, 0), kUnc},
        {LogInverse, kFitAllowZeroUncertainty, point(1, 2, 0), ""},
        {LogInverse, kFitAllowZeroUncertainty, point(1, 2, -0.5), kUnc},
        {Polynomial, kFitAllowZeroUncertainty, point(1, 2, -0.5), kUnc}, {LogRatio, 0, point(-1, 2, -1), kX},
        {LogRatio, 0, point(1, -2, -1), kY}, {9, 0, point(1, -2, 0.1), kY}, {LogLog, 0, point(NAN, NAN, NAN), ""},
    };
    for (const auto& k : cases) {
        const char* message = pointRefusal(k.id, k.flags, k.p);
        EXPECT_EQ(message ? message : "", k.expected) << k.id << ": " << k.p.x << ", " << k.p.y << ", " << k.p.yUnc;
    }
}

// The first bad point in input order decides the message; with
// kFitDropInvalidPoints bad points are left out, keeping the order.
TEST(ValidatePoints, ThrowOrDrop) {
    std::vector<DataPoint> kept;
    EXPECT_EQ(outcome([&] { validatePoints(LogLog, 0, {point(1, 2, 0.1), point(2, 2, 0), point(-1, 2, 0.1)}, kept); }),
              "invalid_argument: " + kUnc);
    const std::vector<DataPoint> valid = validatePoints(
        LogLog, kFitDropInvalidPoints, {point(3, 2, 0.1), point(-1, 2, 0.1), point(2, 5, 0.2), point(4, 1, -1)}, kept);
    EXPECT_EQ(xsOf(valid), Values({3, 2}));
    EXPECT_TRUE(valid[1].y == 5.0 && valid[1].yUnc == 0.2);
    std::vector<DataPoint> none;
    EXPECT_TRUE(validatePoints(LogLog, kFitDropInvalidPoints, {point(-1, 1, 1)}, none).empty());
    const std::vector<DataPoint> allValid = {point(3, 2, 0.1), point(2, 5, 0.2)};
    EXPECT_EQ(xsOf(validatePoints(LogLog, 0, allValid, none)), Values({3, 2}));
}

// yScale lifts only a nonzero largest y below 0.5; only that is tested, so a
// negative largest y (possible only for models that ignore the scale) gives a
// negative scale. No points: all figures 0, scale 1.
TEST(RangeFigures, ExtremesMiddleAndScale) {
    // Figures: smallest x, largest x, largest y, scale, middle.
    const struct { Values xs, ys; int32_t flags; Values figures; } cases[] = {
        {{3, 1, 2}, {1, 4, 2}, 0, {1, 3, 4, 1, 2}}, {{1, 3}, {0.1, 0.2}, kFitScaleSmallY, {1, 3, 0.2, 2.5, 2}},
        {{1, 1}, {0.1, 0.2}, 0, {1, 1, 0.2, 1, 1}}, {{1, 1}, {0.5, 0.2}, kFitScaleSmallY, {1, 1, 0.5, 1, 1}},
        {{1, 1}, {0.0, -1.0}, kFitScaleSmallY, {1, 1, 0, 1, 1}},
        {{1, 1}, {-3.0, -1.0}, kFitScaleSmallY, {1, 1, -1, -0.5, 1}},
        {{}, {}, kFitScaleSmallY, {0, 0, 0, 1, 0}},
    };
    for (const auto& k : cases) {
        std::vector<DataPoint> valid;
        for (size_t i = 0; i < k.xs.size(); ++i) valid.push_back(point(k.xs[i], k.ys[i], 0.1));
        const RangeFigures f = computeRangeFigures(valid, k.flags);
        EXPECT_EQ(Values({f.smallestX, f.largestX, f.largestY, f.yScale, f.xMiddle}), k.figures);
    }
}

// Appended after what the vectors hold; a model without a transformation
// throws only when there are points to transform.
TEST(TransformPoints, ModelTable) {
    const struct { ModelId id; DataPoint p; double yScale, xMiddle, t, u, sigma; } cases[] = {
        {LogInverse, point(0.5, 100, 10), 1.0, 0.0, 2.0, 2.0, 0.04342944819032518},
        {RootPolynomial, point(1, 3, 0.5), 2.5, 0.0, 1.0, 9.0, 0.25},
        {LogLog, point(1, 0.2, 0.1), 2.5, 0.0, 0.0, std::log(2.5 * 0.2), 0.5},
        {LogRatio, point(1, 1, 0.5), 1.0, 2.0, std::log(2.0), 0.0, 0.5},
        {LogRatio, point(2, 4, 1), 1.0, 2.0, 0.0, std::log(4.0), 0.25},
        {HalfPower, point(4, 3, 0.2), 2.5, 0.0, 2.0, 3.0, 0.2},
        {Polynomial, point(-4, -3, 0.2), 2.5, 0.0, -4.0, -3.0, 0.2},
    };
    for (const auto& k : cases) {
        Values t = {7.0}, u = {7.0}, sigma = {7.0};
        transformPoints(k.id, {k.p}, k.yScale, k.xMiddle, t, u, sigma);
        EXPECT_EQ(Rows({t, u, sigma}), Rows({{7.0, k.t}, {7.0, k.u}, {7.0, k.sigma}})) << k.id;
    }
    Values t, u, sigma;
    for (ModelId id : {ModelId(Dual), ModelId(9)}) {
        EXPECT_EQ(outcome([&] { transformPoints(id, {}, 1.0, 0.0, t, u, sigma); }), "ok");
        EXPECT_EQ(outcome([&] { transformPoints(id, {point(1, 1, 1)}, 1.0, 0.0, t, u, sigma); }), kNoTransformation);
    }
}

// The scale comes out of the constant coefficient (none to adjust with one
// LogInverse or LogRatio coefficient); t, u, sigma are replaced by the valid
// points and the returned records point at them. An unknown model throws
// only when scaled.
TEST(RestoreDataSpace, TakesTheScaleOutOfTheConstantCoefficient) {
    const struct { ModelId id; Values c, expected; } cases[] = {
        {LogInverse, {1, 2}, {1, 2 - std::log10(2.5)}}, {LogInverse, {1}, {1}},
        {LogLog, {1, 2}, {1 - std::log(2.5), 2}},
        {LogRatio, {3, 2}, {3, 2 - std::log(2.5)}}, {LogRatio, {3}, {3}}, {HalfPower, {1, 2}, {1, 2}},
        {RootPolynomial, {1, 2}, {1, 2}}, {Polynomial, {1, 2}, {1, 2}},
    };
    const std::vector<DataPoint> valid = {point(2, 0.1, 0.01), point(3, 0.2, 0.02)};
    for (const auto& k : cases) {
        Values c = k.c, t = {9, 9, 9}, u = {9}, sigma;
        c.push_back(-99.0);
        const FitData data =
            restoreDataSpace(valid, k.id, 2.5, c.data(), static_cast<uint32_t>(k.c.size()), t, u, sigma);
        EXPECT_EQ(c.back(), -99.0);  // nothing written past count
        EXPECT_EQ(Values(c.begin(), c.end() - 1), k.expected) << k.id;
        EXPECT_TRUE(t == Values({2, 3}) && u == Values({0.1, 0.2}) && sigma == Values({0.01, 0.02}));
        EXPECT_TRUE(data.x == t.data() && data.xUnc == nullptr && data.y == u.data() &&
                    data.yUnc == sigma.data() && data.count == 2u);
    }
    double c[] = {1.0, 2.0};
    Values t, u, sigma;
    EXPECT_EQ(outcome([&] { restoreDataSpace({}, 9, 1.0, c, 2, t, u, sigma); }), "ok");
    EXPECT_EQ(outcome([&] { restoreDataSpace({}, 9, 2.5, c, 2, t, u, sigma); }).find("invalid_argument"), 0u);
}

}  // namespace
