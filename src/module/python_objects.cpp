#include "module/python_objects.h"

namespace tallowfit {

PyObject* makeList(Py_ssize_t size) {
    return created([size]() { return PyList_New(size); });
}

PyObject* makeTuple(Py_ssize_t size) {
    return created([size]() { return PyTuple_New(size); });
}

PyObject* makeFloat(double value) {
    return created([value]() { return PyFloat_FromDouble(value); });
}

PyObject* makeComplex(double real, double imag) {
    return created([real, imag]() { return PyComplex_FromDoubles(real, imag); });
}

PyObject* makeInt(int32_t value) {
    return created([value]() { return Py_BuildValue("i", static_cast<int>(value)); });
}

PyObject* orNone(PyObject* object) {
    if (object == nullptr) {
        Py_INCREF(Py_None);
        return Py_None;
    }
    return object;
}

}  // namespace tallowfit
