// Reading the entry points' arguments: the argument tuple and the items of a
// list argument, each parsed with a PyArg_Parse format or, for plain floats
// and ints, read directly to the same value.
#ifndef TALLOWFIT_MODULE_ARGUMENT_READING_H
#define TALLOWFIT_MODULE_ARGUMENT_READING_H

#include <Python.h>

#include <vector>

#include "module/fault_injection.h"

namespace tallowfit {

// Whether a PyArg_Parse call succeeded. A failure's error indicator is cleared
// at once, before anything else runs: the entry returns its tuple normally,
// and a value returned with an error set would be turned into an exception.
inline bool parseSucceeded(int parseResult) {
    if (parseResult == 0) {
        PyErr_Clear();
    }
    return parseResult != 0;
}

// The number of items of a list argument. Anything that is not a list has
// none; the error that PyList_Size sets for it is cleared at once.
inline Py_ssize_t listLength(PyObject* object) {
    const Py_ssize_t length = PyList_Size(object);
    if (length < 0) {
        PyErr_Clear();
        return 0;
    }
    return length;
}

// Room for every value of a list argument at once: the vector grows once, not
// once per doubling, and that one growth may run out of memory like any other.
template <typename Vector>
void reserveRead(Vector& values, Py_ssize_t length) {
    if (length > 0) {
        checkGrowth();
        values.reserve(static_cast<size_t>(length));
    }
}

// The double that PyFloat_AsDouble gives for an exact float or int, which is
// what the "d" and "f" formats convert; false for any other object and for an
// int beyond the double range, which PyArg_Parse must then refuse itself with
// its own error. Reading these directly runs no Python code and gives the same
// value as the format machinery, at a fraction of its cost per item.
inline bool readExactNumber(PyObject* item, double* value) {
    if (PyFloat_CheckExact(item)) {
        *value = PyFloat_AS_DOUBLE(item);
        return true;
    }
#if PY_MAJOR_VERSION < 3
    if (PyInt_CheckExact(item)) {
        *value = static_cast<double>(PyInt_AS_LONG(item));
        return true;
    }
#endif
    if (PyLong_CheckExact(item)) {
        *value = PyLong_AsDouble(item);
        if (*value == -1.0 && PyErr_Occurred()) {
            PyErr_Clear();
            return false;
        }
        return true;
    }
    return false;
}

// x, y and yUnc of a point given as an exact tuple or list of three exact
// floats or ints, narrowed to single precision as "(fff)" narrows them; false
// for every other point, which PyArg_Parse then reads or refuses.
inline bool readExactPoint(PyObject* item, float* x, float* y, float* yUnc) {
    PyObject** numbers = nullptr;
    if (PyTuple_CheckExact(item) && PyTuple_GET_SIZE(item) == 3) {
        numbers = &PyTuple_GET_ITEM(item, 0);
    } else if (PyList_CheckExact(item) && PyList_GET_SIZE(item) == 3) {
        numbers = &PyList_GET_ITEM(item, 0);
    }
    double values[3];
    const bool exact = numbers != nullptr && readExactNumber(numbers[0], &values[0]) &&
                       readExactNumber(numbers[1], &values[1]) &&
                       readExactNumber(numbers[2], &values[2]);
    if (exact) {
        *x = static_cast<float>(values[0]);
        *y = static_cast<float>(values[1]);
        *yUnc = static_cast<float>(values[2]);
    }
    return exact;
}

// Reads item `index` of `list` with readExact(item), or, when that declines,
// with parse(item), which returns the result of PyArg_Parse. Parsing runs the
// item's own conversion methods, which may shrink or rebind the list and so
// drop the list's reference to the item: the item is held while it is parsed,
// and the size is read again first, an index that no longer exists counting as
// an item that cannot be parsed.
template <typename ReadExact, typename Parse>
bool readListItem(PyObject* list, Py_ssize_t index, ReadExact readExact, Parse parse) {
    if (index >= PyList_Size(list)) {
        return false;
    }
    PyObject* item = PyList_GetItem(list, index);
    if (readExact(item)) {
        return true;
    }
    Py_INCREF(item);
    const bool parsed = parseSucceeded(parse(item));
    Py_DecRef(item);
    return parsed;
}

}  // namespace tallowfit

#endif
