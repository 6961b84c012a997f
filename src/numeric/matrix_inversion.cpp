// Gauss-Jordan elimination with full pivoting, and the same inversion behind a
// condition test: the eigenvalue spread, or the product of infinity norms when
// the eigenvalues cannot be had.
#include "numeric/matrix_inversion.h"

#include <cmath>

#include "numeric/allocation.h"
#include "numeric/eigen_condition.h"
#include "numeric/status.h"

namespace tallowfit {
namespace {

// Where each elimination step found its pivot, and how often each column has
// been chosen as pivot column (more than once only for a singular matrix).
struct PivotRecord {
    int32_t* rows;
    int32_t* columns;
    int32_t* counts;
};

// The largest remaining element in magnitude. The test is greater-or-equal,
// so among equal magnitudes the last one met in row-major order wins and a
// zero is taken when nothing larger remains; a NaN is never taken.
int32_t findPivot(RowMatrix a, int n, const int32_t* counts, int* pivotRow, int* pivotColumn) {
    double largest = 0.0;
    bool found = false;
    int32_t status = kStatusOk;
    for (int j = 0; j < n && status == kStatusOk; ++j) {
        if (counts[j] == 1) continue;
        for (int k = 0; k < n && status == kStatusOk; ++k) {
            if (counts[k] == 0 && std::fabs(a[j][k]) >= largest) {
                largest = std::fabs(a[j][k]);
                *pivotRow = j;
                *pivotColumn = k;
                found = true;
            } else if (counts[k] > 1) {
                status = kStatusIllConditioned;
            }
        }
    }
    return (status == kStatusOk && !found) ? kStatusIllConditioned : status;
}

// Scales the pivot row so that the pivot becomes 1 (its slot receiving the
// reciprocal) and clears the pivot column from every other row.
void eliminateWithPivot(RowMatrix a, int n, RowMatrix b, int m, int pivot) {
    const double reciprocal = 1.0 / a[pivot][pivot];
    a[pivot][pivot] = 1.0;
    for (int k = 0; k < n; ++k) a[pivot][k] = a[pivot][k] * reciprocal;
    for (int k = 0; k < m; ++k) b[pivot][k] = b[pivot][k] * reciprocal;
    for (int l = 0; l < n; ++l) {
        if (l == pivot) continue;
        const double d = a[l][pivot];
        a[l][pivot] = 0.0;
        for (int k = 0; k < n; ++k) a[l][k] = a[l][k] - a[pivot][k] * d;
        for (int k = 0; k < m; ++k) b[l][k] = b[l][k] - b[pivot][k] * d;
    }
}

// One step: find the pivot, move it onto the diagonal, record where it came
// from, and eliminate. Only an exactly zero pivot counts as singular.
int32_t eliminationStep(RowMatrix a, int n, RowMatrix b, int m, PivotRecord record, int step) {
    int row = 0;
    int column = 0;
    int32_t status = findPivot(a, n, record.counts, &row, &column);
    if (status == kStatusOk) {
        ++record.counts[column];
        if (row != column) {
            exchangeRows(a, row, column, n);
            exchangeRows(b, row, column, m);
        }
        record.rows[step] = row;
        record.columns[step] = column;
        if (a[column][column] == 0.0) {
            status = kStatusIllConditioned;
        } else {
            eliminateWithPivot(a, n, b, m, column);
        }
    }
    return status;
}

// Every elimination step, then the row exchanges undone as column exchanges
// of the inverse, from the last step down.
int32_t gaussJordan(RowMatrix a, int n, RowMatrix b, int m, PivotRecord record) {
    int32_t status = kStatusOk;
    for (int step = 0; step < n && status == kStatusOk; ++step)
        status = eliminationStep(a, n, b, m, record, step);
    if (status == kStatusOk) {
        for (int step = n - 1; step >= 0; --step)
            if (record.rows[step] != record.columns[step])
                exchangeColumns(a, record.rows[step], record.columns[step], n);
    }
    return status;
}

// The largest absolute row sum.
double infinityNorm(RowMatrix a, int16_t n) {
    double largest = 0.0;
    for (int16_t i = 0; i < n; ++i) {
        double rowSum = 0.0;
        for (int16_t j = 0; j < n; ++j) rowSum = rowSum + std::fabs(a[i][j]);
        if (rowSum > largest) largest = rowSum;
    }
    return largest;
}

// Exact comparison over all ordered pairs; a NaN never equals its mirror.
int32_t isSymmetric(RowMatrix a, int16_t n) {
    int32_t equalPairs = 0;
    for (int16_t i = 0; i < n; ++i)
        for (int16_t j = 0; j < n; ++j)
            if (a[i][j] == a[j][i]) ++equalPairs;
    return equalPairs == static_cast<int32_t>(n) * n ? 1 : 0;
}

// Without eigenvalues the matrix is judged after inversion by the product of
// the infinity norms of the matrix and its inverse; a and b keep the results
// even when the product is too large.
int32_t invertWithNormTest(RowMatrix a, int16_t n, RowMatrix b, int m) {
    double* norms = allocateArray<double>(2);
    int32_t status = kStatusOutOfMemory;
    if (norms) {
        norms[0] = infinityNorm(a, n);
        status = invertMatrix(a, n, b, m);
        if (status == kStatusOk) {
            norms[1] = infinityNorm(a, n);
            const double product = norms[0] * norms[1];
            const double logarithm = product != 0.0 ? std::log10(product) : 0.0;
            if (logarithm >= kConditionLimitLog10) status = kStatusIllConditioned;
        }
    }
    releaseStorage(norms);
    return status;
}

// A figure at or above the limit refuses the matrix before anything is
// changed; a NaN figure compares false and lets the inversion decide.
int32_t invertIfConditioned(RowMatrix a, int16_t n, RowMatrix b, int m, double* eigenvalues) {
    double figure = 0.0;
    int32_t status = computeEigenvalueCondition(a, eigenvalues, n, &figure, isSymmetric(a, n));
    if (status == kStatusOk) {
        status = figure >= kConditionLimitLog10 ? kStatusIllConditioned : invertMatrix(a, n, b, m);
    } else {
        status = invertWithNormTest(a, n, b, m);
    }
    return status;
}

}  // namespace

void exchangeRows(RowMatrix matrix, int first, int second, int columns) {
    for (int k = 0; k < columns; ++k) {
        const double kept = matrix[first][k];
        matrix[first][k] = matrix[second][k];
        matrix[second][k] = kept;
    }
}

void exchangeColumns(RowMatrix matrix, int first, int second, int rows) {
    for (int k = 0; k < rows; ++k) {
        const double kept = matrix[k][first];
        matrix[k][first] = matrix[k][second];
        matrix[k][second] = kept;
    }
}

int32_t invertMatrix(RowMatrix a, int n, RowMatrix b, int m) {
    const std::size_t order = static_cast<std::size_t>(n);
    const PivotRecord record = {allocateArray<int32_t>(order), allocateArray<int32_t>(order),
                                allocateArray<int32_t>(order)};
    int32_t status = kStatusOutOfMemory;
    if (record.rows && record.columns && record.counts)
        status = gaussJordan(a, n, b, (b && m > 0) ? m : 0, record);
    releaseStorage(record.rows);
    releaseStorage(record.columns);
    releaseStorage(record.counts);
    return status;
}

int32_t invertMatrixChecked(RowMatrix a, int n, RowMatrix b, int m) {
    int32_t status = kStatusOutOfMemory;
    if (n < 2) {
        status = invertMatrix(a, n, b, m);
    } else {
        double* eigenvalues = allocateArray<double>(static_cast<std::size_t>(n));
        if (eigenvalues) status = invertIfConditioned(a, static_cast<int16_t>(n), b, m, eigenvalues);
        releaseStorage(eigenvalues);
    }
    return status;
}

int32_t invertForSolver(RowMatrix a, int n, RowMatrix b, int m, int checkConditioning) {
    return checkConditioning ? invertMatrixChecked(a, n, b, m) : invertMatrix(a, n, b, m);
}

}  // namespace tallowfit
