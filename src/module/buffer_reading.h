// Reading the array engine's arguments: one-dimensional, C-contiguous buffers
// of float64 or float32 items, read in place while the interpreter lock is
// released.
#ifndef TALLOWFIT_MODULE_BUFFER_READING_H
#define TALLOWFIT_MODULE_BUFFER_READING_H

#include <Python.h>

#include <vector>

#include "fit/models.h"

namespace tallowfit {

// A buffer held for the life of the column: the exporter keeps its memory in
// place until then. Destroyed with the interpreter lock held.
class BufferColumn {
public:
    BufferColumn() = default;
    BufferColumn(const BufferColumn&) = delete;
    BufferColumn& operator=(const BufferColumn&) = delete;
    ~BufferColumn();

    // Holds object's buffer; false with TypeError, ValueError or BufferError
    // set when it has none, or not one column of 'd' or 'f' items. name
    // names the argument in the error.
    bool hold(PyObject* object, const char* name);

    Py_ssize_t length() const { return length_; }

    // Item k, widened to double.
    double at(Py_ssize_t k) const {
        return isDouble_ ? static_cast<const double*>(view_.buf)[k]
                         : static_cast<const float*>(view_.buf)[k];
    }

private:
    Py_buffer view_{};
    bool held_ = false;
    bool isDouble_ = false;
    Py_ssize_t length_ = 0;
};

// The x, y and yUnc columns of the points, of equal length.
struct PointColumns {
    BufferColumn x;
    BufferColumn y;
    BufferColumn yUnc;

    // false with an error set when a column cannot be held or the lengths
    // differ.
    bool hold(PyObject* xs, PyObject* ys, PyObject* yUncs);
};

// The value as the classic entries read a number given for a single-precision
// argument: narrowed to float, widened back. Unchanged in double precision.
inline double asRead(double value, bool doublePrecision) {
    return doublePrecision ? value : static_cast<double>(static_cast<float>(value));
}

// One point per row of the columns. Runs without the interpreter lock;
// growing the vector may throw std::bad_alloc.
void readPoints(const PointColumns& columns, bool doublePrecision, PointVector<DataPoint>& points);

// Every item of the column, as double.
void readValues(const BufferColumn& column, std::vector<double>& values);

}  // namespace tallowfit

#endif
