// The test build's choice of failing events, and the functions through which
// a Python test makes that choice: _setFault(kind, k[, later]) makes the k-th
// event of kind from now on fail (0: none), and the later-th too when given
// (object creations and growths only: a failure while a failure is handled),
// and restarts the count; _faultCount(kind)
// gives the events of kind counted since; _storageOutstanding() the core's
// working blocks not yet released. kind is "object", "storage" or "growth".
#include "module/fault_injection.h"

#include <cstring>
#include <new>

#include "numeric/allocation.h"

namespace tallowfit {

namespace {

// The events to fail (0: none) and the events counted since they were set.
struct FaultPlan {
    long failAt;
    long failAlsoAt;
    long made;
};

// Object creations and vector growths; the core counts its storage itself.
FaultPlan plans[2] = {{0, 0, 0}, {0, 0, 0}};

FaultPlan& planOf(FaultKind kind) {
    return plans[kind == kFaultObject ? 0 : 1];
}

// The kind named by a control call's argument; false for an unknown name.
bool kindNamed(const char* name, FaultKind& kind) {
    const char* const names[] = {"object", "storage", "growth"};
    const FaultKind kinds[] = {kFaultObject, kFaultStorage, kFaultGrowth};
    for (int k = 0; k < 3; ++k) {
        if (std::strcmp(name, names[k]) == 0) {
            kind = kinds[k];
            return true;
        }
    }
    PyErr_SetString(PyExc_ValueError, "fault kind is object, storage or growth");
    return false;
}

}  // namespace

bool faultDue(FaultKind kind) {
    FaultPlan& plan = planOf(kind);
    ++plan.made;
    return plan.made == plan.failAt || plan.made == plan.failAlsoAt;
}

void checkGrowth() {
    if (faultDue(kFaultGrowth)) {
        throw std::bad_alloc();
    }
}

PyObject* setFault(PyObject* /*self*/, PyObject* args) {
    const char* name = nullptr;
    long k = 0;
    long later = 0;
    FaultKind kind = kFaultObject;
    if (!PyArg_ParseTuple(args, "sl|l", &name, &k, &later) || !kindNamed(name, kind)) {
        return nullptr;
    }
    if (kind == kFaultStorage) {
        failAllocationAt(k);
    } else {
        planOf(kind) = FaultPlan{k, later, 0};
    }
    Py_RETURN_NONE;
}

PyObject* faultCount(PyObject* /*self*/, PyObject* args) {
    const char* name = nullptr;
    FaultKind kind = kFaultObject;
    if (!PyArg_ParseTuple(args, "s", &name) || !kindNamed(name, kind)) {
        return nullptr;
    }
    return PyLong_FromLong(kind == kFaultStorage ? allocationsMade() : planOf(kind).made);
}

PyObject* storageOutstanding(PyObject* /*self*/, PyObject* /*unused*/) {
    return PyLong_FromLong(allocationsOutstanding());
}

}  // namespace tallowfit
