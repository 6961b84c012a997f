#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "fit/models.h"
#include "numeric/status.h"

using namespace tallowfit;

namespace {

const double kSentinel = -12345.0;

struct Call {
    int32_t status;
    double y;
    std::vector<double> derivatives;  // count entries, then the sentinel slot
};

Call call(ModelFunction f, double x, std::vector<double> c, bool withDerivatives) {
    std::vector<double> d(c.size() + 1, kSentinel);
    ModelEvaluation e = {c.data(), withDerivatives ? d.data() : nullptr,
                         static_cast<int32_t>(c.size())};
    Call result = {0, 0.0, {}};
    result.status = f(x, &e, &result.y);
    result.derivatives = d;
    return result;
}

struct ValueCase {
    const char* name;
    ModelFunction f;
    double x;
    std::vector<double> c;
    double y;
    std::vector<double> d;
};

TEST(ModelFunctions, ValuesAndDerivatives) {
    const double e = std::exp(1.0);
    const double ln10 = 2.302585092994046;
    const ValueCase cases[] = {
        {"LogLog at e", evalLogLog, e, {0, 1}, e, {e, e}},
        {"LogInverse constant 2", evalLogInverse, 2.0, {0, 2}, 100.0, {2 * ln10 * 100, ln10 * 100}},
        {"LogInverse constant 2 at 7", evalLogInverse, 7.0, {0, 2}, 100.0,
         {7 * ln10 * 100, ln10 * 100}},
        {"LogRatio n=2 ignores x", evalLogRatio, -3.0, {2.5, 1.0}, e, {1, e}},
        {"LogRatio at reference x", evalLogRatio, 2.5, {2.5, 1.0, 7.0}, e, {1, e, 0}},
        {"HalfPower at 0", evalHalfPower, 0.0, {3, 5}, 3.0, {1, 0}},
        {"HalfPower at 4", evalHalfPower, 4.0, {1, 2, 3}, 17.0, {1, 2, 4}},
        {"RootPolynomial (4)", evalRootPolynomial, 9.0, {4}, 2.0, {0.25}},
        {"RootPolynomial (0, 0.25)", evalRootPolynomial, 4.0, {0, 0.25}, 1.0, {0.5, 2.0}},
        {"Polynomial", evalPolynomial, 2.0, {1, 2, 3}, 17.0, {1, 2, 4}},
        {"LogLogTransformed", evalLogLogTransformed, 3.0, {1, 2}, 7.0, {1, 3}},
        {"LogRatioTransformed", evalLogRatioTransformed, 2.0, {7, 2, 3}, 8.0, {0, 1, 2}},
        {"LogRatioTransformed c[0] alone", evalLogRatioTransformed, 2.0, {7}, 0.0, {0}},
        {"LogInverseTransformed", evalLogInverseTransformed, 0.5, {1, 2, 3}, 5.5, {2, 1, 0.5}},
        {"LogInverseTransformed n=1", evalLogInverseTransformed, 0.5, {1}, 2.0, {2}},
    };
    for (const ValueCase& k : cases) {
        SCOPED_TRACE(k.name);
        const Call plain = call(k.f, k.x, k.c, false);
        EXPECT_EQ(plain.status, kStatusOk);
        EXPECT_EQ(plain.y, k.y);
        const Call full = call(k.f, k.x, k.c, true);
        EXPECT_EQ(full.status, kStatusOk);
        EXPECT_EQ(full.y, k.y);
        for (std::size_t i = 0; i < k.d.size(); ++i) EXPECT_EQ(full.derivatives[i], k.d[i]) << i;
        EXPECT_EQ(full.derivatives[k.c.size()], kSentinel);  // nothing written past count
    }
}

struct RefusalCase {
    const char* name;
    ModelFunction f;
    double x;
    std::vector<double> c;
    bool withDerivatives;
};

TEST(ModelFunctions, DomainRefusals) {
    const RefusalCase cases[] = {
        {"LogLog x=1", evalLogLog, 1.0, {1, 1}, false},
        {"LogLog x=0.5", evalLogLog, 0.5, {1, 1}, false},
        {"LogLog x=0", evalLogLog, 0.0, {1, 1}, false},
        {"LogLogTransformed t=0", evalLogLogTransformed, 0.0, {1, 1}, false},
        {"LogLogTransformed t<0", evalLogLogTransformed, -0.5, {1, 1}, false},
        {"LogInverse x=0", evalLogInverse, 0.0, {0, 2}, false},
        {"LogInverse x<0", evalLogInverse, -1.0, {0, 2}, false},
        {"LogRatio n=1", evalLogRatio, 2.0, {2}, false},
        {"LogRatio x=0", evalLogRatio, 0.0, {2, 1}, false},
        {"HalfPower x=-1", evalHalfPower, -1.0, {1, 1}, false},
        {"RootPolynomial negative", evalRootPolynomial, 1.0, {-1}, false},
        {"RootPolynomial zero root", evalRootPolynomial, 1.0, {0}, true},
        {"LogInverseTransformed t=0", evalLogInverseTransformed, 0.0, {1, 2}, false},
        {"Polynomial n=0", evalPolynomial, 1.0, {}, false},
        {"LogInverse n=0", evalLogInverse, 1.0, {}, false},
        {"LogLog n=0", evalLogLog, 3.0, {}, false},
        {"HalfPower n=0", evalHalfPower, 1.0, {}, false},
        {"RootPolynomial n=0", evalRootPolynomial, 1.0, {}, false},
        {"LogRatioTransformed n=0", evalLogRatioTransformed, 1.0, {}, false},
    };
    for (const RefusalCase& k : cases)
        EXPECT_EQ(call(k.f, k.x, k.c, k.withDerivatives).status, kStatusInvalidArgument) << k.name;
}

TEST(ModelFunctions, MissingRecordOrOutputIsRefused) {
    const ModelFunction all[] = {evalPolynomial,          evalLogInverse,        evalLogLog,
                                 evalLogRatio,            evalHalfPower,         evalRootPolynomial,
                                 evalLogInverseTransformed, evalLogLogTransformed,
                                 evalLogRatioTransformed};
    const double c[] = {2.0, 1.0};
    const ModelEvaluation e = {c, nullptr, 2};
    double y = 0.0;
    for (ModelFunction f : all) {
        EXPECT_EQ(f(2.0, nullptr, &y), kStatusInvalidArgument);
        EXPECT_EQ(f(2.0, &e, nullptr), kStatusInvalidArgument);
    }
}

TEST(ModelFunctions, RootPolynomialZeroWithoutDerivativesIsZero) {
    const Call r = call(evalRootPolynomial, 1.0, {0}, false);
    EXPECT_EQ(r.status, kStatusOk);
    EXPECT_EQ(r.y, 0.0);
}

TEST(ModelFunctions, NanArgumentPassesDomainTests) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Call r = call(evalLogInverse, nan, {1, 2}, false);
    EXPECT_EQ(r.status, kStatusOk);
    EXPECT_TRUE(std::isnan(r.y));
}

