#include <cstring>
#include <random>

#include "numeric/eigen_condition.h"
#include "test_support.h"

using namespace tallowfit;

namespace {

constexpr double kSentinel = -777.0;

struct Condition {
    int32_t status;
    double figure;
    Values eigenvalues;
};

// Runs the estimate on a held copy and checks, bitwise so that NaN entries
// compare too, that the input stayed as it was.
Condition estimate(const Rows& m, int32_t symmetric) {
    Held a(m);
    const int n = static_cast<int>(m.size());
    Condition c{0, kSentinel, Values(n, kSentinel)};
    c.status = computeEigenvalueCondition(a.matrix(), c.eigenvalues.data(), n, &c.figure, symmetric);
    for (int i = 0; i < n; ++i) EXPECT_EQ(std::memcmp(a.rows[i].data(), m[i].data(), n * sizeof(double)), 0) << i;
    return c;
}

// Empty eigenvalues: not checked. A NaN coupling never becomes negligible:
// the figure stays unwritten, and for the general method the eigenvalues too.
TEST(EigenCondition, ExactFiguresEigenvaluesAndNoConvergence) {
    const Values unwritten(3, kSentinel);
    const struct { Rows matrix; int32_t symmetric, status; double figure; Values eigenvalues; } cases[] = {
        {{{2, 1}, {1, 2}}, 1, kStatusOk, 0.4771212547196624, {3, 1.0000000000000002}},
        {{{2, 1}, {1, 2}}, 0, kStatusOk, 0.47712125471966244, {1, 3}},
        {{{1, 2}, {2, 4}}, 1, kStatusOk, 1e10, {}}, {{{1, 0}, {0, 1e-20}}, 1, kStatusOk, 20, {}},
        {{{0, 1}, {-1, 0}}, 0, kStatusOk, 0, {1, 1}}, {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, 1, kStatusOk, 0, {1, 1, 1}},
        {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}, 0, kStatusOk, 0, {}},
        {{{-2.5}}, 1, kStatusOk, 0, {-2.5}}, {{{-2.5}}, 0, kStatusOk, 0, {2.5}},
        {{{0}}, 1, kStatusOk, 1e10, {}}, {{{0}}, 0, kStatusOk, 1e10, {}},
        {{{1, NAN, 0}, {NAN, 1, 2}, {0, 2, 1}}, 1, kStatusNoConvergence, kSentinel, {}},
        {{{1, NAN, 0}, {NAN, 1, 2}, {0, 2, 1}}, 0, kStatusNoConvergence, kSentinel, unwritten},
    };
    for (const auto& e : cases) {
        const Condition c = estimate(e.matrix, e.symmetric);
        EXPECT_EQ(c.status, e.status) << e.figure;
        EXPECT_EQ(c.figure, e.figure);
        EXPECT_TRUE(e.eigenvalues.empty() || c.eigenvalues == e.eigenvalues) << e.figure;
    }
}

// Property: both methods agree on random symmetric matrices, whose symmetric
// eigenvalues sum to the trace.
TEST(EigenCondition, RandomSymmetricMatricesAgreeAcrossMethods) {
    std::mt19937 gen(11);
    std::uniform_real_distribution<double> element(-1.0, 1.0);
    for (int trial = 0; trial < 200; ++trial) {
        const int n = 2 + trial % 8;
        Rows m(n, Values(n));
        double trace = 0.0, sum = 0.0;
        for (int i = 0; i < n; trace += m[i][i], ++i)
            for (int j = 0; j <= i; ++j) m[i][j] = m[j][i] = element(gen);
        const Condition symmetric = estimate(m, 1), general = estimate(m, 0);
        ASSERT_TRUE(symmetric.status == kStatusOk && general.status == kStatusOk);
        for (double v : symmetric.eigenvalues) sum += v;
        EXPECT_NEAR(sum, trace, 1e-12 * n) << trial;
        EXPECT_NEAR(symmetric.figure, general.figure, 1e-10) << trial;
    }
}

TEST(EigenCondition, AllocationFailureLeaksNothingAndWritesNothing) {
    for (int32_t symmetric : {0, 1})
        forEachAllocationFailure([&](long k, long) {
            const Condition c = estimate({{4, 1, 2}, {1, 3, 0}, {2, 0, 5}}, symmetric);
            EXPECT_TRUE(k == 0 || (c.status == kStatusOutOfMemory && c.figure == kSentinel &&
                                   c.eigenvalues == Values(3, kSentinel))) << k;
        });
}

}  // namespace
