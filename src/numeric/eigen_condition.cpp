// Condition figure of a square matrix from the spread of its eigenvalue moduli:
// Householder tridiagonalisation and implicit QL for symmetric matrices,
// Hessenberg elimination, balancing and double-shift QR for the others.
#include "numeric/eigen_condition.h"

#include <cmath>
#include <utility>

#include "numeric/allocation.h"
#include "numeric/hessenberg_qr.h"
#include "numeric/status.h"

namespace tallowfit {

namespace {

// QL iterations allowed for one eigenvalue.
constexpr int16_t kMaxQlIterations = 30;

// sqrt(a^2 + b^2) without overflow or destructive underflow.
double stableHypot(double a, double b) {
    const double absA = std::fabs(a);
    const double absB = std::fabs(b);
    if (absA > absB) {
        const double ratio = absB / absA;
        return absA * std::sqrt(1.0 + ratio * ratio);
    }
    if (absB == 0.0) return 0.0;
    const double ratio = absA / absB;
    return absB * std::sqrt(1.0 + ratio * ratio);
}

// One Householder step on row i of the lower triangle: annihilates a[i][0 .. l-1]
// with scale the row's absolute sum (nonzero) and updates the leading block.
void householderStep(RowMatrix a, int16_t i, double scale, double* offDiagonal) {
    const int16_t l = static_cast<int16_t>(i - 1);
    double h = 0.0;
    for (int16_t k = 0; k <= l; ++k) {
        a[i][k] = a[i][k] / scale;
        h = h + a[i][k] * a[i][k];
    }
    double f = a[i][l];
    double g = f >= 0.0 ? -std::sqrt(h) : std::sqrt(h);
    offDiagonal[i] = scale * g;
    h = h - f * g;
    a[i][l] = f - g;
    f = 0.0;
    for (int16_t j = 0; j <= l; ++j) {
        g = 0.0;
        for (int16_t k = 0; k <= j; ++k) g = g + a[j][k] * a[i][k];
        for (int16_t k = static_cast<int16_t>(j + 1); k <= l; ++k) g = g + a[k][j] * a[i][k];
        offDiagonal[j] = g / h;
        f = f + offDiagonal[j] * a[i][j];
    }
    const double hh = f / (h + h);
    for (int16_t j = 0; j <= l; ++j) {
        f = a[i][j];
        g = offDiagonal[j] - hh * f;
        offDiagonal[j] = g;
        for (int16_t k = 0; k <= j; ++k) a[j][k] = a[j][k] - (f * offDiagonal[k] + g * a[i][k]);
    }
}

// First m >= l at which the tridiagonal matrix splits (e[m] negligible
// relative to its diagonal neighbours); n - 1 when it does not split.
int16_t splitIndex(const double* d, const double* e, int16_t l, int16_t n) {
    int16_t m = l;
    for (; m <= n - 2; ++m) {
        const double dd = std::fabs(d[m]) + std::fabs(d[m + 1]);
        if (std::fabs(e[m]) + dd == dd) break;
    }
    return m;
}

// One implicit QL step with the Wilkinson shift on the block l .. m.
void implicitQlStep(double* d, double* e, int16_t l, int16_t m) {
    double g = (d[l + 1] - d[l]) / (e[l] + e[l]);
    double r = stableHypot(g, 1.0);
    g = e[l] / (g + signOf(r, g)) + (d[m] - d[l]);
    double sn = 1.0;
    double cs = 1.0;
    double p = 0.0;
    int16_t i = static_cast<int16_t>(m - 1);
    for (; i >= l; --i) {
        const double f = sn * e[i];
        const double b = cs * e[i];
        r = stableHypot(f, g);
        e[i + 1] = r;
        if (r == 0.0) {
            // The block splits at i: undo the partial shift and retry.
            d[i + 1] = d[i + 1] - p;
            e[m] = 0.0;
            break;
        }
        sn = f / r;
        cs = g / r;
        g = d[i + 1] - p;
        r = (d[i] - g) * sn + (cs + cs) * b;
        p = sn * r;
        d[i + 1] = g + p;
        g = cs * r - b;
    }
    if (i < l) {
        d[l] = d[l] - p;
        e[l] = g;
        e[m] = 0.0;
    }
}

// Swaps rows r and m over columns m-1 .. n-1, then columns r and m over all rows.
void exchangeRowAndColumn(RowMatrix a, int n, int r, int m) {
    for (int j = m - 1; j < n; ++j) std::swap(a[r][j], a[m][j]);
    for (int j = 0; j < n; ++j) std::swap(a[j][r], a[j][m]);
}

// Eliminates column m-1 below row m with the pivot x = a[m][m-1] (nonzero),
// keeping each multiplier in the eliminated slot, and applies the inverse
// transformation to the columns.
void eliminateBelowSubdiagonal(RowMatrix a, int n, int m, double x) {
    for (int i = m + 1; i < n; ++i) {
        double y = a[i][m - 1];
        if (y == 0.0) continue;
        y = y / x;
        a[i][m - 1] = y;
        for (int j = m; j < n; ++j) a[i][j] = a[i][j] - y * a[m][j];
        for (int j = 0; j < n; ++j) a[j][m] = a[j][m] + y * a[j][i];
    }
}

int32_t symmetricEigenvalues(RowMatrix copy, int n, double* eigenvalues, double* offDiagonal) {
    tridiagonalizeSymmetric(copy, n, eigenvalues, offDiagonal);
    return tridiagonalQlEigenvalues(eigenvalues, offDiagonal, n);
}

// Moduli of the eigenvalues of a general matrix; eigenvalues is written only
// when the QR iteration converges.
int32_t generalEigenvalueModuli(RowMatrix copy, int n, double* eigenvalues) {
    double* realParts = allocateArray<double>(static_cast<std::size_t>(n));
    double* imagParts = realParts ? allocateArray<double>(static_cast<std::size_t>(n)) : nullptr;
    int32_t status = kStatusOutOfMemory;
    if (imagParts) {
        reduceToHessenberg(copy, n);
        balanceMatrix(copy, n);
        status = hessenbergQrEigenvalues(copy, n, realParts, imagParts);
        if (status == kStatusOk) {
            for (int i = 0; i < n; ++i)
                eigenvalues[i] = std::sqrt(realParts[i] * realParts[i] + imagParts[i] * imagParts[i]);
        }
    }
    releaseStorage(realParts);
    releaseStorage(imagParts);
    return status;
}

// log10 of the largest over the smallest absolute eigenvalue; the singular
// figure when either is zero.
double conditionFigure(const double* eigenvalues, int n) {
    double largest = std::fabs(eigenvalues[0]);
    double smallest = largest;
    for (int i = 1; i < n; ++i) {
        const double v = std::fabs(eigenvalues[i]);
        if (v > largest) largest = v;
        if (v < smallest) smallest = v;
    }
    if (largest != 0.0 && smallest != 0.0) return std::log10(largest / smallest);
    return kSingularConditionFigure;
}

}  // namespace

// Condition figure from the eigenvalues of a working copy of the matrix.
int32_t computeEigenvalueCondition(RowMatrix matrix, double* eigenvalues, int n, double* figure,
                                   int32_t symmetric) {
    double* offDiagonal = allocateArray<double>(static_cast<std::size_t>(n));
    RowMatrix copy = offDiagonal ? allocateRowMatrix(n, n) : nullptr;
    int32_t status = kStatusOutOfMemory;
    if (copy) {
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) copy[i][j] = matrix[i][j];
        status = symmetric ? symmetricEigenvalues(copy, n, eigenvalues, offDiagonal)
                           : generalEigenvalueModuli(copy, n, eigenvalues);
        if (status == kStatusOk) *figure = conditionFigure(eigenvalues, n);
    }
    releaseStorage(offDiagonal);
    releaseRowMatrix(copy, n);
    return status;
}

