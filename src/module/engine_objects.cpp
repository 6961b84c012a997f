#include "module/python_objects.h"

namespace tallowfit {

PyObject* makeText(const char* text) {
    return created([text]() { return PyUnicode_FromString(text); });
}

PyObject* makeByteArray(Py_ssize_t size) {
    return created([size]() { return PyByteArray_FromStringAndSize(nullptr, size); });
}

}  // namespace tallowfit
