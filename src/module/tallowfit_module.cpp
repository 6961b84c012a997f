// Registration of the module: three functions taking positional arguments
// only. One source for Python 2.7 and Python 3.
#include "module/fault_injection.h"
#include "module/module_entries.h"

// The build hides every symbol; the init function is the module's only export.
// Python 3's PyMODINIT_FUNC makes it visible, Python 2.7's carries no
// visibility of its own.
#if PY_MAJOR_VERSION < 3 && defined(__GNUC__)
#define TALLOWFIT_EXPORT __attribute__((visibility("default")))
#else
#define TALLOWFIT_EXPORT
#endif

namespace {

PyMethodDef moduleMethods[] = {
    {"optimizeModel", tallowfit::optimizeModel, METH_VARARGS, nullptr},
    {"optimizeDualModel", tallowfit::optimizeDualModel, METH_VARARGS, nullptr},
    {"findRoots", tallowfit::findRoots, METH_VARARGS, nullptr},
    TALLOWFIT_FAULT_CONTROL_METHODS
    {nullptr, nullptr, 0, nullptr},
};

#if PY_MAJOR_VERSION >= 3
// No per-module state: every call keeps its data to itself.
PyModuleDef moduleDefinition = {
    PyModuleDef_HEAD_INIT, "tallowfit", nullptr, -1, moduleMethods, nullptr, nullptr, nullptr,
    nullptr,
};
#endif

}  // namespace

#if PY_MAJOR_VERSION >= 3
PyMODINIT_FUNC PyInit_tallowfit(void) {
    return PyModule_Create(&moduleDefinition);
}
#else
PyMODINIT_FUNC TALLOWFIT_EXPORT inittallowfit(void) {
    Py_InitModule4("tallowfit", moduleMethods, NULL, NULL, 1013);
}
#endif