// Householder reduction to tridiagonal form (eigenvalues only, no vectors).
// Indices are 16-bit: orders up to 32767.
void tridiagonalizeSymmetric(RowMatrix matrix, int n, double* diagonal, double* offDiagonal) {
    for (int16_t i = static_cast<int16_t>(n - 1); i >= 1; --i) {
        const int16_t l = static_cast<int16_t>(i - 1);
        double scale = 0.0;
        if (l > 0) {
            for (int16_t k = 0; k <= l; ++k) scale = scale + std::fabs(matrix[i][k]);
        }
        if (scale == 0.0)
            offDiagonal[i] = matrix[i][l];
        else
            householderStep(matrix, i, scale, offDiagonal);
    }
    offDiagonal[0] = 0.0;
    for (int16_t i = 0; i < n; ++i) diagonal[i] = matrix[i][i];
}

// QL iteration with implicit shifts on the tridiagonal matrix.
int32_t tridiagonalQlEigenvalues(double* diagonal, double* offDiagonal, int n) {
    const int16_t size = static_cast<int16_t>(n);
    for (int16_t i = 1; i < size; ++i) offDiagonal[i - 1] = offDiagonal[i];
    offDiagonal[size - 1] = 0.0;
    int32_t status = kStatusOk;
    for (int16_t l = 0; l < size && status == kStatusOk; ++l) {
        int16_t iter = 0;
        int16_t m = splitIndex(diagonal, offDiagonal, l, size);
        while (m != l && status == kStatusOk) {
            if (iter == kMaxQlIterations) {
                status = kStatusNoConvergence;
                continue;
            }
            iter = static_cast<int16_t>(iter + 1);
            implicitQlStep(diagonal, offDiagonal, l, m);
            m = splitIndex(diagonal, offDiagonal, l, size);
        }
    }
    return status;
}

// Elimination with row pivoting as a similarity transformation (stabilised
// elementary transformations) to upper Hessenberg form.
void reduceToHessenberg(RowMatrix matrix, int n) {
    for (int m = 1; m < n - 1; ++m) {
        double x = 0.0;
        int pivot = m;
        for (int j = m; j < n; ++j) {
            if (std::fabs(matrix[j][m - 1]) > std::fabs(x)) {
                x = matrix[j][m - 1];
                pivot = j;
            }
        }
        if (pivot != m) exchangeRowAndColumn(matrix, n, pivot, m);
        if (x != 0.0) eliminateBelowSubdiagonal(matrix, n, m, x);
    }
}

}  // namespace tallowfit
