#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "numeric/allocation.h"
#include "numeric/eigen_condition.h"
#include "numeric/status.h"

using namespace tallowfit;

namespace {

constexpr double kSentinel = -777.0;

struct Condition {
    int32_t status;
    double figure;
    std::vector<double> eigenvalues;
};

// Runs the estimate on a copy held in a RowMatrix and checks the input stayed
// as it was.
Condition estimate(const std::vector<std::vector<double>>& m, int32_t symmetric) {
    std::vector<std::vector<double>> a = m;
    std::vector<double*> rows;
    for (auto& row : a) rows.push_back(row.data());
    const int n = static_cast<int>(m.size());
    Condition c{0, kSentinel, std::vector<double>(n, kSentinel)};
    c.status = computeEigenvalueCondition(rows.data(), c.eigenvalues.data(), n, &c.figure, symmetric);
    for (int i = 0; i < n; ++i)  // bitwise, so that NaN entries compare too
        EXPECT_EQ(std::memcmp(a[i].data(), m[i].data(), n * sizeof(double)), 0) << "row " << i;
    return c;
}

struct ExactCase {
    const char* name;
    std::vector<std::vector<double>> matrix;
    int32_t symmetric;
    double figure;
    std::vector<double> eigenvalues;  // empty: not checked
};

const ExactCase kExactCases[] = {
    {"2,1;1,2 symmetric", {{2, 1}, {1, 2}}, 1, 0.4771212547196624, {3, 1.0000000000000002}},
    {"2,1;1,2 general", {{2, 1}, {1, 2}}, 0, 0.47712125471966244, {1, 3}},
    {"singular", {{1, 2}, {2, 4}}, 1, 1e10, {}},
    {"diag(1,1e-20)", {{1, 0}, {0, 1e-20}}, 1, 20, {}},
    {"rotation", {{0, 1}, {-1, 0}}, 0, 0, {1, 1}},
    {"identity 3 symmetric", {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, 1, 0, {1, 1, 1}},
    {"identity 4 general", {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}, 0, 0, {}},
    {"[-2.5] symmetric", {{-2.5}}, 1, 0, {-2.5}},
    {"[-2.5] general", {{-2.5}}, 0, 0, {2.5}},
    {"[0] symmetric", {{0}}, 1, 1e10, {}},
    {"[0] general", {{0}}, 0, 1e10, {}},
};

TEST(EigenCondition, ExactFiguresAndEigenvalues) {
    for (const ExactCase& e : kExactCases) {
        Condition c = estimate(e.matrix, e.symmetric);
        ASSERT_EQ(c.status, kStatusOk) << e.name;
        EXPECT_EQ(c.figure, e.figure) << e.name;
        if (!e.eigenvalues.empty()) {
            EXPECT_EQ(c.eigenvalues, e.eigenvalues) << e.name;
        }
    }
}

TEST(EigenCondition, NoConvergenceLeavesFigureUnwritten) {
    const double nan = std::nan("");
    for (int32_t symmetric : {0, 1}) {
        Condition c = estimate({{1, nan, 0}, {nan, 1, 2}, {0, 2, 1}}, symmetric);
        EXPECT_EQ(c.status, kStatusNoConvergence) << symmetric;
        EXPECT_EQ(c.figure, kSentinel);
        if (!symmetric) {
            EXPECT_EQ(c.eigenvalues, std::vector<double>(3, kSentinel));
        }
    }
}

TEST(EigenCondition, RandomSymmetricMatricesAgreeAcrossMethods) {
    std::mt19937 gen(11);
    std::uniform_real_distribution<double> element(-1.0, 1.0);
    for (int trial = 0; trial < 200; ++trial) {
        const int n = 2 + trial % 8;
        std::vector<std::vector<double>> m(n, std::vector<double>(n));
        double trace = 0.0;
        for (int i = 0; i < n; ++i) {
            for (int j = 0; j <= i; ++j) m[i][j] = m[j][i] = element(gen);
            trace += m[i][i];
        }
        Condition symmetric = estimate(m, 1);
        Condition general = estimate(m, 0);
        ASSERT_EQ(symmetric.status, kStatusOk);
        ASSERT_EQ(general.status, kStatusOk);
        double sum = 0.0;
        for (double v : symmetric.eigenvalues) sum += v;
        EXPECT_NEAR(sum, trace, 1e-12 * n) << trial;
        EXPECT_NEAR(symmetric.figure, general.figure, 1e-10) << trial;
    }
}

TEST(EigenCondition, AllocationFailureLeaksNothingAndWritesNothing) {
    const std::vector<std::vector<double>> m = {{4, 1, 2}, {1, 3, 0}, {2, 0, 5}};
    for (int32_t symmetric : {0, 1}) {
        failAllocationAt(0);
        ASSERT_EQ(estimate(m, symmetric).status, kStatusOk);
        const long made = allocationsMade();
        for (long k = 1; k <= made; ++k) {
            const long before = allocationsOutstanding();
            failAllocationAt(k);
            Condition c = estimate(m, symmetric);
            failAllocationAt(0);
            EXPECT_EQ(c.status, kStatusOutOfMemory) << k;
            EXPECT_EQ(allocationsOutstanding(), before) << k;
            EXPECT_EQ(c.figure, kSentinel);
            EXPECT_EQ(c.eigenvalues, std::vector<double>(3, kSentinel));
        }
    }
}

}  // namespace
