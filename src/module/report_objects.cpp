#include "module/report_objects.h"

#include <cstring>

#include "fit/point_storage.h"
#include "module/module_frame.h"

namespace tallowfit {

namespace {

void placeFloat(PyObject* parent, Py_ssize_t index, double value) {
    PyTuple_SetItem(parent, index, requireObject(makeFloat(value)));
}

void placeFloats(PyObject* parent, Py_ssize_t index, const std::vector<double>& values) {
    PyObject* tuple = placeTuple(parent, index, static_cast<Py_ssize_t>(values.size()));
    for (size_t k = 0; k < values.size(); ++k) {
        placeFloat(tuple, static_cast<Py_ssize_t>(k), values[k]);
    }
}

// A bytearray of count float64 values, stored at index of parent; its items.
double* placeDoubleArray(PyObject* parent, Py_ssize_t index, Py_ssize_t count) {
    PyObject* array =
        requireObject(makeByteArray(count * static_cast<Py_ssize_t>(sizeof(double))));
    PyTuple_SetItem(parent, index, array);
    prepareLargeBlock(PyByteArray_AS_STRING(array), static_cast<size_t>(count) * sizeof(double));
    return reinterpret_cast<double*>(PyByteArray_AS_STRING(array));
}

}  // namespace

PyObject* placeTuple(PyObject* parent, Py_ssize_t index, Py_ssize_t size) {
    PyObject* tuple = requireObject(makeTuple(size));
    PyTuple_SetItem(parent, index, tuple);
    return tuple;
}

void PointTables::add(double* rows, const PointVector<PointDeviation>& deviations) {
    tables_[count_++] = Table{rows, &deviations};
}

void PointTables::fill() const {
    for (int k = 0; k < count_; ++k) {
        double* row = tables_[k].rows;
        for (const PointDeviation& point : *tables_[k].deviations) {
            row[kColumnX] = point.x;
            row[kColumnY] = point.y;
            row[kColumnYUnc] = point.yUnc;
            row[kColumnFitted] = point.yModel;
            row[kColumnDeviation] = point.deviation;
            row += kPointColumns;
        }
    }
}

void fillReport(PyObject* tuple, const FitReport& report, PointTables& tables) {
    placeFloats(tuple, 0, report.coefficients);
    PyObject* rows = placeTuple(tuple, 1, static_cast<Py_ssize_t>(report.covariance.size()));
    for (size_t i = 0; i < report.covariance.size(); ++i) {
        placeFloats(rows, static_cast<Py_ssize_t>(i), report.covariance[i]);
    }
    placeFloat(tuple, 2, report.reducedChiSquare);
    placeFloat(tuple, 3, report.averageError);
    tables.add(placeDoubleArray(tuple, 4,
                                static_cast<Py_ssize_t>(report.deviations.size()) * kPointColumns),
               report.deviations);
}

void placeDoubles(PyObject* parent, Py_ssize_t index, const double* values, Py_ssize_t count) {
    std::memcpy(placeDoubleArray(parent, index, count), values,
                static_cast<size_t>(count) * sizeof(double));
}

}  // namespace tallowfit
