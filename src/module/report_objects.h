// The array engine's payloads: a fit report as a tuple whose per-point figures
// sit in one bytearray of float64 values, and roots as two such bytearrays.
// Every object is stored in its parent tuple the moment it exists, so that a
// creation that fails (std::bad_alloc) leaves nothing but the parent to free.
#ifndef TALLOWFIT_MODULE_REPORT_OBJECTS_H
#define TALLOWFIT_MODULE_REPORT_OBJECTS_H

#include <Python.h>

#include <vector>

#include "fit/fit_report.h"

namespace tallowfit {

// Columns of the point table, one row per deviation record.
enum PointColumn { kColumnX, kColumnY, kColumnYUnc, kColumnFitted, kColumnDeviation, kPointColumns };

// The point tables of one payload (two for a two-range fit): made while the
// interpreter lock is held, written after it is released, as no other thread
// can see them before the payload is returned.
class PointTables {
public:
    void add(double* rows, const PointVector<PointDeviation>& deviations);
    // Writes every table from its deviation records.
    void fill() const;

private:
    struct Table {
        double* rows;
        const PointVector<PointDeviation>* deviations;
    };
    Table tables_[2] = {};
    int count_ = 0;
};

// A new tuple of size places, stored at index of parent.
PyObject* placeTuple(PyObject* parent, Py_ssize_t index, Py_ssize_t size);

// Fills a new 5-tuple with (coefficients, covariance rows, reduced
// chi-square, average error, point table); the table is added to tables, to be
// written later.
void fillReport(PyObject* tuple, const FitReport& report, PointTables& tables);

// The first count values as a bytearray of float64, stored at index of parent.
void placeDoubles(PyObject* parent, Py_ssize_t index, const double* values, Py_ssize_t count);

}  // namespace tallowfit

#endif
