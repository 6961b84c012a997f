#include <cstring>

#include "fit/models.h"
#include "fit/point_preparation.h"
#include "numeric/nonlinear_least_squares.h"
#include "test_support.h"

using namespace tallowfit;

namespace {

const double kSentinel = -12345.0;
const ModelFunction kAll[] = {evalPolynomial, evalLogInverse, evalLogLog, evalLogRatio, evalHalfPower,
                              evalRootPolynomial, evalLogInverseTransformed, evalLogLogTransformed,
                              evalLogRatioTransformed};

struct Call {
    int32_t status;
    double y;
    Values derivatives;  // count entries, then a sentinel slot
};

Call call(ModelFunction f, double x, Values c, bool withDerivatives) {
    Values d(c.size() + 1, kSentinel);
    const ModelEvaluation e = {c.data(), withDerivatives ? d.data() : nullptr, static_cast<int32_t>(c.size())};
    Call result = {0, 0.0, {}};
    result.status = f(x, &e, &result.y);
    result.derivatives = d;
    return result;
}

// The first LogInverse term is c[0]*pow(1/x, -1); at x = 0.24285714285714285
// that power is not x itself, so the exact value tells the two readings apart.
TEST(ModelFunctions, ValuesAndDerivatives) {
    const double e = std::exp(1.0), ln10 = 2.302585092994046, xPow = 0.24285714285714285;
    const struct { ModelFunction f; double x; Values c; double y; Values d; } cases[] = {
        {evalLogLog, e, {0, 1}, e, {e, e}}, {evalLogInverse, 2.0, {0, 2}, 100.0, {2 * ln10 * 100, ln10 * 100}},
        {evalLogInverse, 7.0, {0, 2}, 100.0, {7 * ln10 * 100, ln10 * 100}},
        {evalLogInverse, xPow, {1}, std::pow(10.0, std::pow(1.0 / xPow, -1.0)), {}},
        {evalLogRatio, -3.0, {2.5, 1.0}, e, {1, e}}, {evalLogRatio, 2.5, {2.5, 1.0, 7.0}, e, {1, e, 0}},
        {evalHalfPower, 0.0, {3, 5}, 3.0, {1, 0}}, {evalHalfPower, 4.0, {1, 2, 3}, 17.0, {1, 2, 4}},
        {evalRootPolynomial, 9.0, {4}, 2.0, {0.25}}, {evalRootPolynomial, 4.0, {0, 0.25}, 1.0, {0.5, 2.0}},
        {evalPolynomial, 2.0, {1, 2, 3}, 17.0, {1, 2, 4}}, {evalLogLogTransformed, 3.0, {1, 2}, 7.0, {1, 3}},
        {evalLogRatioTransformed, 2.0, {7, 2, 3}, 8.0, {0, 1, 2}}, {evalLogRatioTransformed, 2.0, {7}, 0.0, {0}},
        {evalLogInverseTransformed, 0.5, {1, 2, 3}, 5.5, {2, 1, 0.5}}, {evalLogInverseTransformed, 0.5, {1}, 2.0, {2}},
    };
    ASSERT_NE(std::pow(10.0, std::pow(1.0 / xPow, -1.0)), std::pow(10.0, xPow));
    for (const auto& k : cases)
        for (bool withDerivatives : {false, true}) {
            const Call r = call(k.f, k.x, k.c, withDerivatives);
            EXPECT_TRUE(r.status == kStatusOk && r.y == k.y) << k.y;
            for (std::size_t i = 0; withDerivatives && i < k.d.size(); ++i) EXPECT_EQ(r.derivatives[i], k.d[i]) << k.y;
            EXPECT_EQ(r.derivatives[k.c.size()], kSentinel);  // nothing written past count
        }
    // Without derivatives a zero root is fine; NaN passes every domain test.
    EXPECT_EQ(call(evalRootPolynomial, 1.0, {0}, false).y, 0.0);
    EXPECT_TRUE(std::isnan(call(evalLogInverse, NAN, {1, 2}, false).y));
}

TEST(ModelFunctions, DomainRefusals) {
    const struct { ModelFunction f; double x; Values c; bool withDerivatives; } cases[] = {
        {evalLogLog, 1.0, {1, 1}, false}, {evalLogLog, 0.5, {1, 1}, false}, {evalLogLog, 0.0, {1, 1}, false},
        {evalLogLogTransformed, 0.0, {1, 1}, false}, {evalLogLogTransformed, -0.5, {1, 1}, false},
        {evalLogInverse, 0.0, {0, 2}, false}, {evalLogInverse, -1.0, {0, 2}, false}, {evalLogRatio, 2.0, {2}, false},
        {evalLogRatio, 0.0, {2, 1}, false}, {evalHalfPower, -1.0, {1, 1}, false},
        {evalRootPolynomial, 1.0, {-1}, false}, {evalRootPolynomial, 1.0, {0}, true},
        {evalLogInverseTransformed, 0.0, {1, 2}, false},
    };
    for (const auto& k : cases) EXPECT_EQ(call(k.f, k.x, k.c, k.withDerivatives).status, kStatusInvalidArgument) << k.x;
    // No coefficients, no record or no output: refused by every function.
    const double c[] = {2.0, 1.0};
    const ModelEvaluation e = {c, nullptr, 2};
    double y = 0.0;
    for (ModelFunction f : kAll) {
        EXPECT_EQ(call(f, 2.0, {}, false).status, kStatusInvalidArgument);
        EXPECT_TRUE(f(2.0, nullptr, &y) == kStatusInvalidArgument && f(2.0, &e, nullptr) == kStatusInvalidArgument);
    }
}

// Property: the transformed function at the transformed x is the log of the
// data-space value.
TEST(ModelFunctions, TransformedSpacePairsWithDataSpace) {
    const Values c = {1.5, 0.3, -0.2, 0.05};
    auto at = [&](ModelFunction f, double x) { return call(f, x, c, false).y; };
    for (double x : {1.5, 2.0, 3.7}) {
        EXPECT_NEAR(at(evalLogInverseTransformed, 1.0 / x), std::log10(at(evalLogInverse, x)), 1e-12);
        EXPECT_NEAR(at(evalLogLogTransformed, std::log(x)), std::log(at(evalLogLog, x)), 1e-12);
        EXPECT_NEAR(at(evalLogRatioTransformed, std::log(c[0] / x)), std::log(at(evalLogRatio, x)), 1e-12);
    }
}

// Ids 0..6 less Dual map to their data-space and transformed-space functions;
// Dual and unknown ids throw.
TEST(ModelSelectors, MapIdsToFunctionsAndThrowForOthers) {
    const ModelFunction data[] = {evalLogInverse, evalLogLog, evalLogRatio, nullptr,
                                  evalHalfPower, evalRootPolynomial, evalPolynomial};
    const ModelFunction transformed[] = {evalLogInverseTransformed, evalLogLogTransformed, evalLogRatioTransformed,
                                         nullptr, evalPolynomial, evalPolynomial, evalPolynomial};
    const std::string message = "invalid_argument: Invalid argument.  There is no function associated with this "
                                "mathematical model.";
    for (ModelId id = -1; id < 8; ++id) {
        const bool known = id >= 0 && id < 7 && id != Dual;
        const std::string expected = known ? "ok" : message;
        const ModelId row = known ? id : Dual;  // never read past the tables
        EXPECT_EQ(outcome([&] { EXPECT_EQ(dataModelFunction(id), data[row]); }), expected) << id;
        EXPECT_EQ(outcome([&] { EXPECT_EQ(transformedModelFunction(id), transformed[row]); }), expected) << id;
    }
}

// The split forms give the model functions' values and derivatives to the bit
// and their refusals, each record within count doubles; a run of points is
// evaluated from records count doubles apart into derivatives count apart, writing nothing past them. The
// models without a split form and the ids outside the catalogue have none.
TEST(ModelSplits, MatchTheirModelFunctions) {
    const struct { ModelId id; ModelFunction f; Values c; Values xs; } cases[] = {
        {LogLog, evalLogLog, {0.5, 0.3, 0.05}, {2.7, 1e5, 0.5, NAN, 1.0, 3.5}},
        {LogLog, evalLogLog, {-1, 2, -0.3, 0.01, 1e-3, 0, 0, 2}, {1.5, 40.0, INFINITY}},
        {LogInverse, evalLogInverse, {1, 2, 3}, {0.24285714285714285, 7.0, -1.0, 0.0, 2.0}},
        {LogInverse, evalLogInverse, {0.1}, {7.0}},
        {LogRatio, evalLogRatio, {2.5, 1.0, 0.7, -0.2}, {3.3, -2.0, 0.0, 2.5}},
        {LogRatio, evalLogRatio, {2.5, 1.0}, {3.3, -2.0}},
        {LogRatio, evalLogRatio, {2.5}, {2.0}},
        {HalfPower, evalHalfPower, {0.5, -2, 0.25}, {3.3, -2.0, 0.0, 1e10}},
        {HalfPower, evalHalfPower, {0.5}, {3.3}},
    };
    for (const auto& k : cases) {
        const PointInvariantModel* split = dataModelSplit(k.id);
        ASSERT_NE(split, nullptr);
        const uint32_t n = static_cast<uint32_t>(k.c.size()), width = n;
        const ModelEvaluation e = {k.c.data(), nullptr, static_cast<int32_t>(n)};
        Values records, expected;
        for (double x : k.xs) {
            const Call direct = call(k.f, x, k.c, true);
            Values record(width + 1, kSentinel);
            ASSERT_EQ(split->prepare(x, &e, record.data()), direct.status) << x;
            EXPECT_EQ(record[width], kSentinel) << x;
            if (direct.status != kStatusOk) continue;
            const double value = split->value(record.data(), k.c.data(), static_cast<int32_t>(n));
            EXPECT_EQ(std::memcmp(&value, &direct.y, sizeof value), 0) << x;
            records.insert(records.end(), record.begin(), record.end() - 1);
            expected.insert(expected.end(), direct.derivatives.begin(), direct.derivatives.end() - 1);
            expected.push_back(direct.y);
        }
        const uint32_t count = static_cast<uint32_t>(records.size() / width);
        Values values(count), derivatives(count * n + 1, kSentinel), actual;
        split->evaluate(records.data(), count, width, k.c.data(), static_cast<int32_t>(n), values.data(),
                        derivatives.data());
        for (uint32_t i = 0; i < count; ++i) {
            actual.insert(actual.end(), derivatives.begin() + i * n, derivatives.begin() + (i + 1) * n);
            actual.push_back(values[i]);
        }
        // Bit for bit, NaN included (a case may refuse every point).
        ASSERT_EQ(actual.size(), expected.size());
        EXPECT_TRUE(actual.empty() || std::memcmp(actual.data(), expected.data(), actual.size() * sizeof(double)) == 0)
            << k.id;
        EXPECT_EQ(derivatives.back(), kSentinel);
    }
    EXPECT_EQ(dataModelSplit(LogRatio)->heldPrefix, 1u);
    for (ModelId id : std::initializer_list<ModelId>{LogInverse, LogLog, HalfPower})
        EXPECT_EQ(dataModelSplit(id)->heldPrefix, 0u);
    for (ModelId id : std::initializer_list<ModelId>{-1, Dual, RootPolynomial, Polynomial, 7})
        EXPECT_EQ(dataModelSplit(id), nullptr);
}

// A refinement through the split form ends exactly where the model function
// alone leads: coefficients, covariance, both sums and the status, over more
// points than one run of the split form evaluates. The rows
// cover each split model, a held reference x, an adjusted one (the records
// then cannot serve), nine coefficients (above the bound for records), a
// point the model refuses (the first pass fails there) and y values that
// single precision does not hold (the passes then read the doubles).
TEST(ModelSplits, RefineToTheSameBits) {
    Values x, uncs(150, 0.05f);  // runs of 64, 64 and 22 points
    for (int i = 0; i < 150; ++i) x.push_back(1.5 + 0.2 * i);
    const struct { ModelId id; Values start; std::vector<unsigned char> mask; double firstX; int32_t status; bool single; } cases[] = {
        {LogLog, {0.6, 0.4, 0.1}, {1, 1, 1}, 1.5, kStatusOk, true},
        {LogLog, {0.6, 0.4, 0.1}, {1, 1, 1}, 1.5, kStatusOk, false},
        {LogLog, {0.6, 0.4, 0.1, 0, 0, 0, 0, 0, 0}, std::vector<unsigned char>(9, 1), 1.5, kStatusOk, true},
        {LogLog, {0.6, 0.4}, {1, 1}, 0.5, kStatusInvalidArgument, true},
        {LogInverse, {0.2, 0.5, -0.1}, {1, 1, 1}, 1.5, kStatusOk, true},
        {LogRatio, {6.0, 1.0, -1.2, 0.1}, {0, 1, 1, 1}, 1.5, kStatusOk, true},
        {LogRatio, {6.0, 1.0, -1.2}, {1, 1, 1}, 1.5, kStatusOk, true},
        {HalfPower, {0.5, 1.0, 0.2}, {1, 1, 1}, 1.5, kStatusOk, true},
    };
    for (const auto& k : cases) {
        Values xs = x, ys;
        xs[0] = k.firstX;
        for (double xi : x) {
            const double y = 1.8 * std::pow(xi, 1.4) * (1 + 0.01 * std::sin(7 * xi));
            ys.push_back(k.single ? static_cast<float>(y) : y);
        }
        FitRecords plain(xs, ys, uncs, k.start, k.mask), split(xs, ys, uncs, k.start, k.mask);
        std::vector<DataPoint> points;
        for (double xi : xs) points.push_back(DataPoint{xi, 0, 0, 0});
        const FitPointRecords records =
            preparePointRecords(k.id, points, k.start.data(), static_cast<int32_t>(k.start.size()));
        const ModelFunction model = dataModelFunction(k.id);
        EXPECT_EQ(fitNonlinear(&plain.data, &plain.parameters, &plain.solution, model, 0, 10, 1e-4), k.status);
        EXPECT_EQ(fitNonlinear(&split.data, &split.parameters, &split.solution, model, records.table(), 0, 10, 1e-4),
                  k.status);
        EXPECT_TRUE(split.values == plain.values && split.covariance.rows == plain.covariance.rows) << k.id;
        EXPECT_TRUE(split.solution.chiSquare == plain.solution.chiSquare &&
                    split.solution.sumSquares == plain.solution.sumSquares)
            << k.id;
        if (k.status == kStatusOk) {
            EXPECT_NE(split.values, k.start) << k.id;
        }
    }
}

}  // namespace
