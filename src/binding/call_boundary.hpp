// Where a call of a module function crosses from the interpreter into native
// code and back: every way the call can fail becomes a Python exception, and
// no native failure crosses into the interpreter.
#pragma once

#include "module_function.hpp"
#include "python.hpp"

namespace korvane::binding {

// korvane.PanicException, raised when an invariant of the native code fails:
// made on first use and kept for the life of the process. Borrowed; null with
// an exception set if it cannot be made.
PyObject* panic_exception();

// Runs one call of `function` (the fast calling convention's arguments): parses
// its arguments and runs its body with Ctrl-C polled. Returns the result, or
// null with an exception set: the parser's or the body's own; MemoryError for
// memory exhausted or a container too large; PanicException, with a line on
// stderr, for any other native failure.
PyObject* call_module_function(const ModuleFunction& function, PyObject* const* args, Py_ssize_t positional_count,
                               PyObject* keyword_names);

}  // namespace korvane::binding
