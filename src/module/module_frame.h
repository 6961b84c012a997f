// The frame of every entry point: status messages on sys.stdout, the two guards
// that turn every exception into a status code, and the (status, payload)
// 2-tuple that every entry returns.
#ifndef TALLOWFIT_MODULE_MODULE_FRAME_H
#define TALLOWFIT_MODULE_MODULE_FRAME_H

#include <Python.h>

#include <cstdint>
#include <new>
#include <stdexcept>
#include <string>

#include "fit/messages.h"
#include "numeric/status.h"
#include "module/python_objects.h"

namespace tallowfit {

// Writes text to sys.stdout, without a line end, when status is not 0 and text
// is not null; a write that fails changes nothing. Returns status as a new
// Python int, or null when that cannot be made.
PyObject* reportStatus(int32_t status, const char* text);

// The diagnostic hook of the outer guard. Nothing that reaches it is shown.
void logException(const std::string& context, int32_t level, const std::string& message,
                  int32_t status);

struct EntryDescription {
    const char* label;  // names the entry in the outer guard's diagnostic context
    // Written with a solver status that the computation throws as an unsigned
    // int; null lets that status pass to the outer guard, which writes nothing.
    const char* solverFailureText;
};

// Passes a new object through; when it could not be made, clears the
// interpreter's memory error and throws std::bad_alloc.
PyObject* requireObject(PyObject* made);

// A new list of the payload; when it cannot be made, writes the list message
// with kStatusOutOfMemory and throws std::bad_alloc.
PyObject* newResultList(Py_ssize_t size);

// The outer guard's handling of what it catches: hands the composed context
// and message to logException (for a thrown status only when it is not 0) and
// returns the status as a new Python int.
PyObject* noteCaughtException(const EntryDescription& entry, int32_t status, const char* message,
                              const char* detail);
PyObject* noteThrownStatus(const EntryDescription& entry, int32_t status);

// The inner guard's message for an allocation failure.
const char* allocationFailureText(const std::bad_alloc& failure);

// The returned 2-tuple; takes over both references. Null (with the
// interpreter's memory error set) only when the status or the tuple cannot be
// made.
PyObject* makeEntryResult(PyObject* statusObject, PyObject* payload);

// Inner guard: the computation and the building of the payload. Sets completed
// only when compute returns normally.
template <typename Compute>
PyObject* runInnerGuard(const EntryDescription& entry, Compute& compute, PyObject*& payload,
                        bool& completed) {
    try {
        compute(payload);
        completed = true;
        return makeInt(kStatusOk);
    } catch (std::invalid_argument& refusal) {
        return reportStatus(kStatusInvalidArgument, refusal.what());
    } catch (std::runtime_error& refusal) {
        return reportStatus(kStatusInvalidArgument, refusal.what());
    } catch (std::bad_alloc& failure) {
        return reportStatus(kStatusOutOfMemory, allocationFailureText(failure));
    } catch (unsigned int status) {
        if (entry.solverFailureText == nullptr) {
            throw;
        }
        return reportStatus(static_cast<int32_t>(status), entry.solverFailureText);
    }
}

// Runs one entry point. convert() parses the arguments into records that the
// caller owns and returns null, or returns the message of the parse that
// failed; compute(payload) does the work and stores the payload list in
// payload as soon as it exists.
template <typename Convert, typename Compute>
PyObject* runEntry(const EntryDescription& entry, Convert convert, Compute compute) {
    PyObject* statusObject = nullptr;
    PyObject* payload = nullptr;
    bool completed = false;
    try {
        const char* refusal = convert();
        statusObject = refusal != nullptr ? reportStatus(kStatusInvalidArgument, refusal)
                                          : runInnerGuard(entry, compute, payload, completed);
    } catch (const std::string& text) {
        statusObject = noteCaughtException(
            entry, kStatusException,
            text.empty() ? kEmptyErrorString : text.c_str(), "");
    } catch (unsigned int& status) {
        statusObject = noteThrownStatus(entry, static_cast<int32_t>(status));
    } catch (int& status) {
        statusObject = noteThrownStatus(entry, status);
    } catch (short& status) {
        statusObject = noteThrownStatus(entry, status);
    } catch (const std::bad_alloc&) {
        statusObject = noteCaughtException(entry, kStatusSystemOutOfMemory, kCaughtException, "");
    } catch (const std::exception& failure) {
        statusObject = noteCaughtException(entry, kStatusException,
                                           kCaughtStlException, failure.what());
    } catch (...) {
        statusObject = noteCaughtException(entry, kStatusException, kCaughtUnknownException, "");
    }
    // A payload that was not finished (a list or float that could not be made,
    // a refusal after the list existed) has unset places: it never reaches
    // Python, item 1 is None instead.
    if (!completed) {
        Py_DecRef(payload);
        payload = nullptr;
    }
    return makeEntryResult(statusObject, payload);
}

}  // namespace tallowfit

#endif
