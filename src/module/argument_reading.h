// Reading the entry points' arguments: the argument tuple and the items of a
// list argument, each parsed with a PyArg_Parse format.
#ifndef TALLOWFIT_MODULE_ARGUMENT_READING_H
#define TALLOWFIT_MODULE_ARGUMENT_READING_H

#include <Python.h>

#include "fault_injection.h"

namespace tallowfit {

// Whether a PyArg_Parse call succeeded. A failure's error indicator is cleared
// at once, before anything else runs: the entry returns its tuple normally,
// and a value returned with an error set would be turned into an exception.
inline bool parseSucceeded(int parseResult) {
    if (parseResult == 0) {
        PyErr_Clear();
    }
    return parseResult != 0;
}

// The number of items of a list argument. Anything that is not a list has
// none; the error that PyList_Size sets for it is cleared at once.
inline Py_ssize_t listLength(PyObject* object) {
    const Py_ssize_t length = PyList_Size(object);
    if (length < 0) {
        PyErr_Clear();
        return 0;
    }
    return length;
}

// Parses item `index` of `list` with parse(item), which returns the result of
// PyArg_Parse. Parsing runs the item's own conversion methods, which may shrink
// or rebind the list and so drop the list's reference to the item: the item is
// held while it is parsed, and the size is read again first, an index that no
// longer exists counting as an item that cannot be parsed.
template <typename Parse>
bool parseListItem(PyObject* list, Py_ssize_t index, Parse parse) {
    if (index >= PyList_Size(list)) {
        return false;
    }
    PyObject* item = PyList_GetItem(list, index);
    Py_INCREF(item);
    const bool parsed = parseSucceeded(parse(item));
    Py_DecRef(item);
    return parsed;
}

}  // namespace tallowfit

#endif
