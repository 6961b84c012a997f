#include "python_objects.h"

namespace tallowfit {

PyObject* makeList(Py_ssize_t size) {
    return PyList_New(size);
}

PyObject* makeTuple(Py_ssize_t size) {
    return PyTuple_New(size);
}

PyObject* makeFloat(double value) {
    return PyFloat_FromDouble(value);
}

PyObject* makeComplex(double real, double imag) {
    return PyComplex_FromDoubles(real, imag);
}

PyObject* makeInt(int32_t value) {
    return Py_BuildValue("i", static_cast<int>(value));
}

}  // namespace tallowfit
