// A dense matrix of doubles held as a table of row pointers, each row its own
// zero-filled block. Rows are exchanged element by element, never by swapping
// pointers, so every row stays owned by its slot of the table.
#ifndef TALLOWFIT_NUMERIC_ROW_MATRIX_H
#define TALLOWFIT_NUMERIC_ROW_MATRIX_H

namespace tallowfit {

typedef double** RowMatrix;

// The row table (rows entries), then each row (columns doubles), all zero.
// Null when any allocation fails; what was allocated is released first.
RowMatrix allocateRowMatrix(int rows, int columns);

// Releases the rows one by one, then the table. Null is ignored.
void releaseRowMatrix(RowMatrix matrix, int rows);

}  // namespace tallowfit

#endif
