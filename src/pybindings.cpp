#define PY_SSIZE_T_CLEAN
#include <Python.h>

static PyModuleDef korvane_module = {PyModuleDef_HEAD_INIT, "korvane", "", -1, nullptr, nullptr, nullptr, nullptr, nullptr};

PyMODINIT_FUNC PyInit_korvane(void) { return PyModule_Create(&korvane_module); }
