#include "numeric/row_matrix.h"

#include "numeric/allocation.h"

namespace tallowfit {

RowMatrix allocateRowMatrix(int rows, int columns) {
    if (rows < 0 || columns < 0) return nullptr;
    RowMatrix matrix = allocateArray<double*>(static_cast<std::size_t>(rows));
    if (!matrix) return nullptr;
    for (int i = 0; i < rows; ++i) {
        matrix[i] = allocateArray<double>(static_cast<std::size_t>(columns));
        if (!matrix[i]) {
            releaseRowMatrix(matrix, i);
            return nullptr;
        }
    }
    return matrix;
}

void releaseRowMatrix(RowMatrix matrix, int rows) {
    if (!matrix) return;
    for (int i = 0; i < rows; ++i) releaseStorage(matrix[i]);
    releaseStorage(matrix);
}

}  // namespace tallowfit
