#include <limits>
#include <random>

#include "numeric/matrix_inversion.h"
#include "test_support.h"

using namespace tallowfit;

namespace {

typedef int32_t (*Inversion)(RowMatrix, int, RowMatrix, int);
const Inversion kBoth[] = {invertMatrix, invertMatrixChecked};
const Rows kInverseOf2112 = {{2.0 / 3, -1.0 / 3}, {-1.0 / 3, 2.0 / 3}};

int32_t invert(Inversion inversion, Held& a, Held& b) {
    const int columns = b.rows.empty() ? 0 : static_cast<int>(b.rows[0].size());
    return inversion(a.matrix(), static_cast<int>(a.rows.size()), b.matrix(), columns);
}

// Hand-derived with every operation rounded: for [[2,1],[1,2]] the first pivot
// is the 2 at (1,1) (last of equal magnitudes), the second 1.5, whose
// reciprocal rounds to the double nearest 2/3, half of it the one nearest 1/3.
// For [[1,3],[3,3]] the first pivot is the 3 at (1,1); 3 x (1/3) rounds to 1
// and the 1/3 left at (1,1) loses 0.5 exactly, so (1,1) is 1.0/3 - 0.5, not the
// double nearest -1/6 that a strictly-greater tie rule would give. A
// permutation's inverse is its transpose; the cycle needs two column exchanges
// that do not commute. Empty b: only a is inverted.
TEST(InvertMatrix, ExactInversesSolutionsAndRefusals) {
    const struct { Rows a, b, inverse, solution; int32_t status; } cases[] = {
        {{{2, 1}, {1, 2}}, {{3}, {3}}, kInverseOf2112, {{1}, {1}}, kStatusOk},
        {{{1, 3}, {3, 3}}, {{1}, {0}}, {{-0.5, 0.5}, {0.5, 1.0 / 3 - 0.5}}, {{-0.5}, {0.5}}, kStatusOk},
        {{{0, 1}, {1, 0}}, {{5, 6}, {7, 8}}, {{0, 1}, {1, 0}}, {{7, 8}, {5, 6}}, kStatusOk},
        {{{0, 1, 0}, {0, 0, 1}, {1, 0, 0}}, {{1}, {2}, {3}}, {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}},
         {{3}, {1}, {2}}, kStatusOk},
        {{{4}}, {{2, 6}}, {{0.25}}, {{0.5, 1.5}}, kStatusOk},
        {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {{1}, {2}, {3}}, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
         {{1}, {2}, {3}}, kStatusOk},
        {{{2, 1}, {1, 2}}, {}, kInverseOf2112, {}, kStatusOk}, {{}, {}, {}, {}, kStatusOk},
        {{{0}}, {}, {}, {}, kStatusIllConditioned}, {{{1, 2}, {2, 4}}, {}, {}, {}, kStatusIllConditioned},
        {{{1, 2, 3}, {0, 0, 0}, {4, 5, 6}}, {}, {}, {}, kStatusIllConditioned},
        {{{NAN, NAN}, {NAN, NAN}}, {}, {}, {}, kStatusIllConditioned},
    };
    for (Inversion inversion : kBoth)
        for (const auto& e : cases) {
            Held a(e.a), b(e.b);
            const long outstanding = allocationsOutstanding();
            ASSERT_EQ(invert(inversion, a, b), e.status) << e.a.size();
            EXPECT_EQ(allocationsOutstanding(), outstanding);
            EXPECT_TRUE(e.status != kStatusOk || (a.rows == e.inverse && b.rows == e.solution)) << e.a.size();
        }
}

// Property: A times its inverse is the identity for diagonally dominant A.
TEST(InvertMatrix, RandomWellConditionedMatricesGiveTheIdentity) {
    std::mt19937 random(20240611);
    std::uniform_real_distribution<double> element(-1.0, 1.0);
    for (Inversion inversion : kBoth)
        for (int n = 1; n <= 8; ++n) {
            Rows rows(n, Values(n)), product(n, Values(n, 0.0)), identity(n, Values(n, 0.0));
            for (int i = 0; i < n; identity[i][i] = 1.0, ++i)
                for (int j = 0; j < n; ++j) rows[i][j] = element(random) + (i == j ? n : 0.0);
            Held a(rows), none({});
            ASSERT_EQ(invert(inversion, a, none), kStatusOk);
            for (int i = 0; i < n; ++i)
                for (int j = 0; j < n; ++j)
                    for (int k = 0; k < n; ++k) product[i][j] += rows[i][k] * a.rows[k][j];
            expectNear(product, identity, 1e-12);
        }
}

// Eigenvalue ratios 1e17 (symmetric) and 2 : 0 (general: [[1,4],[1/4,1]] has
// eigenvalues 0 and 2) are refused before a or b is touched; 5e15 passes.
// [[1,1e17],[0,1]] has eigenvalues 1 and 1 but a norm product near 1e34: with
// the eigenvalue routine failing, the norm test refuses it, leaving the inverse.
// [[1,inf],[inf,1]] defeats the QL iteration; its inverse is all zeros (the
// pivots' reciprocals), and the NaN norm product never reaches the limit.
TEST(InvertMatrixChecked, EigenvalueFigureThenNormTest) {
    const double inf = std::numeric_limits<double>::infinity();
    const struct { Rows a; long failing; int32_t status; Rows after; } cases[] = {
        {{{1, 0}, {0, 1e-17}}, 0, kStatusIllConditioned, {{1, 0}, {0, 1e-17}}},
        {{{1, 4}, {0.25, 1}}, 0, kStatusIllConditioned, {{1, 4}, {0.25, 1}}},
        {{{1, 0}, {0, 2e-16}}, 0, kStatusOk, {{1, 0}, {0, 1 / 2e-16}}},
        {{{1, 1e17}, {0, 1}}, 0, kStatusOk, {{1, -1e17}, {0, 1}}},
        {{{1, 1e17}, {0, 1}}, 2, kStatusIllConditioned, {{1, -1e17}, {0, 1}}},  // eigen routine's first
        {{{1, inf}, {inf, 1}}, 0, kStatusOk, {{0, 0}, {0, 0}}},
    };
    for (const auto& c : cases) {
        Held a(c.a), b({{1}, {1}});
        failAllocationAt(c.failing);
        EXPECT_EQ(invert(invertMatrixChecked, a, b), c.status) << c.a[0][1];
        failAllocationAt(0);
        EXPECT_EQ(a.rows, c.after) << c.a[0][1];
        EXPECT_TRUE(c.status == kStatusOk || c.failing || b.rows == Rows({{1}, {1}}));  // refused untouched
    }
}

// The inversion's own working storage (the last three allocations) and the
// condition test's scratch array (the first) give kStatusOutOfMemory with
// nothing touched; a failure inside the eigenvalue routine sends the checked
// inversion to the norm test, which succeeds.
TEST(InvertMatrix, AllocationFailuresLeakNothingAndTouchNothing) {
    for (Inversion inversion : kBoth)
        forEachAllocationFailure([&](long k, long made) {
            Held a({{2, 1}, {1, 2}}), b({{3}, {3}});
            const bool ownStorage = k == 1 || (k > 0 && k > made - 3);
            EXPECT_EQ(invert(inversion, a, b), ownStorage ? kStatusOutOfMemory : kStatusOk) << k;
            EXPECT_EQ(a.rows, ownStorage ? Rows({{2, 1}, {1, 2}}) : kInverseOf2112) << k;
        });
}

}  // namespace
