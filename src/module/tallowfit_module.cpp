// Registration of the module: three functions taking positional arguments
// only. One source for Python 2.7 and Python 3.
#include "module/fault_injection.h"
#include "module/module_entries.h"

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

// The build hides every symbol; the init function is the module's only export.
// PyMODINIT_FUNC makes it visible only from Python 3.9 on, so it is marked here,
// the same way for every version.
#pragma GCC visibility push(default)
#if PY_MAJOR_VERSION >= 3
PyMODINIT_FUNC PyInit_tallowfit(void) {
    return PyModule_Create(&moduleDefinition);
}
#else
PyMODINIT_FUNC inittallowfit(void) {
    Py_InitModule4("tallowfit", moduleMethods, NULL, NULL, 1013);
}
#endif
#pragma GCC visibility pop
