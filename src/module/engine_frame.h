// The frame of the array engine's entries: the work runs with the interpreter
// lock released, and its outcome comes back as (status, message, payload),
// through the same guards as the classic entries, with nothing written.
#ifndef TALLOWFIT_MODULE_ENGINE_FRAME_H
#define TALLOWFIT_MODULE_ENGINE_FRAME_H

#include <Python.h>

#include <exception>
#include <vector>

#include "module/module_frame.h"

namespace tallowfit {

// Makes the status object of an outcome and, when text is told (toldText),
// the message as a new str in message. Null, with the memory error set, when
// either cannot be made.
PyObject* settleQuietly(int32_t status, const char* text, PyObject*& message);

// The returned 3-tuple; takes over the three references, a null message or
// payload standing for None. Null when the status is null or the tuple cannot
// be made.
PyObject* makeEngineResult(PyObject* statusObject, PyObject* message, PyObject* payload);

// Gives a vector's storage back at once, so that a large block is freed where
// the lock is not held.
template <typename Vector>
void releaseNow(Vector& values) {
    Vector().swap(values);
}

// Runs one engine entry. read() and compute() touch no Python object and run
// without the interpreter lock, read() in the place of the classic entries'
// reading of their arguments, compute() in the place of their computation.
// What either throws is thrown again, with the lock held, into the guard that
// the classic entry would have met it in. build(payload) then makes the
// payload's objects, storing the payload in payload as soon as it exists; and
// once it is complete, fill(), which touches no Python object either, writes
// its arrays without the lock.
template <typename Read, typename Compute, typename Build, typename Fill>
PyObject* runEngineEntry(const EntryDescription& entry, Read read, Compute compute, Build build,
                         Fill fill) {
    std::exception_ptr failure;
    bool wasRead = false;
    Py_BEGIN_ALLOW_THREADS
    try {
        read();
        wasRead = true;
        compute();
    } catch (...) {
        failure = std::current_exception();
    }
    Py_END_ALLOW_THREADS
    PyObject* message = nullptr;
    PyObject* payload = nullptr;
    bool completed = false;
    PyObject* statusObject = runGuarded(
        entry,
        [&]() -> const char* {
            if (failure && !wasRead) std::rethrow_exception(failure);
            return nullptr;
        },
        [&]() {
            if (failure) std::rethrow_exception(failure);
            build(payload);
            completed = true;
        },
        [&message](int32_t status, const char* text) {
            return settleQuietly(status, text, message);
        });
    if (completed) {
        Py_BEGIN_ALLOW_THREADS
        fill();
        Py_END_ALLOW_THREADS
    } else {
        Py_DecRef(payload);
        payload = nullptr;
    }
    return makeEngineResult(statusObject, message, payload);
}

}  // namespace tallowfit

#endif
