// The frame of every entry point: the two guards that turn every exception into
// a status code and a text, shared by the classic entries and the array
// engine's; for the classic entries the texts on sys.stdout and the (status,
// payload) 2-tuple that each returns.
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

// The text that a call ending with status tells its caller: text, unless the
// status is 0, which tells nothing.
inline const char* toldText(int32_t status, const char* text) {
    return status != kStatusOk ? text : nullptr;
}

// The outer guard's diagnostic of what it catches: hands the composed context
// and message to logException (for a thrown status only when it is not 0).
void noteCaughtException(const EntryDescription& entry, int32_t status, const char* message,
                         const char* detail);
void noteThrownStatus(const EntryDescription& entry, int32_t status);

// The inner guard's message for an allocation failure.
const char* allocationFailureText(const std::bad_alloc& failure);

// The returned 2-tuple; takes over both references. Null (with the
// interpreter's memory error set) only when the status or the tuple cannot be
// made.
PyObject* makeEntryResult(PyObject* statusObject, PyObject* payload);

// Inner guard: the computation. The failures that the caller is told about
// reach settle with their text; a solver status that the entry has no text for
// passes to the outer guard.
template <typename Compute, typename Settle>
PyObject* runInnerGuard(const EntryDescription& entry, Compute& compute, Settle& settle) {
    try {
        compute();
        return settle(kStatusOk, nullptr);
    } catch (std::invalid_argument& refusal) {
        return settle(kStatusInvalidArgument, refusal.what());
    } catch (std::runtime_error& refusal) {
        return settle(kStatusInvalidArgument, refusal.what());
    } catch (std::bad_alloc& failure) {
        return settle(kStatusOutOfMemory, allocationFailureText(failure));
    } catch (unsigned int status) {
        if (entry.solverFailureText == nullptr) {
            throw;
        }
        return settle(static_cast<int32_t>(status), entry.solverFailureText);
    }
}

// Both guards of a call, the one mapping from what a call throws to its status
// and text. prepare() reads the arguments and returns null, or the message of
// the reading that failed; what it throws reaches the outer guard only.
// compute() does the work under both guards. settle(status, text) makes the
// status object of every outcome while any exception is still alive; text is
// null where the caller is told nothing.
template <typename Prepare, typename Compute, typename Settle>
PyObject* runGuarded(const EntryDescription& entry, Prepare prepare, Compute compute,
                     Settle settle) {
    int32_t status = kStatusException;
    try {
        const char* refusal = prepare();
        return refusal != nullptr ? settle(kStatusInvalidArgument, refusal)
                                  : runInnerGuard(entry, compute, settle);
    } catch (const std::string& text) {
        noteCaughtException(entry, status,
                            text.empty() ? kEmptyErrorString : text.c_str(), "");
    } catch (unsigned int& thrown) {
        status = static_cast<int32_t>(thrown);
        noteThrownStatus(entry, status);
    } catch (int& thrown) {
        status = thrown;
        noteThrownStatus(entry, status);
    } catch (short& thrown) {
        status = thrown;
        noteThrownStatus(entry, status);
    } catch (const std::bad_alloc&) {
        status = kStatusSystemOutOfMemory;
        noteCaughtException(entry, status, kCaughtException, "");
    } catch (const std::exception& failure) {
        noteCaughtException(entry, status, kCaughtStlException, failure.what());
    } catch (...) {
        noteCaughtException(entry, status, kCaughtUnknownException, "");
    }
    return settle(status, nullptr);
}

// Runs one classic entry point: its failures' texts are written to
// sys.stdout. convert() parses the arguments into records that the caller owns
// and returns null, or returns the message of the parse that failed;
// compute(payload) does the work and stores the payload list in payload as
// soon as it exists.
template <typename Convert, typename Compute>
PyObject* runEntry(const EntryDescription& entry, Convert convert, Compute compute) {
    PyObject* payload = nullptr;
    bool completed = false;
    PyObject* statusObject = runGuarded(
        entry, convert,
        [&]() {
            compute(payload);
            completed = true;
        },
        reportStatus);
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
