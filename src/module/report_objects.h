// The array engine's payloads: a fit report as a tuple whose per-point figures
// sit in one bytearray of float64 values, and roots as two such bytearrays.
// Every object is stored in its parent tuple the moment it exists, so that a
// creation that fails (std::bad_alloc) leaves nothing but the parent to free.
#ifndef TALLOWFIT_MODULE_REPORT_OBJECTS_H
#define TALLOWFIT_MODULE_REPORT_OBJECTS_H

#include <Python.h>

#include "fit/fit_report.h"

namespace tallowfit {

// Columns of the point table, one row per deviation record.
enum PointColumn { kColumnX, kColumnY, kColumnYUnc, kColumnFitted, kColumnDeviation, kPointColumns };

// A new tuple of size places, stored at index of parent.
PyObject* placeTuple(PyObject* parent, Py_ssize_t index, Py_ssize_t size);

// Fills a new 5-tuple with (coefficients, covariance rows, reduced
// chi-square, average error, point table).
void fillReport(PyObject* tuple, const FitReport& report);

// The first count values as a bytearray of float64, stored at index of parent.
void placeDoubles(PyObject* parent, Py_ssize_t index, const double* values, Py_ssize_t count);

}  // namespace tallowfit

#endif
