#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <complex>
#include <limits>
#include <random>
#include <vector>

#include "numeric/allocation.h"
#include "numeric/polynomial_roots.h"
#include "numeric/status.h"

using namespace tallowfit;

namespace {

constexpr double kSentinel = -777.0;
const double kInf = std::numeric_limits<double>::infinity();
const double kNan = std::numeric_limits<double>::quiet_NaN();

struct Roots {
    int32_t status;
    std::vector<double> re, im;  // count elements each, sentinel where unwritten
};

Roots findRoots(const std::vector<double>& c, int32_t count) {
    Roots r{0, std::vector<double>(c.size() + 1, kSentinel), std::vector<double>(c.size() + 1, kSentinel)};
    r.status = computePolynomialRoots(c.data(), count, r.re.data(), r.im.data());
    return r;
}
Roots findRoots(const std::vector<double>& c) { return findRoots(c, static_cast<int32_t>(c.size())); }

struct RootCase {
    std::vector<double> coefficients, re, im;
    double tolerance;  // 0: bit-exact
};

// Hand-derived from the deflation formulas; x^5 - 1 from cos and sin of
// multiples of 2pi/5; the 1,2,3 and (x+1)^3 values are those of the iteration
// carried out operation by operation in double precision.
const RootCase kRootCases[] = {
    {{5.0}, {}, {}, 0},
    {{1, 2}, {-0.5}, {0}, 0},
    {{2, -3, 1}, {2, 1}, {0, 0}, 0},
    {{-1, 0, 1}, {-1, 1}, {0, 0}, 0},
    {{1, 0, 1}, {0, 0}, {-1, 1}, 0},
    {{0, 0, 1}, {0, 0}, {0, 0}, 0},
    {{-6, 11, -6, 1}, {2.9999999999999982, 2.000000000000004, 0.9999999999999977}, {0, 0, 0}, 0},
    {{1, 3, 3, 1},
     {-1.0000101664358043, -0.9999949167820992, -0.9999949167820992},
     {0, -8.804309849268246e-06, 8.804309849268246e-06}, 0},
    {{-1, 0, 0, 0, 0, 1},
     {-0.80901699437494745, -0.80901699437494745, 0.30901699437494745, 0.30901699437494745, 1},
     {-0.58778525229247314, 0.58778525229247314, -0.95105651629515353, 0.95105651629515353, 0},
     1e-12},
};

TEST(PolynomialRoots, RootsInDeflationOrder) {
    for (const RootCase& c : kRootCases) {
        Roots r = findRoots(c.coefficients);
        ASSERT_EQ(r.status, kStatusOk);
        for (size_t k = 0; k < c.re.size(); ++k) {
            EXPECT_NEAR(r.re[k], c.re[k], c.tolerance) << "root " << k << " of degree " << c.re.size();
            EXPECT_NEAR(r.im[k], c.im[k], c.tolerance) << "root " << k << " of degree " << c.re.size();
        }
        EXPECT_EQ(r.re[c.re.size()], kSentinel);  // element count-1 is never written
    }
}

TEST(PolynomialRoots, RefusedInputLeavesOutputsUntouched) {
    const struct { std::vector<double> c; int32_t count; int32_t status; } cases[] = {
        {{1}, 0, kStatusOutOfMemory},
        {std::vector<double>(26, 1.0), 26, kStatusInvalidArgument},
        {{1, 2, 0.0}, 3, kStatusInvalidArgument},
        {{1, 2, -0.0}, 3, kStatusInvalidArgument},
    };
    for (const auto& c : cases) {
        Roots r = findRoots(c.c, c.count);
        EXPECT_EQ(r.status, c.status) << c.count;
        for (double v : r.re) EXPECT_EQ(v, kSentinel);
        for (double v : r.im) EXPECT_EQ(v, kSentinel);
    }
    EXPECT_EQ(findRoots(std::vector<double>(25, 1.0)).status, kStatusOk);
}

TEST(PolynomialRoots, NonFiniteCoefficientsAlwaysReturn) {
    // Infinite companion entries once made balancing loop forever.
    const std::vector<double> cases[] = {{1e308, 0, 1e-308}, {kInf, 1}, {kNan, 1}, {1, kNan}, {1, kInf, 1, 1}};
    for (const auto& c : cases) findRoots(c);
}

TEST(PolynomialRoots, NoConvergenceZeroesEveryOutput) {
    // NaN never passes the negligibility test, so the block never deflates.
    Roots r = findRoots({1, kNan, 1, 1});
    EXPECT_EQ(r.status, kStatusNoConvergence);
    for (int k = 0; k < 4; ++k) EXPECT_TRUE(r.re[k] == 0.0 && r.im[k] == 0.0) << k;
}

TEST(PolynomialRoots, HessenbergQrGivesUpAfterThirtySteps) {
    // Zero diagonal and nonzeros only where i + j is odd: the spectrum is
    // symmetric about 0, a known case where the shifts, the fixed exceptional
    // ones included, cycle without deflating.
    std::vector<std::vector<double>> h = {
        {0, 90, 0, 300}, {-4e9, 0, -300, 0}, {0, -300, 0, 4e9}, {0, 0, -90, 0}};
    double* rows[] = {h[0].data(), h[1].data(), h[2].data(), h[3].data()};
    double re[4], im[4];
    EXPECT_EQ(hessenbergQrEigenvalues(rows, 4, re, im), kStatusNoConvergence);
}

TEST(PolynomialRoots, BalancingScalesByPowersOfTwo) {
    const struct { std::vector<double> in, out; } cases[] = {
        {{1, 100, 1, 1}, {1, 12.5, 8, 1}},  // f = 8 for row and column 0
        {{3, -2, 1, 0}, {3, -2, 1, 0}},     // companion of 2, -3, 1 is already balanced
    };
    for (const auto& c : cases) {
        std::vector<double> a = c.in;
        double* rows[] = {&a[0], &a[2]};
        balanceMatrix(rows, 2);
        EXPECT_EQ(a, c.out);
    }
}

TEST(PolynomialRoots, RandomPolynomialRootsHaveSmallResiduals) {
    std::mt19937 gen(7);
    std::uniform_real_distribution<double> root(-3.0, 3.0);
    for (int trial = 0; trial < 200; ++trial) {
        std::vector<double> c = {1.0};  // product of (x - root), ascending powers
        for (int d = 1; d <= 2 + trial % 7; ++d) {
            const double x0 = root(gen);
            c.push_back(0.0);
            for (size_t k = c.size() - 1; k > 0; --k) c[k] = c[k - 1] - x0 * c[k];
            c[0] = -x0 * c[0];
        }
        Roots r = findRoots(c);
        ASSERT_EQ(r.status, kStatusOk);
        for (size_t k = 0; k + 1 < c.size(); ++k) {
            std::complex<double> z(r.re[k], r.im[k]), p(0.0), scale(0.0);
            for (size_t j = c.size(); j-- > 0;) {
                p = p * z + c[j];
                scale = scale * std::abs(z) + std::abs(c[j]);
            }
            EXPECT_LT(std::abs(p), 1e-9 * std::abs(scale)) << "trial " << trial;
        }
    }
}

TEST(PolynomialRoots, SuccessClearsFlagsAndFailureLeaksNothing) {
    const std::vector<double> c = {-6, 11, -6, 1};
    double re[4], im[4];
    std::feraiseexcept(FE_INEXACT | FE_UNDERFLOW);
    ASSERT_EQ(computePolynomialRoots(c.data(), 4, re, im), kStatusOk);
    EXPECT_EQ(std::fetestexcept(FE_ALL_EXCEPT), 0);
    failAllocationAt(0);
    computePolynomialRoots(c.data(), 4, re, im);
    const long made = allocationsMade();
    for (long k = 1; k <= made; ++k) {
        const long before = allocationsOutstanding();
        failAllocationAt(k);
        Roots r = findRoots(c);
        failAllocationAt(0);
        EXPECT_EQ(r.status, kStatusOutOfMemory) << k;
        EXPECT_EQ(allocationsOutstanding(), before) << k;
        for (double v : r.re) EXPECT_EQ(v, kSentinel);
    }
}

}  // namespace