// The first LogInverse term is c[0]*pow(1/x, -1); at this x that power is not x
// itself, so the exact value tells the two readings apart.
TEST(ModelFunctions, LogInverseFirstTermGoesThroughPow) {
    const double x = 0.24285714285714285;
    const double viaPow = std::pow(10.0, std::pow(1.0 / x, -1.0));
    ASSERT_NE(viaPow, std::pow(10.0, x));
    EXPECT_EQ(call(evalLogInverse, x, {1}, false).y, viaPow);
}

// The transformed function at the transformed x is the log of the data value.
TEST(ModelFunctions, TransformedSpacePairsWithDataSpace) {
    const std::vector<double> c = {1.5, 0.3, -0.2, 0.05};
    for (double x : {1.5, 2.0, 3.7}) {
        EXPECT_NEAR(call(evalLogInverseTransformed, 1.0 / x, c, false).y,
                    std::log10(call(evalLogInverse, x, c, false).y), 1e-12);
        EXPECT_NEAR(call(evalLogLogTransformed, std::log(x), c, false).y,
                    std::log(call(evalLogLog, x, c, false).y), 1e-12);
        EXPECT_NEAR(call(evalLogRatioTransformed, std::log(c[0] / x), c, false).y,
                    std::log(call(evalLogRatio, x, c, false).y), 1e-12);
    }
}

TEST(ModelSelectors, MapIdsToFunctions) {
    const ModelFunction data[] = {evalLogInverse, evalLogLog, evalLogRatio, nullptr,
                                  evalHalfPower, evalRootPolynomial, evalPolynomial};
    const ModelFunction transformed[] = {evalLogInverseTransformed, evalLogLogTransformed,
                                         evalLogRatioTransformed, nullptr, evalPolynomial,
                                         evalPolynomial, evalPolynomial};
    for (ModelId id = 0; id < 7; ++id) {
        if (id == Dual) continue;
        EXPECT_EQ(dataModelFunction(id), data[id]) << id;
        EXPECT_EQ(transformedModelFunction(id), transformed[id]) << id;
    }
}

TEST(ModelSelectors, ThrowForDualAndUnknownIds) {
    const std::string message =
        "Invalid argument.  There is no function associated with this mathematical model.";
    for (ModelId id : {ModelId(Dual), ModelId(7), ModelId(-1)}) {
        for (auto selector : {dataModelFunction, transformedModelFunction}) {
            try {
                selector(id);
                ADD_FAILURE() << "no throw for " << id;
            } catch (const std::invalid_argument& error) {
                EXPECT_EQ(error.what(), message);
            }
        }
    }
}

}  // namespace
