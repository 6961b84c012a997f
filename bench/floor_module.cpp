// The least that any fit call over a Python list of points must do, measured
// by the benchmark: walk the list reading three floats from each point tuple,
// and build one (x, y, yUnc, value) 4-tuple of new floats per point. Built by
// bench/run.sh for Python 3 only; not part of the module.
#include <Python.h>

namespace {

// Reads x, y and yUnc of every point; returns their sum so that nothing is
// optimised away.
bool readPoint(PyObject* point, double* sum) {
    if (!PyTuple_Check(point) || PyTuple_GET_SIZE(point) != 3) return false;
    for (Py_ssize_t k = 0; k < 3; ++k) {
        const double value = PyFloat_AsDouble(PyTuple_GET_ITEM(point, k));
        if (value == -1.0 && PyErr_Occurred()) return false;
        *sum += value;
    }
    return true;
}

PyObject* walkPoints(PyObject*, PyObject* list) {
    if (!PyList_Check(list)) return PyErr_Format(PyExc_TypeError, "a list is needed");
    double sum = 0.0;
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(list); ++i) {
        if (!readPoint(PyList_GET_ITEM(list, i), &sum))
            return PyErr_Format(PyExc_TypeError, "point %zd is not three floats", i);
    }
    return PyFloat_FromDouble(sum);
}

PyObject* makeQuadruple(PyObject* point) {
    PyObject* tuple = PyTuple_New(4);
    if (!tuple) return nullptr;
    for (Py_ssize_t k = 0; k < 4; ++k) {
        const double value = k < 3 ? PyFloat_AsDouble(PyTuple_GET_ITEM(point, k)) : 0.0;
        PyObject* item = PyFloat_FromDouble(value);
        if (!item) {
            Py_DECREF(tuple);
            return nullptr;
        }
        PyTuple_SET_ITEM(tuple, k, item);
    }
    return tuple;
}

// The walk, and a new list of one 4-tuple per point.
PyObject* walkAndBuild(PyObject*, PyObject* list) {
    if (!PyList_Check(list)) return PyErr_Format(PyExc_TypeError, "a list is needed");
    const Py_ssize_t size = PyList_GET_SIZE(list);
    PyObject* result = PyList_New(size);
    for (Py_ssize_t i = 0; result && i < size; ++i) {
        PyObject* point = PyList_GET_ITEM(list, i);
        double sum = 0.0;
        PyObject* tuple = readPoint(point, &sum) ? makeQuadruple(point) : nullptr;
        if (!tuple) Py_CLEAR(result);
        else PyList_SET_ITEM(result, i, tuple);
    }
    return result;
}

PyMethodDef methods[] = {
    {"walkPoints", walkPoints, METH_O, nullptr},
    {"walkAndBuild", walkAndBuild, METH_O, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef definition = {PyModuleDef_HEAD_INIT, "_floor", nullptr, -1, methods,
                          nullptr, nullptr, nullptr, nullptr};

}  // namespace

PyMODINIT_FUNC PyInit__floor() { return PyModule_Create(&definition); }
