// Every Python object that the module creates comes from one of these calls,
// so that the fault-injection build of the module can fail a chosen creation
// (fault_injection.h). A null result comes with the interpreter's error
// indicator set, as from the interpreter itself.
#ifndef TALLOWFIT_MODULE_PYTHON_OBJECTS_H
#define TALLOWFIT_MODULE_PYTHON_OBJECTS_H

#include <Python.h>

#include <cstdint>

namespace tallowfit {

PyObject* makeList(Py_ssize_t size);
PyObject* makeTuple(Py_ssize_t size);
PyObject* makeFloat(double value);
PyObject* makeComplex(double real, double imag);
// A Python int holding a status code.
PyObject* makeInt(int32_t value);
// A str of UTF-8 text.
PyObject* makeText(const char* text);
// A bytearray of size bytes, not yet written.
PyObject* makeByteArray(Py_ssize_t size);

// Takes over a reference and passes it on, or a new reference to None for
// null.
PyObject* orNone(PyObject* object);

}  // namespace tallowfit

#endif
