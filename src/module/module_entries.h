// The three functions that the module gives Python. Each takes the tuple of
// positional arguments and returns a new (status, payload) 2-tuple.
#ifndef TALLOWFIT_MODULE_MODULE_ENTRIES_H
#define TALLOWFIT_MODULE_MODULE_ENTRIES_H

#include <Python.h>

namespace tallowfit {

// (points, modelId, order, flags) -> (status, fit list or None)
PyObject* optimizeModel(PyObject* self, PyObject* args);

// (points, threshold, lowerOrder, upperOrder, flags) -> (status, list of fit lists or None)
PyObject* optimizeDualModel(PyObject* self, PyObject* args);

// (coefficients) -> (status, list of roots or None)
PyObject* findRoots(PyObject* self, PyObject* args);

}  // namespace tallowfit

#endif
