#include "module/module_frame.h"

#include <sstream>

namespace tallowfit {

namespace {

constexpr int32_t kLogSeverity = 3;

// The sys module. Python 2.7 imports it without waiting on the import lock;
// Python 3 has no such variant any more and takes the plain import, which for a
// module already loaded only looks it up.
PyObject* importSysModule() {
#if PY_MAJOR_VERSION >= 3
    return PyImport_ImportModule("sys");
#else
    return PyImport_ImportModuleNoBlock("sys");
#endif
}

// Passes an interpreter call's new reference through. A null result's error is
// cleared at once, so that a missing stdout or a failing write leaves no
// exception behind and the status is returned as usual.
PyObject* clearedOnFailure(PyObject* result) {
    if (result == nullptr) {
        PyErr_Clear();
    }
    return result;
}

// The stream is held by our own reference for the whole write, so that a write
// method that rebinds sys.stdout cannot free the object it runs on.
void writeToStdout(const char* text) {
    PyObject* sys = clearedOnFailure(importSysModule());
    PyObject* stream =
        sys != nullptr ? clearedOnFailure(PyObject_GetAttrString(sys, "stdout")) : nullptr;
    PyObject* written = stream != nullptr
                            ? clearedOnFailure(PyObject_CallMethod(stream, const_cast<char*>("write"),
                                                                   const_cast<char*>("s"), text))
                            : nullptr;
    Py_DecRef(written);
    Py_DecRef(stream);
    Py_DecRef(sys);
}

}  // namespace

PyObject* reportStatus(int32_t status, const char* text) {
    if (status != kStatusOk && text != nullptr) {
        writeToStdout(text);
    }
    return makeInt(status);
}

void logException(const std::string& /*context*/, int32_t /*level*/,
                  const std::string& /*message*/, int32_t /*status*/) {
}

PyObject* requireObject(PyObject* made) {
    if (made == nullptr) {
        PyErr_Clear();
        throw std::bad_alloc();
    }
    return made;
}

PyObject* newResultList(Py_ssize_t size) {
    PyObject* list = makeList(size);
    if (list == nullptr) {
        PyErr_Clear();
        // Only the message counts here; a status object that cannot be made
        // must not leave its error behind for the inner guard's own message.
        Py_DecRef(clearedOnFailure(reportStatus(kStatusOutOfMemory, kListFailureText)));
        throw std::bad_alloc();
    }
    return list;
}

PyObject* noteCaughtException(const EntryDescription& entry, int32_t status, const char* message,
                              const char* detail) {
    // Composing the diagnostic can itself run out of memory; the hook shows
    // nothing, so that failure is dropped rather than let out of the guard.
    try {
        std::ostringstream context;
        context << "tallowfit" << "::" << entry.label;
        logException(context.str(), kLogSeverity, std::string(message) + detail, status);
    } catch (...) {
    }
    return makeInt(status);
}

PyObject* noteThrownStatus(const EntryDescription& entry, int32_t status) {
    if (status == kStatusOk) {
        return makeInt(status);
    }
    return noteCaughtException(entry, status, kCaughtException, "");
}

// The texts of the runtime that the messages were first written with; other
// C++ runtimes word what() differently, so they are fixed here.
const char* allocationFailureText(const std::bad_alloc& failure) {
    return dynamic_cast<const std::bad_array_new_length*>(&failure) != nullptr
               ? kBadArrayNewLength
               : kBadAllocation;
}

PyObject* makeEntryResult(PyObject* statusObject, PyObject* payload) {
    if (statusObject == nullptr) {
        Py_DecRef(payload);
        return nullptr;
    }
    PyObject* result = makeTuple(2);
    if (result == nullptr) {
        Py_DecRef(statusObject);
        Py_DecRef(payload);
        return nullptr;
    }
    if (payload == nullptr) {
        Py_INCREF(Py_None);
        payload = Py_None;
    }
    PyTuple_SetItem(result, 0, statusObject);
    PyTuple_SetItem(result, 1, payload);
    return result;
}

}  // namespace tallowfit
