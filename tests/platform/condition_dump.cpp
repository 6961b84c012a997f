// Writes, for a seeded series of square matrices, the eigenvalue condition
// results and both inversions as hexadecimal floats, in the line format of
// identity_run.py, so that builds for different platforms can be compared bit
// for bit by identity_compare.py:
//   condition         status, eigenvalues (or moduli), largest/smallest modulus
//   condition-figure  the log10 figure (goes through the C library's log10)
//   inverse           status, inverse and solution, unchecked and checked
// Usage: condition_dump SEED COUNT
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "numeric/eigen_condition.h"
#include "numeric/matrix_inversion.h"
#include "numeric/row_matrix.h"

namespace {

using tallowfit::RowMatrix;

// 64-bit linear congruential generator (Knuth's MMIX constants): integer
// arithmetic only, so the series is the same on every platform.
struct Generator {
    uint64_t state;
    uint64_t next() {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return state >> 11;
    }
    int below(int n) { return static_cast<int>(next() % static_cast<uint64_t>(n)); }
    // m * 2^e with a short signed mantissa: exact whatever the arithmetic.
    double dyadic(int bits, int low, int high) {
        const int64_t m = static_cast<int64_t>(next() % (2ull << bits)) - (1ll << bits);
        return std::ldexp(static_cast<double>(m), low + below(high - low + 1));
    }
};

typedef std::vector<std::vector<double>> Matrix;

bool isSymmetricKind(int kind) { return kind == 1 || kind == 2 || kind == 8; }

Matrix makeMatrix(Generator& g, int kind, int n) {
    Matrix a(n, std::vector<double>(n, 0.0));
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            a[i][j] = g.dyadic(20, -8, 8);
        }
    }
    switch (kind) {
        case 1:  // symmetric
            for (int i = 0; i < n; ++i) {
                for (int j = 0; j < i; ++j) a[j][i] = a[i][j];
            }
            break;
        case 2:  // Hilbert
            for (int i = 0; i < n; ++i) {
                for (int j = 0; j < n; ++j) a[i][j] = 1.0 / (i + j + 1);
            }
            break;
        case 3:  // singular: a repeated row
            if (n > 1) a[n - 1] = a[0];
            break;
        case 4:  // diagonal with a wide spread
            for (int i = 0; i < n; ++i) {
                for (int j = 0; j < n; ++j) a[i][j] = i == j ? std::ldexp(1.0 + i, g.below(120) - 60) : 0.0;
            }
            break;
        case 5:  // nearly singular: a repeated row moved by one unit in the last place
            if (n > 1) {
                const int j = g.below(n);
                a[n - 1] = a[0];
                a[n - 1][j] = std::nextafter(a[0][j], INFINITY);
            }
            break;
        case 6:  // zero
            a.assign(n, std::vector<double>(n, 0.0));
            break;
        case 7:  // a special value somewhere
            a[g.below(n)][g.below(n)] = g.below(2) ? NAN : INFINITY;
            break;
        case 8: {  // normal equations of a polynomial fit on x = 0.5 .. 10: ill-conditioned
            for (int i = 0; i < n; ++i) {
                for (int j = 0; j < n; ++j) a[i][j] = 0.0;
            }
            for (int point = 1; point <= 20; ++point) {
                const double x = 0.5 * point;
                std::vector<double> power(2 * n, 1.0);
                for (int k = 1; k < 2 * n; ++k) power[k] = power[k - 1] * x;
                for (int i = 0; i < n; ++i) {
                    for (int j = 0; j < n; ++j) a[i][j] += power[i + j];
                }
            }
            break;
        }
        case 9:  // upper triangular with ones: a defective matrix
            for (int i = 0; i < n; ++i) {
                for (int j = 0; j < n; ++j) a[i][j] = j < i ? 0.0 : (j == i ? 1.0 : a[i][j]);
            }
            break;
        default:
            break;
    }
    return a;
}

RowMatrix toRowMatrix(const Matrix& a) {
    const int n = static_cast<int>(a.size());
    RowMatrix m = tallowfit::allocateRowMatrix(n, n);
    if (m == nullptr) std::abort();
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) m[i][j] = a[i][j];
    }
    return m;
}

void appendValue(std::string& out, double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%s%a", out.empty() || out.back() == '[' ? "" : ",", value);
    out += text;
}

void writeLine(const char* category, int index, const std::string& payload) {
    std::printf("%s\t%d\t\"\"\t%s\n", category, index, payload.c_str());
}

void dumpCondition(const Matrix& a, int32_t symmetric, int& index) {
    const int n = static_cast<int>(a.size());
    RowMatrix m = toRowMatrix(a);
    std::vector<double> eigenvalues(n, 0.0);
    double figure = 0.0;
    const int32_t status = tallowfit::computeEigenvalueCondition(m, eigenvalues.data(), n, &figure, symmetric);
    tallowfit::releaseRowMatrix(m, n);
    std::string payload = "(" + std::to_string(status) + ",[";
    for (double value : eigenvalues) appendValue(payload, value);
    payload += "]";
    if (status == 0) {
        double largest = 0.0;
        double smallest = INFINITY;
        for (double value : eigenvalues) {
            largest = std::fmax(largest, std::fabs(value));
            smallest = std::fmin(smallest, std::fabs(value));
        }
        appendValue(payload, largest / smallest);
    }
    writeLine("condition", index++, payload + ")");
    std::string figureText = "(" + std::to_string(status) + ",[";
    if (status == 0) appendValue(figureText, figure);
    writeLine("condition-figure", index++, figureText + "])");
}

void dumpInverse(const Matrix& a, Generator& g, bool checked, int& index) {
    const int n = static_cast<int>(a.size());
    RowMatrix m = toRowMatrix(a);
    RowMatrix b = tallowfit::allocateRowMatrix(n, 1);
    if (b == nullptr) std::abort();
    for (int i = 0; i < n; ++i) b[i][0] = g.dyadic(10, -2, 2);
    const int32_t status = checked ? tallowfit::invertMatrixChecked(m, n, b, 1) : tallowfit::invertMatrix(m, n, b, 1);
    std::string payload = "(" + std::to_string(status) + ",[";
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) appendValue(payload, m[i][j]);
    }
    for (int i = 0; i < n; ++i) appendValue(payload, b[i][0]);
    writeLine("inverse", index++, payload + "])");
    tallowfit::releaseRowMatrix(m, n);
    tallowfit::releaseRowMatrix(b, n);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: condition_dump SEED COUNT\n");
        return 2;
    }
    Generator g{std::strtoull(argv[1], nullptr, 10)};
    const int count = std::atoi(argv[2]);
    int index = 0;
    for (int k = 0; k < count; ++k) {
        const int kind = g.below(10);
        const int n = 1 + g.below(8);
        const Matrix a = makeMatrix(g, kind, n);
        if (isSymmetricKind(kind)) dumpCondition(a, 1, index);
        dumpCondition(a, 0, index);
        dumpInverse(a, g, false, index);
        dumpInverse(a, g, true, index);
    }
    return 0;
}
