// Polynomial roots as the eigenvalues of the balanced companion matrix, found
// by the double-shift QR iteration for upper Hessenberg matrices.
#include "numeric/polynomial_roots.h"

#include "numeric/fp_control.h"
#include "numeric/hessenberg_qr.h"
#include "numeric/row_matrix.h"
#include "numeric/status.h"

namespace tallowfit {

namespace {

int32_t checkCoefficients(const double* coefficients, int32_t count) {
    if (count < 1) return kStatusOutOfMemory;
    if (count > kMaxPolynomialCoefficients) return kStatusInvalidArgument;
    if (coefficients[count - 1] == 0.0) return kStatusInvalidArgument;
    return kStatusOk;
}

// Companion matrix of the monic polynomial, column by column: the negated
// normalised coefficients in row 0, ones on the sub-diagonal.
void fillCompanionMatrix(RowMatrix a, const double* coefficients, int m) {
    for (int j = 0; j < m; ++j) {
        a[0][j] = -coefficients[m - 1 - j] / coefficients[m];
        for (int i = 1; i < m; ++i) a[i][j] = 0.0;
        if (j < m - 1) a[j + 1][j] = 1.0;
    }
}

}  // namespace

// Companion matrix, balancing, then the Hessenberg QR iteration with underflow
// masked so that tiny intermediate values flush quietly.
int32_t computePolynomialRoots(const double* coefficients, int32_t count, double* realParts,
                               double* imagParts) {
    int32_t status = checkCoefficients(coefficients, count);
    if (status != kStatusOk) return status;
    const int m = count - 1;
    RowMatrix companion = allocateRowMatrix(m, m);
    if (!companion) return kStatusOutOfMemory;
    fillCompanionMatrix(companion, coefficients, m);
    balanceMatrix(companion, m);
    const unsigned int controlWord = maskUnderflow();
    status = hessenbergQrEigenvalues(companion, m, realParts, imagParts);
    if (status == kStatusOk) clearAccruedFlags(controlWord);
    releaseRowMatrix(companion, m);
    if (status != kStatusOk) {
        for (int k = 0; k < count; ++k) realParts[k] = imagParts[k] = 0.0;
    }
    return status;
}

}  // namespace tallowfit
