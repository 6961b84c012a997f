#include "module/python_objects.h"

#include "module/fault_injection.h"

namespace tallowfit {

namespace {

// The test build fails a chosen creation the way the interpreter does: null,
// with a MemoryError set.
template <typename Make>
PyObject* created(Make make) {
#ifdef TALLOWFIT_MODULE_FAULTS
    if (faultDue(kFaultObject)) {
        return PyErr_NoMemory();
    }
#endif
    return make();
}

}  // namespace

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

}  // namespace tallowfit
