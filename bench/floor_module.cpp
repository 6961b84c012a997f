// The least that any fit call over a Python list of points must do, measured
// by the benchmark: walk the list reading three floats from each point tuple,
// and build one (x, y, yUnc, value) 4-tuple of new floats per point. And a C
// root finder called as findRoots is, list in and list out: GSL's companion
// matrix QR with its workspace kept between calls of one degree. Built by
// bench/run.sh for Python 3 only; not part of the module.
#include <Python.h>

#include <gsl/gsl_errno.h>
#include <gsl/gsl_poly.h>

#include <vector>

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

// The roots of sum c[k] x^k, c lowest first, as a list of complex numbers.
PyObject* solveRoots(PyObject*, PyObject* list) {
    static gsl_poly_complex_workspace* workspace = nullptr;
    static std::vector<double> coefficients, roots;
    if (!PyList_Check(list) || PyList_GET_SIZE(list) < 2)
        return PyErr_Format(PyExc_TypeError, "a list of at least two floats is needed");
    const size_t size = static_cast<size_t>(PyList_GET_SIZE(list));
    coefficients.resize(size);
    roots.resize(2 * (size - 1));
    for (size_t k = 0; k < size; ++k) {
        coefficients[k] = PyFloat_AsDouble(PyList_GET_ITEM(list, k));
        if (coefficients[k] == -1.0 && PyErr_Occurred()) return nullptr;
    }
    if (workspace == nullptr || workspace->nc != size - 1) {
        if (workspace != nullptr) gsl_poly_complex_workspace_free(workspace);
        workspace = gsl_poly_complex_workspace_alloc(size);
        if (workspace == nullptr) return PyErr_NoMemory();
    }
    if (gsl_poly_complex_solve(coefficients.data(), size, workspace, roots.data()) != GSL_SUCCESS)
        return PyErr_Format(PyExc_ArithmeticError, "the root finder did not converge");
    PyObject* result = PyList_New(static_cast<Py_ssize_t>(size - 1));
    for (size_t k = 0; result && k + 1 < size; ++k) {
        PyObject* root = PyComplex_FromDoubles(roots[2 * k], roots[2 * k + 1]);
        if (!root) Py_CLEAR(result);
        else PyList_SET_ITEM(result, static_cast<Py_ssize_t>(k), root);
    }
    return result;
}

PyMethodDef methods[] = {
    {"walkPoints", walkPoints, METH_O, nullptr},
    {"walkAndBuild", walkAndBuild, METH_O, nullptr},
    {"solveRoots", solveRoots, METH_O, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef definition = {PyModuleDef_HEAD_INIT, "_floor", nullptr, -1, methods,
                          nullptr, nullptr, nullptr, nullptr};

}  // namespace

PyMODINIT_FUNC PyInit__floor() {
    gsl_set_error_handler_off();  // a failure comes back as a status, not an abort
    return PyModule_Create(&definition);
}
