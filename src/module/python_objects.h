// Every Python object that the module creates comes from one of these calls,
// so that the fault-injection build of the module can fail a chosen creation
// (fault_injection.h). A null result comes with the interpreter's error
// indicator set, as from the interpreter itself.
#ifndef TALLOWFIT_MODULE_PYTHON_OBJECTS_H
#define TALLOWFIT_MODULE_PYTHON_OBJECTS_H

#include <Python.h>

#include <cstdint>

#include "module/fault_injection.h"

namespace tallowfit {

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

PyObject* makeList(Py_ssize_t size);
PyObject* makeTuple(Py_ssize_t size);
PyObject* makeFloat(double value);
PyObject* makeComplex(double real, double imag);
// A Python int holding a status code.
PyObject* makeInt(int32_t value);
// Python 3 only, for the array engine (engine_objects.cpp): a str of UTF-8
// text, and a bytearray of size bytes, not yet written. Kept out of the
// classic module, whose imports from the interpreter are a fixed list.
PyObject* makeText(const char* text);
PyObject* makeByteArray(Py_ssize_t size);

// Takes over a reference and passes it on, or a new reference to None for
// null.
PyObject* orNone(PyObject* object);

}  // namespace tallowfit

#endif
