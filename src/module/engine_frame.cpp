#include "module/engine_frame.h"

namespace tallowfit {

PyObject* settleQuietly(int32_t status, const char* text, PyObject*& message) {
    const char* told = toldText(status, text);
    if (told != nullptr) {
        message = makeText(told);
        if (message == nullptr) {
            return nullptr;
        }
    }
    return makeInt(status);
}

PyObject* makeEngineResult(PyObject* statusObject, PyObject* message, PyObject* payload) {
    PyObject* result = statusObject != nullptr ? makeTuple(3) : nullptr;
    if (result == nullptr) {
        Py_DecRef(statusObject);
        Py_DecRef(message);
        Py_DecRef(payload);
        return nullptr;
    }
    PyTuple_SetItem(result, 0, statusObject);
    PyTuple_SetItem(result, 1, orNone(message));
    PyTuple_SetItem(result, 2, orNone(payload));
    return result;
}

}  // namespace tallowfit
