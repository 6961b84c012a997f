// Eigenvalues of a general real matrix: balancing by powers of two, then the
// double-shift QR iteration for upper Hessenberg matrices.
#include "numeric/hessenberg_qr.h"

#include <cmath>

#include "numeric/status.h"

namespace tallowfit {

namespace {

// An element is negligible when adding it to its neighbours' size changes
// nothing above this absolute threshold.
constexpr double kNegligible = 1e-15;
// QR steps allowed for one deflation.
constexpr int kMaxQrIterations = 30;

// Off-diagonal absolute sums of column i (first) and row i (second).
void offDiagonalSums(RowMatrix a, int size, int i, double* colSum, double* rowSum) {
    *colSum = 0.0;
    *rowSum = 0.0;
    for (int j = 0; j < size; ++j) {
        if (j == i) continue;
        *colSum += std::fabs(a[j][i]);
        *rowSum += std::fabs(a[i][j]);
    }
}

// Power-of-two factor that brings the column sum near the row sum; returns
// whether the similarity with it shrinks the combined sum enough to apply.
bool balancingFactor(double colSum, double rowSum, double* f) {
    const double s = colSum + rowSum;
    *f = 1.0;
    while (rowSum * 0.5 > colSum) {
        colSum = colSum * 4.0;
        *f = *f * 2.0;
    }
    while (colSum > rowSum + rowSum) {
        colSum = colSum * 0.25;
        *f = *f * 0.5;
    }
    return (colSum + rowSum) / *f < s * 0.95;
}

// One balancing sweep over every row; returns whether anything was scaled.
bool balancingSweep(RowMatrix a, int size) {
    bool changed = false;
    for (int i = 0; i < size; ++i) {
        double colSum;
        double rowSum;
        offDiagonalSums(a, size, i, &colSum, &rowSum);
        // A non-finite sum is skipped like a zero one: scaling an infinite
        // column sum by 0.25 would never bring it below the row sum, so the
        // sweep would not end. Finite sums are unaffected.
        if (colSum == 0.0 || rowSum == 0.0 || !std::isfinite(colSum) || !std::isfinite(rowSum))
            continue;
        double f;
        if (!balancingFactor(colSum, rowSum, &f)) continue;
        changed = true;
        const double g = 1.0 / f;
        for (int j = 0; j < size; ++j) a[i][j] = a[i][j] * g;
        for (int j = 0; j < size; ++j) a[j][i] = a[j][i] * f;
    }
    return changed;
}

// Sum of the absolute values of the Hessenberg band: the diagonal of row 0,
// then each later row from its sub-diagonal element on.
double hessenbergNorm(RowMatrix a, int n) {
    double anorm = std::fabs(a[0][0]);
    for (int i = 1; i < n; ++i)
        for (int j = i - 1; j < n; ++j) anorm += std::fabs(a[i][j]);
    return anorm;
}

// Lowest row l <= nn such that the active block nn splits off at l, scanning up
// from nn; 0 when no sub-diagonal element is negligible.
int splitRow(RowMatrix a, int nn, double anorm) {
    int l = nn;
    for (; l >= 1; --l) {
        double s = std::fabs(a[l - 1][l - 1]) + std::fabs(a[l][l]);
        if (s == 0.0) s = anorm;
        if ((std::fabs(a[l][l - 1]) + s) - s < kNegligible) break;
    }
    return l;
}

// The two eigenvalues of the trailing 2 x 2 block [[y, .], [., x]] with
// off-diagonal product w, shifted back by t, stored at nn - 1 and nn.
void storeRootPair(double x, double y, double w, double t, int nn, double* realParts,
                   double* imagParts) {
    const double p = (y - x) * 0.5;
    const double q = p * p + w;
    double z = std::sqrt(std::fabs(q));
    x = x + t;
    if (q >= 0.0) {
        z = p + signOf(z, p);
        realParts[nn - 1] = realParts[nn] = x + z;
        if (z != 0.0) realParts[nn] = x - w / z;
        imagParts[nn - 1] = imagParts[nn] = 0.0;
    } else {
        realParts[nn - 1] = realParts[nn] = x + p;
        imagParts[nn - 1] = -z;
        imagParts[nn] = z;
    }
}

// The first column of the double-shift polynomial, scaled, at row mm.
struct ShiftVector {
    double p;
    double q;
    double r;
};

// Start row of the QR sweep: the lowest row mm >= l from which two small
// sub-diagonal elements make the sweep independent of the rows above.
int sweepStartRow(RowMatrix a, int l, int nn, double x, double y, double w,
                  ShiftVector* v) {
    int mm = nn - 2;
    for (;; --mm) {
        const double z = a[mm][mm];
        double r = x - z;
        double s = y - z;
        v->p = (r * s - w) / a[mm + 1][mm] + a[mm][mm + 1];
        v->q = a[mm + 1][mm + 1] - z - r - s;
        v->r = a[mm + 2][mm + 1];
        s = std::fabs(v->p) + std::fabs(v->q) + std::fabs(v->r);
        v->p = v->p / s;
        v->q = v->q / s;
        v->r = v->r / s;
        if (mm == l) break;
        const double coupling = std::fabs(a[mm][mm - 1]) * (std::fabs(v->q) + std::fabs(v->r));
        const double local = std::fabs(v->p) * (std::fabs(a[mm - 1][mm - 1]) + std::fabs(z) +
                                                std::fabs(a[mm + 1][mm + 1]));
        if (std::fabs((coupling + local) - local) < kNegligible) break;
    }
    return mm;
}

// One double-shift QR sweep over rows mm .. nn of the active block l .. nn:
// a Householder reflection per column chases the bulge down the band.
void doubleShiftSweep(RowMatrix a, int l, int mm, int nn, ShiftVector v) {
    for (int i = mm + 2; i <= nn; ++i) {
        a[i][i - 2] = 0.0;
        if (i != mm + 2) a[i][i - 3] = 0.0;
    }
    double p = v.p;
    double q = v.q;
    double r = v.r;
    for (int k = mm; k <= nn - 1; ++k) {
        const bool third = k != nn - 1;
        double x = 0.0;
        if (k != mm) {
            p = a[k][k - 1];
            q = a[k + 1][k - 1];
            r = third ? a[k + 2][k - 1] : 0.0;
            x = std::fabs(p) + std::fabs(q) + std::fabs(r);
            if (x != 0.0) {
                p = p / x;
                q = q / x;
                r = r / x;
            }
        }
        const double s = signOf(std::sqrt(p * p + q * q + r * r), p);
        if (s == 0.0) continue;
        if (k == mm) {
            if (l != mm) a[k][k - 1] = -a[k][k - 1];
        } else {
            a[k][k - 1] = -s * x;
        }
        p = p + s;
        x = p / s;
        const double y = q / s;
        const double z = r / s;
        q = q / p;
        r = r / p;
        for (int j = k; j <= nn; ++j) {
            p = a[k][j] + q * a[k + 1][j];
            if (third) {
                p = p + r * a[k + 2][j];
                a[k + 2][j] = a[k + 2][j] - p * z;
            }
            a[k + 1][j] = a[k + 1][j] - p * y;
            a[k][j] = a[k][j] - p * x;
        }
        const int last = nn < k + 3 ? nn : k + 3;
        for (int i = l; i <= last; ++i) {
            p = x * a[i][k] + y * a[i][k + 1];
            if (third) {
                p = p + z * a[i][k + 2];
                a[i][k + 2] = a[i][k + 2] - p * r;
            }
            a[i][k + 1] = a[i][k + 1] - p * q;
            a[i][k] = a[i][k] - p;
        }
    }
}

}  // namespace

// Balancing by powers of two (radix 2), repeated until a sweep changes nothing.
void balanceMatrix(RowMatrix matrix, int size) {
    while (balancingSweep(matrix, size)) {
    }
}

// Double-shift QR iteration on an upper Hessenberg matrix, deflating one or
// two eigenvalues at a time from the bottom of the active block.
int32_t hessenbergQrEigenvalues(RowMatrix a, int size, double* realParts, double* imagParts) {
    int32_t status = kStatusOk;
    const double anorm = size > 0 ? hessenbergNorm(a, size) : 0.0;
    int nn = size - 1;
    double t = 0.0;
    int its = 0;
    while (nn >= 0 && status == kStatusOk) {
        const int l = splitRow(a, nn, anorm);
        double x = a[nn][nn];
        if (l == nn) {
            realParts[nn] = x + t;
            imagParts[nn] = 0.0;
            nn = nn - 1;
            its = 0;
            continue;
        }
        double y = a[nn - 1][nn - 1];
        double w = a[nn][nn - 1] * a[nn - 1][nn];
        if (l == nn - 1) {
            storeRootPair(x, y, w, t, nn, realParts, imagParts);
            nn = nn - 2;
            its = 0;
            continue;
        }
        if (its == kMaxQrIterations) {
            status = kStatusNoConvergence;
            continue;
        }
        if (its == 10 || its == 20) {
            // Exceptional shift, to break a cycle that ordinary shifts fall into.
            t = t + x;
            for (int i = 0; i <= nn; ++i) a[i][i] = a[i][i] - x;
            const double s = std::fabs(a[nn][nn - 1]) + std::fabs(a[nn - 1][nn - 2]);
            x = y = 0.75 * s;
            w = -0.4375 * s * s;
        }
        its = its + 1;
        ShiftVector v;
        const int mm = sweepStartRow(a, l, nn, x, y, w, &v);
        doubleShiftSweep(a, l, mm, nn, v);
    }
    return status;
}

}  // namespace tallowfit
