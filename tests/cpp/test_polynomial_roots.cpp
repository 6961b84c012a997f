#include <cfenv>
#include <complex>
#include <random>

#include "numeric/hessenberg_qr.h"
#include "numeric/polynomial_roots.h"
#include "test_support.h"

using namespace tallowfit;

namespace {

constexpr double kSentinel = -777.0;

struct Roots {
    int32_t status;
    Values re, im;  // one slot more than the coefficients, sentinel where unwritten
};

Roots findRoots(const Values& c, int32_t count = -1) {
    Roots r{0, Values(c.size() + 1, kSentinel), Values(c.size() + 1, kSentinel)};
    if (count < 0) count = static_cast<int32_t>(c.size());
    r.status = computePolynomialRoots(c.data(), count, r.re.data(), r.im.data());
    return r;
}

// Hand-derived from the deflation formulas (p = 0 takes the negative sign);
// x^5 - 1 from cos and sin of multiples of 2pi/5, hence the tolerance; the
// 1,2,3 and (x+1)^3 values are those of the iteration carried out operation
// by operation in double precision. Nothing is written past the roots.
TEST(PolynomialRoots, RootsInDeflationOrder) {
    const struct { Values coefficients, re, im; double tolerance; } cases[] = {
        {{5.0}, {}, {}, 0}, {{1, 2}, {-0.5}, {0}, 0}, {{2, -3, 1}, {2, 1}, {0, 0}, 0},
        {{-1, 0, 1}, {-1, 1}, {0, 0}, 0}, {{1, 0, 1}, {0, 0}, {-1, 1}, 0}, {{0, 0, 1}, {0, 0}, {0, 0}, 0},
        {{-6, 11, -6, 1}, {2.9999999999999982, 2.000000000000004, 0.9999999999999977}, {0, 0, 0}, 0},
        {{1, 3, 3, 1}, {-1.0000101664358043, -0.9999949167820992, -0.9999949167820992},
         {0, -8.804309849268246e-06, 8.804309849268246e-06}, 0},
        {{-1, 0, 0, 0, 0, 1}, {-0.80901699437494745, -0.80901699437494745, 0.30901699437494745, 0.30901699437494745, 1},
         {-0.58778525229247314, 0.58778525229247314, -0.95105651629515353, 0.95105651629515353, 0}, 1e-12},
    };
    for (const auto& c : cases) {
        const Roots r = findRoots(c.coefficients);
        ASSERT_EQ(r.status, kStatusOk);
        for (size_t k = 0; k < c.re.size(); ++k) {
            EXPECT_NEAR(r.re[k], c.re[k], c.tolerance) << k << " of degree " << c.re.size();
            EXPECT_NEAR(r.im[k], c.im[k], c.tolerance) << k << " of degree " << c.re.size();
        }
        EXPECT_EQ(r.re[c.re.size()], kSentinel);
    }
}

// Refusals leave the outputs untouched. NaN never passes the negligibility
// test, so that block never deflates and all count entries read 0. Infinite
// companion entries once made balancing loop forever: these must return.
TEST(PolynomialRoots, RefusalsNoConvergenceAndNonFiniteInput) {
    const struct { Values c; int32_t count, status; } cases[] = {
        {{1}, 0, kStatusOutOfMemory}, {Values(26, 1.0), 26, kStatusInvalidArgument},
        {{1, 2, 0.0}, 3, kStatusInvalidArgument}, {{1, 2, -0.0}, 3, kStatusInvalidArgument},
    };
    for (const auto& c : cases) {
        const Roots r = findRoots(c.c, c.count);
        EXPECT_EQ(r.status, c.status) << c.count;
        EXPECT_TRUE(r.re == Values(c.c.size() + 1, kSentinel) && r.im == r.re) << c.count;
    }
    EXPECT_EQ(findRoots(Values(25, 1.0)).status, kStatusOk);
    const Roots r = findRoots({1, NAN, 1, 1});
    EXPECT_EQ(r.status, kStatusNoConvergence);
    EXPECT_EQ(Values(r.re.begin(), r.re.begin() + 4), Values(4, 0.0));
    EXPECT_EQ(Values(r.im.begin(), r.im.begin() + 4), Values(4, 0.0));
    for (const Values& c : {Values{1e308, 0, 1e-308}, Values{INFINITY, 1}, Values{NAN, 1}, Values{1, INFINITY, 1, 1}})
        findRoots(c);
}

// Zero diagonal and nonzeros only where i + j is odd: the spectrum is symmetric
// about 0, and the shifts, the fixed exceptional ones included, cycle without
// deflating. Balancing: f = 8 for row and column 0 of [[1, 100], [1, 1]]; the
// companion matrix of 2, -3, 1 is already balanced.
TEST(PolynomialRoots, HessenbergQrGivesUpAndBalancingScalesByPowersOfTwo) {
    Held h({{0, 90, 0, 300}, {-4e9, 0, -300, 0}, {0, -300, 0, 4e9}, {0, 0, -90, 0}});
    double re[4], im[4];
    EXPECT_EQ(hessenbergQrEigenvalues(h.matrix(), 4, re, im), kStatusNoConvergence);
    const struct { Rows in, out; } cases[] = {{{{1, 100}, {1, 1}}, {{1, 12.5}, {8, 1}}},
                                              {{{3, -2}, {1, 0}}, {{3, -2}, {1, 0}}}};
    for (const auto& c : cases) {
        Held a(c.in);
        balanceMatrix(a.matrix(), 2);
        EXPECT_EQ(a.rows, c.out);
    }
}

// Property: the roots of random products of (x - r) make the polynomial small
// relative to the sum of its terms' magnitudes.
TEST(PolynomialRoots, RandomPolynomialRootsHaveSmallResiduals) {
    std::mt19937 gen(7);
    std::uniform_real_distribution<double> root(-3.0, 3.0);
    for (int trial = 0; trial < 200; ++trial) {
        Values c = {1.0};  // ascending powers
        for (int d = 1; d <= 2 + trial % 7; ++d) {
            const double x0 = root(gen);
            c.push_back(0.0);
            for (size_t k = c.size() - 1; k > 0; --k) c[k] = c[k - 1] - x0 * c[k];
            c[0] = -x0 * c[0];
        }
        const Roots r = findRoots(c);
        ASSERT_EQ(r.status, kStatusOk);
        for (size_t k = 0; k + 1 < c.size(); ++k) {
            std::complex<double> z(r.re[k], r.im[k]), p(0.0), scale(0.0);
            for (size_t j = c.size(); j-- > 0;) p = p * z + c[j], scale = scale * std::abs(z) + std::abs(c[j]);
            EXPECT_LT(std::abs(p), 1e-9 * std::abs(scale)) << "trial " << trial;
        }
    }
}

TEST(PolynomialRoots, SuccessClearsFlagsAndFailureLeaksNothing) {
    std::feraiseexcept(FE_INEXACT | FE_UNDERFLOW);
    ASSERT_EQ(findRoots({-6, 11, -6, 1}).status, kStatusOk);
    EXPECT_EQ(std::fetestexcept(FE_ALL_EXCEPT), 0);
    forEachAllocationFailure([](long k, long) {
        const Roots r = findRoots({-6, 11, -6, 1});
        EXPECT_TRUE(k == 0 || (r.status == kStatusOutOfMemory && r.re == Values(5, kSentinel))) << k;
    });
}

}  // namespace
