#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "numeric/allocation.h"
#include "numeric/eigen_condition.h"
#include "numeric/matrix_inversion.h"
#include "numeric/status.h"

using namespace tallowfit;

namespace {

typedef std::vector<std::vector<double>> Rows;
typedef int32_t (*Inversion)(RowMatrix, int, RowMatrix, int);

// A matrix held in vectors, seen by the routines through a row table.
struct Held {
    Rows rows;
    std::vector<double*> table;
    explicit Held(const Rows& r) : rows(r) {
        for (auto& row : rows) table.push_back(row.data());
    }
    RowMatrix matrix() { return rows.empty() ? nullptr : table.data(); }
    int columns() const { return rows.empty() ? 0 : static_cast<int>(rows[0].size()); }
};

const Inversion kBoth[] = {invertMatrix, invertMatrixChecked};

struct ExactCase {
    const char* name;
    Rows a, b, inverse, solution;
};

// Hand-derived with every operation rounded: for [[2,1],[1,2]] the first pivot
// is the 2 at (1,1) (last of equal magnitudes), the second 1.5, whose
// reciprocal rounds to the double nearest 2/3, half of it the one nearest 1/3;
// 1.5 times it rounds up to 1. For [[1,3],[3,3]] the first pivot is the 3 at
// (1,1); 3 x (1/3) rounds to 1 and the 1/3 left at (1,1) loses 0.5 exactly, so
// (1,1) is 1.0/3 - 0.5, not the double nearest -1/6 that a strictly-greater
// tie rule would give. A permutation's inverse is its transpose; the cycle
// needs two column exchanges that do not commute.
const ExactCase kExactCases[] = {
    {"2,1;1,2", {{2, 1}, {1, 2}}, {{3}, {3}}, {{2.0 / 3, -1.0 / 3}, {-1.0 / 3, 2.0 / 3}}, {{1}, {1}}},
    {"ties", {{1, 3}, {3, 3}}, {{1}, {0}}, {{-0.5, 0.5}, {0.5, 1.0 / 3 - 0.5}}, {{-0.5}, {0.5}}},
    {"swap", {{0, 1}, {1, 0}}, {{5, 6}, {7, 8}}, {{0, 1}, {1, 0}}, {{7, 8}, {5, 6}}},
    {"cycle", {{0, 1, 0}, {0, 0, 1}, {1, 0, 0}}, {{1}, {2}, {3}}, {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}},
     {{3}, {1}, {2}}},
    {"4", {{4}}, {{2, 6}}, {{0.25}}, {{0.5, 1.5}}},
    {"identity", {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {{1}, {2}, {3}}, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
     {{1}, {2}, {3}}},
};

TEST(InvertMatrix, ExactInversesAndSolutions) {
    for (Inversion invert : kBoth)
        for (const ExactCase& e : kExactCases) {
            Held a(e.a), b(e.b);
            ASSERT_EQ(invert(a.matrix(), static_cast<int>(e.a.size()), b.matrix(), b.columns()),
                      kStatusOk) << e.name;
            EXPECT_EQ(a.rows, e.inverse) << e.name;
            EXPECT_EQ(b.rows, e.solution) << e.name;
        }
}

TEST(InvertMatrix, SingularMatricesAreRefused) {
    const double nan = std::nan("");
    const Rows singular[] = {{{0}}, {{1, 2}, {2, 4}}, {{1, 2, 3}, {0, 0, 0}, {4, 5, 6}}, {{nan, nan}, {nan, nan}}};
    for (Inversion invert : kBoth)
        for (const Rows& rows : singular) {
            Held a(rows);
            const long outstanding = allocationsOutstanding();
            EXPECT_EQ(invert(a.matrix(), static_cast<int>(rows.size()), nullptr, 0), kStatusIllConditioned);
            EXPECT_EQ(allocationsOutstanding(), outstanding);
        }
}

TEST(InvertMatrix, EmptyMatrixAndMissingRightHandSide) {
    for (Inversion invert : kBoth) {
        EXPECT_EQ(invert(nullptr, 0, nullptr, 0), kStatusOk);
        Held a({{2, 1}, {1, 2}}), b({{3}, {3}});
        EXPECT_EQ(invert(a.matrix(), 2, b.matrix(), 0), kStatusOk);  // m = 0: b takes no part
        EXPECT_EQ(b.rows, Rows({{3}, {3}}));
        EXPECT_EQ(a.rows, kExactCases[0].inverse);
    }
}

TEST(InvertMatrix, RandomWellConditionedMatricesGiveTheIdentity) {
    std::mt19937 random(20240611);
    std::uniform_real_distribution<double> element(-1.0, 1.0);
    for (Inversion invert : kBoth)
        for (int n = 1; n <= 8; ++n) {
            Rows rows(n, std::vector<double>(n));
            for (int i = 0; i < n; ++i)
                for (int j = 0; j < n; ++j) rows[i][j] = element(random) + (i == j ? n : 0.0);
            Held a(rows);
            ASSERT_EQ(invert(a.matrix(), n, nullptr, 0), kStatusOk);
            for (int i = 0; i < n; ++i)
                for (int j = 0; j < n; ++j) {
                    double product = 0.0;
                    for (int k = 0; k < n; ++k) product += rows[i][k] * a.rows[k][j];
                    EXPECT_NEAR(product, i == j ? 1.0 : 0.0, 1e-12) << n << ":" << i << "," << j;
                }
        }
}

// Eigenvalue ratios 1e17 (symmetric) and 2 : 0 (general, [[1,4],[1/4,1]] has
// eigenvalues 0 and 2) are refused before a or b is touched; 5e15 passes.
TEST(InvertMatrixChecked, EigenvalueFigureRefusesBeforeTouchingAnything) {
    for (const Rows& rows : {Rows{{1, 0}, {0, 1e-17}}, Rows{{1, 4}, {0.25, 1}}}) {
        Held a(rows), b({{1}, {1}});
        EXPECT_EQ(invertMatrixChecked(a.matrix(), 2, b.matrix(), 1), kStatusIllConditioned);
        EXPECT_EQ(a.rows, rows);
        EXPECT_EQ(b.rows, Rows({{1}, {1}}));
    }
    Held below({{1, 0}, {0, 2e-16}});
    EXPECT_EQ(invertMatrixChecked(below.matrix(), 2, nullptr, 0), kStatusOk);
    EXPECT_EQ(below.rows, Rows({{1, 0}, {0, 1 / 2e-16}}));
}

// [[1,1e17],[0,1]] has eigenvalues 1 and 1 (figure 0) but a norm product near
// 1e34: accepted by the eigenvalue test, refused by the fallback, which leaves
// the inverse in place.
TEST(InvertMatrixChecked, FallsBackToTheNormTestWhenEigenvaluesFail) {
    Held accepted({{1, 1e17}, {0, 1}}), refused({{1, 1e17}, {0, 1}});
    EXPECT_EQ(invertMatrixChecked(accepted.matrix(), 2, nullptr, 0), kStatusOk);
    failAllocationAt(2);  // the eigenvalue routine's first allocation
    EXPECT_EQ(invertMatrixChecked(refused.matrix(), 2, nullptr, 0), kStatusIllConditioned);
    failAllocationAt(0);
    EXPECT_EQ(refused.rows[1], std::vector<double>({0, 1}));
    EXPECT_NEAR(refused.rows[0][1] / -1e17, 1.0, 1e-15);

    // No convergence: the QL iteration cannot reduce an infinite coupling.
    // Inversion pivots on the infinities, whose reciprocals are 0, so the
    // inverse is all zeros and the norm product inf x 0 is NaN, which never
    // reaches the limit.
    const double inf = std::numeric_limits<double>::infinity();
    Held probe({{1, inf}, {inf, 1}}), infinite({{1, inf}, {inf, 1}});
    double eigenvalues[2], figure = 0;
    ASSERT_EQ(computeEigenvalueCondition(probe.matrix(), eigenvalues, 2, &figure, 1), kStatusNoConvergence);
    EXPECT_EQ(invertMatrixChecked(infinite.matrix(), 2, nullptr, 0), kStatusOk);
    EXPECT_EQ(infinite.rows, Rows({{0, 0}, {0, 0}}));
}

// Each allocation made fails in turn. The inversion's own working storage
// (the last three allocations) and the scratch array of the condition test
// (the first) give kStatusOutOfMemory with nothing touched; a failure inside
// the eigenvalue routine sends the checked inversion to the norm test.
TEST(InvertMatrix, AllocationFailuresLeakNothingAndTouchNothing) {
    const Rows rows = {{2, 1}, {1, 2}};
    for (Inversion invert : kBoth) {
        Held probe(rows);
        failAllocationAt(0);
        ASSERT_EQ(invert(probe.matrix(), 2, nullptr, 0), kStatusOk);
        const long made = allocationsMade();
        for (long k = 1; k <= made; ++k) {
            Held a(rows), b({{3}, {3}});
            const long outstanding = allocationsOutstanding();
            failAllocationAt(k);
            const int32_t status = invert(a.matrix(), 2, b.matrix(), 1);
            failAllocationAt(0);
            EXPECT_EQ(allocationsOutstanding(), outstanding) << k;
            const bool ownStorage = k == 1 || k > made - 3;
            EXPECT_EQ(status, ownStorage ? kStatusOutOfMemory : kStatusOk) << k;
            EXPECT_EQ(a.rows, ownStorage ? rows : kExactCases[0].inverse) << k;
        }
    }
}

}  // namespace
