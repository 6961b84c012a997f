// The module's fault-injection seam. In the test build of the module
// (TALLOWFIT_MODULE_FAULTS) a test chooses, per kind, which event of a call
// fails: the k-th creation of a Python object, the k-th allocation of the
// core's working storage, or the k-th growth of a vector that holds what was
// read from a list. In the normal build every check below is empty and
// compiles to nothing.
#ifndef TALLOWFIT_MODULE_FAULT_INJECTION_H
#define TALLOWFIT_MODULE_FAULT_INJECTION_H

#include <Python.h>

#include <vector>

namespace tallowfit {

#ifdef TALLOWFIT_MODULE_FAULTS
enum FaultKind { kFaultObject = 0, kFaultStorage = 1, kFaultGrowth = 2 };

// Counts one event of kind; true when it is the one chosen to fail.
bool faultDue(FaultKind kind);

// Throws std::bad_alloc when this growth is the one chosen to fail.
void checkGrowth();

// The rows of the control functions, for the module's method table.
#define TALLOWFIT_FAULT_CONTROL_METHODS                                     \
    {"_setFault", tallowfit::setFault, METH_VARARGS, nullptr},             \
        {"_faultCount", tallowfit::faultCount, METH_VARARGS, nullptr},     \
        {"_storageOutstanding", tallowfit::storageOutstanding, METH_NOARGS, nullptr},
PyObject* setFault(PyObject* self, PyObject* args);
PyObject* faultCount(PyObject* self, PyObject* args);
PyObject* storageOutstanding(PyObject* self, PyObject* unused);
#else
inline void checkGrowth() {}
#define TALLOWFIT_FAULT_CONTROL_METHODS
#endif

// Appends a value read from a list argument. Growing the vector may run out of
// memory; the std::bad_alloc goes to the outer guard.
template <typename Vector>
void appendRead(Vector& values, const typename Vector::value_type& value) {
    if (values.size() == values.capacity()) {
        checkGrowth();
    }
    values.push_back(value);
}

}  // namespace tallowfit

#endif
